// The faces of the progress window as the commands show it, for the window
// tests of each backend: the layout mode, the caption, the step text, the
// icon and the bar as the engine sets them.
#pragma once

#include "app/windows/progress_dlg.h"
#include "ui/backend.h"

namespace mirelle::test {

struct ProgressLook {
    const char* name;     // names the screenshot
    int mode;             // CProgressDlg layout bits
    const char* caption;  // before the bar's "n / N" replaces it
    const char* status;
    int icon;             // 0: none
    int position;         // of 0..100; -1 leaves the bar alone
};

inline constexpr int kBarOnly = CProgressDlg::kModeBar;
inline constexpr int kCancelBar = CProgressDlg::kModeCancel | CProgressDlg::kModeButtonLive | CProgressDlg::kModeBar;
inline constexpr int kOkBar = CProgressDlg::kModeOk | CProgressDlg::kModeButtonLive | CProgressDlg::kModeBar;

inline constexpr ProgressLook kProgressLooks[] = {
    {"decode", 0, "Program", " Decoding HexFile", 0, -1},
    {"download", kBarOnly, "Download", " Downloading", 0, 30},
    {"erase", kBarOnly, "Erase", "Full Operation -  Erasing", 0, 60},
    {"blank", kBarOnly, "Blank Check", " Blank Checking", 0, 80},
    {"program", kCancelBar, "Program", " Programming", 0, 40},
    {"compare", kCancelBar, "Read & Compare", " Reading && Comparing", 0, 70},
    {"copy", kCancelBar, "Copy", " Copying", 0, 50},
    {"result", kOkBar, "Full Operation", "It ended normally completely", ui::kIconAsterisk, 100},
    {"error", kOkBar, "Program", " No.011 Communication error", ui::kIconExclamation, 20},
    {"redownload", kOkBar, "Program", "Please redo from download operation", ui::kIconHand, 20},
};

// Shows `look` in `progress`, as the engine's events do.
inline void ShowLook(CProgressDlg& progress, const ProgressLook& look) {
    progress.SetMode(look.mode, false, std::string(look.caption));
    progress.SetStatusIcon(look.icon);
    progress.SetStatus(look.status);
    if (look.position >= 0) progress.SetProgress(0, 100, 1, look.position);
}

}  // namespace mirelle::test
