// How the main window shows what its flash session tells it: the progress
// window of a command, message boxes for questions and notices, the report
// in the progress window (or a box) with its sound, and the command buttons.
// Every text and box is the one the window has always shown.
#pragma once

#include <optional>
#include <string>

#include "engine/events.h"

namespace mirelle {

class CWriterDlg;

class MainWindowEvents final : public engine::Events {
public:
    explicit MainWindowEvents(CWriterDlg& window) : window_(window) {}

    bool OpenProgress(int mode, const std::string& caption) override;
    void CloseProgress() override;
    bool HasProgress() const override;
    void ProgressLayout(int mode, bool centre, const std::optional<std::string>& caption) override;
    void StepBegins(const std::string& text) override;
    void StatusText(const std::string& text) override;
    void ProgressRange(int lower, int upper, int step, int position) override;
    void ProgressPosition(int position) override;
    void ProgressStep() override;
    bool CancelRequested() override;
    void Cancelled(const std::string& text, bool acknowledge) override;
    bool Ask(engine::Question question, const std::string& text, const std::string& caption) override;
    void Notify(const engine::Notice& notice) override;
    void Warning(const std::string& text) override;
    void Reported(const engine::ResultReport& report) override;
    void Downloaded() override;
    void CommandsReset() override;
    void DownloadLost() override;
    void PortProblem(const std::string& line) override;
    void RecordProblem(const std::string& text) override;

private:
    CWriterDlg& window_;
};

}  // namespace mirelle
