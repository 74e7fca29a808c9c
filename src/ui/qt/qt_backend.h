// The Qt window backend, as the program's entry point sees it: no Qt types,
// so the code outside src/ui/qt/ never includes Qt.
#pragma once

#include <memory>

#include "ui/backend.h"

namespace mirelle::ui {

// Starts the Qt application object (once per process) and returns the
// backend. Where the window system cannot be reached, prints `error_line` to
// standard error and ends the process with status 1, instead of the toolkit's
// own abort.
std::unique_ptr<Backend> CreateQtBackend(int& argc, char** argv, const char* error_line);

}  // namespace mirelle::ui
