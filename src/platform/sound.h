// The system's own sounds for the backends that have no sound of their own:
// on Windows PlaySound and MessageBeep; on Linux, where the Qt backend plays
// through Qt Multimedia, these are silent.
#pragma once

#include <string>

namespace mirelle::sys {

// Starts a wave file and returns at once; a file that cannot be played plays nothing.
void PlayWaveFile(const std::string& path);
void StopWave();
void SimpleBeep();

}  // namespace mirelle::sys
