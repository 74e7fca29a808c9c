#include "ui/backend_choice.h"

#include <cstdlib>

namespace mirelle {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

}  // namespace

BackendEnvironment BackendEnvironment::FromProcess(bool has_arguments, bool qt_built) {
    BackendEnvironment env;
    env.has_arguments = has_arguments;
    env.qt_built = qt_built;
    env.mirelle_ui = Env("MIRELLE_UI");
    env.display = Env("DISPLAY");
    env.wayland_display = Env("WAYLAND_DISPLAY");
    env.qpa_platform = Env("QT_QPA_PLATFORM");
    return env;
}

BackendChoice ChooseBackend(const BackendEnvironment& env) {
    BackendChoice choice;
    if (env.native_built) {
        if (!env.mirelle_ui.empty() && env.mirelle_ui != "console" && env.mirelle_ui != "win32")
            choice.warning = "mirelle: MIRELLE_UI=" + env.mirelle_ui + " is neither win32 nor console; ignored";
        const bool console = env.mirelle_ui == "console" || (env.has_arguments && env.no_dialog);
        choice.kind = console ? BackendKind::Console : BackendKind::Native;
        return choice;
    }
    const bool display = !env.display.empty() || !env.wayland_display.empty();
    bool want_qt;
    if (env.mirelle_ui == "qt") {
        want_qt = true;
    } else if (env.mirelle_ui == "console") {
        want_qt = false;
    } else {
        if (!env.mirelle_ui.empty())
            choice.warning = "mirelle: MIRELLE_UI=" + env.mirelle_ui + " is neither qt nor console; ignored";
        want_qt = !env.has_arguments || display;
    }
    if (!want_qt) {
        choice.kind = BackendKind::Console;
        return choice;
    }
    if (!env.qt_built) {
        if (env.has_arguments && env.mirelle_ui != "qt") {
            choice.kind = BackendKind::Console;
            return choice;
        }
        choice.error = "mirelle: this build has no window support; run it with a program file for the unattended run";
        return choice;
    }
    // Platforms such as offscreen need no display server.
    const bool own_platform = !env.qpa_platform.empty() && env.qpa_platform.rfind("xcb", 0) != 0 &&
                              env.qpa_platform.rfind("wayland", 0) != 0;
    if (!display && !own_platform) {
        choice.error = "mirelle: cannot open a display (DISPLAY and WAYLAND_DISPLAY are not set)";
        return choice;
    }
    choice.kind = BackendKind::Qt;
    return choice;
}

}  // namespace mirelle
