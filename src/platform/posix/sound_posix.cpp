#include "platform/sound.h"

namespace mirelle::sys {

void PlayWaveFile(const std::string&) {}
void StopWave() {}
void SimpleBeep() {}

}  // namespace mirelle::sys
