// On Linux the windows are Qt's (ui/qt/); there is no system backend.
#include "ui/native_backend.h"

namespace mirelle::ui {

bool NativeBackendBuilt() { return false; }

std::unique_ptr<Backend> CreateNativeBackend() { return nullptr; }

}  // namespace mirelle::ui
