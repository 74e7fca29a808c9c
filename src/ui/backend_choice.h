// Which window backend the program runs with.
//
// The rule:
//  - MIRELLE_UI=qt or MIRELLE_UI=console chooses outright (any other value
//    is ignored, with a warning).
//  - Otherwise, started without arguments (the interactive run), the Qt
//    backend; started with arguments (the unattended run), the Qt backend
//    when a display is available (DISPLAY or WAYLAND_DISPLAY set and not
//    empty), else the console backend.
//  - The Qt backend needs a display: when it is chosen and neither DISPLAY
//    nor WAYLAND_DISPLAY is set (and QT_QPA_PLATFORM names no platform of
//    its own, such as offscreen), the program says so in one line and exits
//    with status 1. A build without Qt runs the unattended run on the console
//    and refuses the interactive one the same way.
//  - A build with the system's own windows (Windows) needs no display: it
//    shows its windows there, for the interactive run and for the progress
//    window of the unattended one; only MIRELLE_UI=console, or an unattended
//    run whose command line holds "no_dialog", runs on the console.
#pragma once

#include <string>

namespace mirelle {

struct BackendEnvironment {
    bool has_arguments = false;
    bool qt_built = false;
    bool native_built = false;    // the system's own window backend
    bool no_dialog = false;       // the command line holds "no_dialog"
    std::string mirelle_ui;       // MIRELLE_UI
    std::string display;          // DISPLAY
    std::string wayland_display;  // WAYLAND_DISPLAY
    std::string qpa_platform;     // QT_QPA_PLATFORM
    static BackendEnvironment FromProcess(bool has_arguments, bool qt_built);
};

enum class BackendKind { Qt, Native, Console, None };

struct BackendChoice {
    BackendKind kind = BackendKind::None;
    std::string error;    // one line for standard error when kind is None
    std::string warning;  // a note to print, "" for none
};

BackendChoice ChooseBackend(const BackendEnvironment& env);

}  // namespace mirelle
