// The program's entry point: chooses the window backend (see
// ui/backend_choice.h for the rule) and runs the application.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/operations/command_line.h"
#include "engine/unattended_start.h"
#include "app/windows/station_dlg.h"
#include "app/windows/writer_app.h"
#include "platform/interrupt.h"
#include "platform/system.h"
#include "texts/version_text.h"
#include "ui/backend_choice.h"
#include "ui/console/console_backend.h"
#include "ui/native_backend.h"
#if MIRELLE_HAVE_QT
#include "ui/qt/qt_backend.h"
#endif

int main(int argc, char** argv) {
    using namespace mirelle;
#if MIRELLE_HAVE_QT
    constexpr bool kQtBuilt = true;
#else
    constexpr bool kQtBuilt = false;
#endif
    sys::UseUtf8Console();
    sys::AnchorProgramHome();
    // An unattended run says it failed until it reports success, from the
    // very start: a run that cannot even open its display (a stale DISPLAY
    // over ssh) must not leave the "OK" of an earlier run for a script to read.
    // It holds its program folder for the whole run, so a second run there
    // cannot overwrite its verdict; a run that cannot have the folder or
    // write its log does not start.
    // "mirelle --help" (when no program file has that name) asks for the
    // usage, not for a run that would log NG for a file "--help".
    {
        const std::vector<std::string> words = sys::ProgramArguments(argc, argv);
        const std::vector<std::string> args(words.begin() + (words.empty() ? 0 : 1), words.end());
        switch (InfoRequestOf(args, !args.empty() && sys::FileExists(args[0]))) {
            case InfoRequest::kUsage: std::fputs(MirelleUsageText().c_str(), stdout); return 0;
            case InfoRequest::kVersion:
                std::printf("mirelle %d.%d.%d.%d (%s)\n", MIRELLE_VERSION_MAJOR, MIRELLE_VERSION_MINOR,
                            MIRELLE_VERSION_PATCH, MIRELLE_VERSION_TWEAK, ProductVersionText().c_str());
                return 0;
            case InfoRequest::kNone: break;
        }
    }
    // "mirelle --station NAME.job": the station window of a job, on the
    // window backend of the interactive run.
    {
        const std::vector<std::string> words = sys::ProgramArguments(argc, argv);
        const std::vector<std::string> args(words.begin() + (words.empty() ? 0 : 1), words.end());
        if (const std::optional<std::string> job = StationJobOf(args, !args.empty() && sys::FileExists(args[0]))) {
            if (job->empty()) {
                std::fprintf(stderr, "mirelle: --station takes one job file: mirelle --station NAME.job\n");
                return 2;
            }
            BackendEnvironment env = BackendEnvironment::FromProcess(false, kQtBuilt);
            env.native_built = ui::NativeBackendBuilt();
            const BackendChoice choice = ChooseBackend(env);
            if (!choice.warning.empty()) std::fprintf(stderr, "%s\n", choice.warning.c_str());
            if (choice.kind == BackendKind::None) {
                std::fprintf(stderr, "%s\n", choice.error.c_str());
                return 1;
            }
            if (choice.kind == BackendKind::Console) {
                std::fprintf(stderr, "mirelle: the station window needs a display; mirelle-cli station %s runs the "
                                     "job on a terminal\n", job->c_str());
                return 1;
            }
            std::unique_ptr<ui::Backend> backend;
#if MIRELLE_HAVE_QT
            if (choice.kind == BackendKind::Qt) backend = ui::CreateQtBackend(argc, argv, "mirelle: cannot open the display");
#endif
            if (choice.kind == BackendKind::Native) backend = ui::CreateNativeBackend();
            if (!backend) return 1;
            ui::SetActiveBackend(backend.get());
            // SIGINT and SIGTERM close the window as its close box does: every slot stops first.
            sys::InterruptGuard interrupts;
            const int status = RunStationWindow(*job, sys::ProgramDir(), nullptr);
            ui::SetActiveBackend(nullptr);
            return status;
        }
    }
    std::unique_ptr<sys::FolderLock> run_lock;
    if (argc > 1) {
        engine::UnattendedStart start = engine::StartUnattendedRun(sys::ProgramDir());
        if (!start.ok()) {
            std::fprintf(stderr, "mirelle: %s\n", start.error.c_str());
            return 2;
        }
        run_lock = std::move(start.lock);
    }
    BackendEnvironment env = BackendEnvironment::FromProcess(argc > 1, kQtBuilt);
    env.native_built = ui::NativeBackendBuilt();
    const std::vector<std::string> words = sys::ProgramArguments(argc, argv);
    if (words.size() > 1) {
        env.no_dialog = !ParseCommandLine({words.begin() + 1, words.end()}).show_progress;
    }
    const BackendChoice choice = ChooseBackend(env);
    if (!choice.warning.empty()) std::fprintf(stderr, "%s\n", choice.warning.c_str());
    if (choice.kind == BackendKind::None) {
        std::fprintf(stderr, "%s\n", choice.error.c_str());
        return 1;
    }
    std::unique_ptr<ui::Backend> backend;
#if MIRELLE_HAVE_QT
    if (choice.kind == BackendKind::Qt) {
        const char* display = std::getenv("DISPLAY");
        if (display == nullptr || *display == 0) display = std::getenv("WAYLAND_DISPLAY");
        static std::string error = std::string("mirelle: cannot open the display ") + (display ? display : "");
        backend = ui::CreateQtBackend(argc, argv, error.c_str());
    }
#endif
    if (choice.kind == BackendKind::Native) backend = ui::CreateNativeBackend();
    if (!backend) backend = std::make_unique<ui::ConsoleBackend>();
    ui::SetActiveBackend(backend.get());

    AppEnvironment app_env = AppEnvironment::FromProcess(argc, argv);
    // Why a COM number's device did not open goes to standard error, beside
    // the window's own message: the device, a missing group membership, and
    // the serial devices there are to map.
    app_env.port_problem_sink = [](const std::string& line) { std::fprintf(stderr, "mirelle: %s\n", line.c_str()); };

    CWriterApp app(std::move(app_env));
    const int result = app.InitInstance();
    ui::SetActiveBackend(nullptr);
    // The unattended run leaves its result in the result log, and tells it in
    // its exit status too: 0 when it ended with code 306, 1 otherwise, 2 when
    // it could not start at all.
    if (result < 0) return 1;
    return app.ExitStatus();
}
