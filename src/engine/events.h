// How a flash session talks to whoever drives it. The session calls these as
// its operations go: the window answers with its progress window, message
// boxes and sounds; mirelle-cli with a terminal bar, lines or JSON; tests with
// a recorder. Every member has a default that shows nothing and answers the
// safe way, so a front end overrides only what it shows.
//
// One thread: the session calls its events from the thread that runs the
// operation, and an event returns before the operation goes on.
#pragma once

#include <optional>
#include <string>

namespace mirelle::engine {

// The layout of a progress display, as bits (the progress window's modes).
namespace layout {
inline constexpr int kOk = 1;          // the button acknowledges a result
inline constexpr int kCancel = 2;      // the button cancels the running operation
inline constexpr int kButtonLive = 4;  // the button can be pressed
inline constexpr int kBar = 8;         // the bar is shown
inline constexpr int kDefault = 13;    // what -1 stands for
}  // namespace layout

// The questions an operation asks; the answer is true for OK or Yes.
enum class Question {
    kResetBoard,  // "Please reset the microcontroller ..." (OK / Cancel)
    kCrcRetry,    // a block came with a bad CRC: read or send it again? (Yes / No)
};

// A message the user only acknowledges (a file that could not be written,
// a program file that did not load).
struct Notice {
    enum class Icon { kNone, kInformation, kExclamation };
    std::string text;
    std::string caption;
    Icon icon = Icon::kNone;
    // Shown over the progress display; otherwise over the main window.
    bool over_progress = true;
};

// A report as the reporter composed it; the result log holds it already.
struct ResultReport {
    int code = 0;
    int kind = 0;
    int sound = 0;
    std::string message;
    // For kinds 2 and 3: the words that ask for a new download.
    std::string redo;
};

class Events {
public:
    virtual ~Events() = default;

    // The progress display of one command. `mode` is a progress layout (-1
    // for the default), `caption` its title ("" leaves the display's own);
    // false when it could not be opened, and the command then does not run.
    virtual bool OpenProgress(int /*mode*/, const std::string& /*caption*/) { return true; }
    virtual void CloseProgress() {}
    // Whether a progress display is open now.
    virtual bool HasProgress() const { return false; }
    // The layout changes; `centre` and `caption` as the display takes them.
    virtual void ProgressLayout(int /*mode*/, bool /*centre*/, const std::optional<std::string>& /*caption*/) {}

    // A step begins: its text ("Decoding...", "Erasing ...").
    virtual void StepBegins(const std::string& /*text*/) {}
    // Any other status text of the running command.
    virtual void StatusText(const std::string& /*text*/) {}
    // The progress: a new range with its step and position, a new position,
    // or one step forward.
    virtual void ProgressRange(int /*lower*/, int /*upper*/, int /*step*/, int /*position*/) {}
    virtual void ProgressPosition(int /*position*/) {}
    virtual void ProgressStep() {}

    // Polled while an operation may be cancelled: true once for each request.
    virtual bool CancelRequested() { return false; }
    // The operation was cancelled: `text` says so; with `acknowledge` a person
    // confirms it before the command ends (nobody who cannot press may wait).
    virtual void Cancelled(const std::string& /*text*/, bool /*acknowledge*/) {}

    virtual bool Ask(Question /*question*/, const std::string& /*text*/, const std::string& /*caption*/) {
        return false;
    }
    virtual void Notify(const Notice& /*notice*/) {}
    // Something an unattended run should tell although nothing failed (data
    // of the program file that lies outside the chip's flash).
    virtual void Warning(const std::string& /*text*/) {}

    // A report: shown, with its sound, in an interactive session (the result
    // log holds it in every session).
    virtual void Reported(const ResultReport& /*report*/) {}

    // The control program runs: every command is open now.
    virtual void Downloaded() {}
    // Back to the state before a download (the commands that need one are
    // closed again).
    virtual void CommandsReset() {}
    // A download failed or the link broke: the user starts again from the
    // choice of the target.
    virtual void DownloadLost() {}

    // Why the device of a COM number did not open and which serial devices
    // there are, in one line.
    virtual void PortProblem(const std::string& /*line*/) {}

    // A unit's record could not be kept anywhere (told once per session);
    // the verdict and the result log stay as they are. By default a warning.
    virtual void RecordProblem(const std::string& text) { Warning(text); }
};

}  // namespace mirelle::engine
