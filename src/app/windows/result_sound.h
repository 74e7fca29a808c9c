// The sound of a result as the customize sheet sets it: nothing when sounds
// are off or the event has none, the simple beep, or the event's wave file.
#pragma once

#include "settings/settings.h"

namespace mirelle {

// `event` is result::kSoundError or result::kSoundEnd; other events play nothing.
void PlayResultSound(const settings::CustomizeSettings& settings, int event);

}  // namespace mirelle
