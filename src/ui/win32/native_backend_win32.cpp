#include "ui/native_backend.h"

#include "ui/win32/win32_backend.h"

namespace mirelle::ui {

bool NativeBackendBuilt() { return true; }

std::unique_ptr<Backend> CreateNativeBackend() { return std::make_unique<Win32Backend>(); }

}  // namespace mirelle::ui
