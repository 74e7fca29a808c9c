// The window backend of mirelle-cli. Windows stay models; the progress
// window's status texts and bar become the command's progress: a bar on a
// terminal, a line per tenth otherwise, JSON events with --json, nothing with
// --quiet. Everything but JSON goes to standard error. Message boxes are
// printed; the board-reset prompt (--reset-prompt) waits for Enter on
// standard input; Yes/No questions are answered No. The file dialog of Copy
// answers with the output file given on the command line.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/dialog.h"

namespace mirelle::cli {

enum class ProgressStyle { Quiet, Bar, Lines, Json };

class ProgressBackend final : public ui::Backend, public ui::DialogObserver {
public:
    ProgressBackend(ProgressStyle style, std::FILE* err, std::FILE* out);
    ~ProgressBackend() override;

    // The path the next save dialog answers with.
    void SetSavePath(std::string path) { save_path_ = std::move(path); }
    // Ends a drawn bar's line so that other output starts on its own line.
    void EndBarLine();
    const std::string& LastStatus() const { return last_status_; }

    bool CreateWindow(ui::Dialog& dialog, ui::Dialog* owner, bool modal) override;
    void DestroyWindow(ui::Dialog& dialog) override;
    void RunModal(ui::Dialog& dialog) override;
    void PumpEvents() override {}
    int MessageBox(const ui::MessageBoxRequest& request) override;
    std::optional<std::string> FileDialog(const ui::FileDialogRequest& request) override;
    void PlayWave(const std::string&) override {}
    void StopSound() override {}
    void Beep() override {}
    bool OpenWithViewer(const std::string&) override { return false; }

    void OnDialogChanged(ui::Dialog& dialog, const ui::Change& change) override;

private:
    void ShowProgress(const ui::ControlState& bar);

    ProgressStyle style_;
    std::FILE* err_;
    std::FILE* out_;
    std::vector<ui::Dialog*> live_;
    std::string save_path_;
    std::string last_status_;
    std::string last_bar_;
    bool bar_on_line_ = false;
    int last_tenth_ = -1;
};

}  // namespace mirelle::cli
