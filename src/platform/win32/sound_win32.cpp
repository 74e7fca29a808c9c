#include <windows.h>

#include <mmsystem.h>

#include "platform/sound.h"
#include "platform/win32/wide_text.h"

namespace mirelle::sys {

void PlayWaveFile(const std::string& path) {
    if (path.empty()) return;
    // No default sound in place of a file that is missing or not a wave.
    ::PlaySoundW(Widen(path).c_str(), nullptr, SND_FILENAME | SND_ASYNC | SND_NODEFAULT);
}

void StopWave() { ::PlaySoundW(nullptr, nullptr, 0); }

void SimpleBeep() { ::MessageBeep(MB_OK); }

}  // namespace mirelle::sys
