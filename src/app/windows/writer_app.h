// The application: runs the main window modally and cleans up after it.
#pragma once

#include <functional>

#include "app/windows/writer_dlg.h"

namespace mirelle {

class CWriterApp {
public:
    explicit CWriterApp(AppEnvironment env) : m_env(std::move(env)) {}
    // Runs the main window; returns its modal result. After the run the
    // scratch files are deleted in the current directory and the COM port
    // is closed.
    int InitInstance();
    // The process's exit status after InitInstance: 0 in interactive mode;
    // in command-line mode 0 when the Full Operation succeeded (its last
    // report was 306), 1 when it did not, 2 when the program could not start.
    int ExitStatus() const { return m_nExitStatus; }

    // Called with the main window just before it runs (tests use it to reach
    // the window; the program leaves it empty).
    std::function<void(CWriterDlg&)> on_main_window;

private:
    AppEnvironment m_env;
    int m_nExitStatus = 0;
};

}  // namespace mirelle
