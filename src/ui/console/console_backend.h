// The backend of the unattended run where no display exists. Windows are
// kept as models only. What an operator needs to follow goes to standard
// error: the status texts of windows other than the main window (a coloured
// or large label in its colour and bold on a terminal), and their
// progress bars, as one redrawn "[####....]  n / N" line on a terminal or as
// plain "n / N" lines (one for each tenth of the range) otherwise.
//
// Message boxes are printed with their caption. When standard input is a
// terminal, an OK/Cancel or Yes/No question is asked there (an empty answer
// takes the default). Otherwise, and at the end of input, the safe default
// answers: OK for OK/Cancel (the board-reset prompt: the run goes on), and
// Yes for Yes/No, except that the same question (the CRC retry question
// names its block) is answered Yes at most three times in a row and then No,
// so a block that keeps failing ends the run instead of looping for ever.
// A save dialog asks for the file's name on the terminal (relative names are
// taken in the start folder, a name without extension gets the default one,
// an existing file is replaced only when the user says so); without a
// terminal, and for every open dialog, file dialogs are cancelled. A property
// sheet is printed page by page; with a terminal on standard input its
// controls are worked from there (by number), otherwise it is cancelled.
// Sounds go to the system's own player (silent on Linux, PlaySound and
// MessageBeep on Windows), a document is named on standard error instead of
// being opened.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/dialog.h"

namespace mirelle::ui {

class PropertySheet;

class ConsoleBackend final : public Backend, public DialogObserver {
public:
    // Standard error and standard input, each a terminal or not as it is.
    ConsoleBackend();
    // Given streams (the tests); `in` may be null for no input at all.
    ConsoleBackend(std::ostream& err, std::istream* in, bool err_is_terminal, bool in_is_terminal);
    ~ConsoleBackend() override;

    // How many times in a row the same Yes/No question is answered Yes by default.
    static constexpr int kDefaultYesLimit = 3;

    bool CreateWindow(Dialog& dialog, Dialog* owner, bool modal) override;
    void DestroyWindow(Dialog& dialog) override;
    void RunModal(Dialog& dialog) override;
    void PumpEvents() override {}
    int MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> FileDialog(const FileDialogRequest& request) override;
    void PlayWave(const std::string& path) override;
    void StopSound() override;
    void Beep() override;
    bool OpenWithViewer(const std::string& path) override;

    void OnDialogChanged(Dialog& dialog, const Change& change) override;

private:
    int DefaultAnswer(const MessageBoxRequest& request);
    int AskOnTerminal(const MessageBoxRequest& request, int fallback);
    void EndBarLine();
    void PrintPage(const PropertySheet& sheet);
    void RunSheet(PropertySheet& sheet);
    void ShowProgress(const ControlState& bar);

    std::ostream& err_;
    std::istream* in_;
    bool err_terminal_;
    bool in_terminal_;
    std::vector<Dialog*> live_;
    bool bar_on_line_ = false;   // a bar is drawn and its line not yet ended
    std::string last_bar_;       // the bar as last drawn
    int last_tenth_ = -1;        // plain output: the tenth last printed
    std::string last_status_;
    std::string last_question_;  // the Yes/No question answered by default last
    int same_question_yes_ = 0;  // how often it was answered Yes in a row
};

}  // namespace mirelle::ui
