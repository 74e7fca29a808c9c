#include "app/windows/result_sound.h"

#include <string>

#include "texts/result_codes.h"
#include "ui/backend.h"

namespace mirelle {

void PlayResultSound(const settings::CustomizeSettings& settings, int event) {
    if (!settings.bSound) return;
    int enabled = 0;
    int type = 0;
    const std::string* wave = nullptr;
    if (event == result::kSoundError) {
        enabled = settings.bErrorEnable;
        type = settings.nErrorType;
        wave = &settings.strErrorWave;
    } else if (event == result::kSoundEnd) {
        enabled = settings.bEndEnable;
        type = settings.nEndType;
        wave = &settings.strEndWave;
    } else {
        return;
    }
    if (!enabled) return;
    ui::Backend& backend = ui::ActiveBackend();
    if (type != 0) {
        backend.Beep();
        return;
    }
    backend.StopSound();
    // "<none>" (the default) and an empty setting name no file: nothing to play.
    if (!wave->empty() && *wave != "<none>") backend.PlayWave(*wave);
}

}  // namespace mirelle
