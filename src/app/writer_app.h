// The application: runs the main window modally and cleans up after it.
#pragma once

#include <functional>

#include "app/writer_dlg.h"

namespace mirelle {

class CWriterApp {
public:
    explicit CWriterApp(AppEnvironment env) : m_env(std::move(env)) {}
    // Runs the main window; returns its modal result. After the run the
    // scratch files are deleted in the current directory and the COM port
    // is closed.
    int InitInstance();

    // Called with the main window just before it runs (tests use it to reach
    // the window; the program leaves it empty).
    std::function<void(CWriterDlg&)> on_main_window;

private:
    AppEnvironment m_env;
};

// The scratch file names deleted at exit.
extern const char* const kScratchFiles[6];

}  // namespace mirelle
