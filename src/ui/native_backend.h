// The window backend of the operating system itself, where the build has one
// (Windows: real dialogs from the templates). Built per platform, so the
// program's entry point needs no platform test of its own.
#pragma once

#include <memory>

#include "ui/backend.h"

namespace mirelle::ui {

// True when this build has the system's own window backend.
bool NativeBackendBuilt();
// The backend, or null where the build has none.
std::unique_ptr<Backend> CreateNativeBackend();

}  // namespace mirelle::ui
