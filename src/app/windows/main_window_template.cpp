// Template 102: the main window.
#include "app/windows/control_ids.h"
#include "app/windows/writer_dlg.h"

namespace mirelle {


using ui::ControlKind;
using namespace idc;

const ui::DialogTemplate& CWriterDlg::Template102() {
    static const ui::DialogTemplate tpl = [] {
        ui::DialogTemplate t{kMainTemplate, "Mirelle", "ＭＳ Ｐゴシック", 10, 372, 166,
                             ui::kPopup | ui::kCaption | ui::kSystemMenu | ui::kMinimizeBox, {}};
        auto add = [&t](ui::ControlTemplate c) { t.controls.push_back(std::move(c)); };
        const int S = ui::kStaticId;
        add({S, ControlKind::GroupBox, "SELECT", 5, 3, 196, 69, 0});
        add({S, ControlKind::Label, "&Target MCU", 17, 15, 48, 12, 0});
        add({kTarget, ControlKind::DropList, "", 67, 14, 101, 120, ui::kUpperCase, {"TQ4A01", "TQ7C01"}});
        add({S, ControlKind::Label, "Hex File", 17, 31, 48, 14, 0});
        add({kHexFile, ControlKind::Edit, "", 67, 31, 100, 14, ui::kReadOnly | ui::kBorder});
        add({kOpen, ControlKind::Button, "&Open", 168, 31, 27, 14, 0});
        add({S, ControlKind::Label, "COM (1-255)", 17, 52, 48, 10, 0});
        add({kComNo, ControlKind::Edit, "", 67, 49, 25, 15, ui::kBorder});
        add({kRate, ControlKind::DropList, "", 129, 50, 51, 48, ui::kHidden | ui::kDisabled});
        add({kCommandGroup, ControlKind::GroupBox, "COMMAND", 5, 76, 196, 86, 0});
        add({kFullOperation, ControlKind::Button, "&Full Operation(D+E+B+P)", 72, 87, 124, 22, 0});
        add({kDownload, ControlKind::Button, "&Download", 8, 111, 61, 22, 0});
        add({kErase, ControlKind::Button, "&Erase", 71, 111, 61, 22, 0});
        add({kBlankCheck, ControlKind::Button, "&Blank Check", 134, 111, 61, 22, 0});
        add({kProgram, ControlKind::Button, "&Program && Verify", 8, 135, 61, 22, ui::kMultiLine});
        add({kCompare, ControlKind::Button, "&Read && Compare", 71, 135, 61, 22, ui::kMultiLine});
        add({kCopy, ControlKind::Button, "&Copy", 134, 135, 61, 22, 0});
        add({S, ControlKind::GroupBox, "FLASH INFORMATION", 206, 3, 161, 81, 0});
        add({S, ControlKind::Label, "Start Addr", 219, 13, 40, 8, 0});
        add({S, ControlKind::Label, "End Addr", 270, 13, 40, 8, 0});
        add({S, ControlKind::Label, "Size", 322, 12, 30, 8, 0});
        const int row_y[4] = {23, 37, 51, 65};
        for (int r = 0; r < 4; ++r) {
            add({kRowStart[r], ControlKind::Label, "", 211, row_y[r], 49, 13, ui::kSunken});
            add({kRowEnd[r], ControlKind::Label, "", 262, row_y[r], 49, 13, ui::kSunken});
            add({kRowSize[r], ControlKind::Label, "", 313, row_y[r], 49, 13, ui::kSunken});
        }
        add({kSetEnvironment, ControlKind::Button, "&Set Environment", 213, 88, 71, 15, 0});
        add({kHelp, ControlKind::Button, "&Help", 289, 88, 71, 15, 0});
        add({kCheckSum, ControlKind::Button, "Check SUM", 213, 105, 71, 15, 0});
        add({kVersionInfo, ControlKind::Button, "&Version Info", 289, 105, 71, 15, 0});
        add({kPicture, ControlKind::Picture, "169", 209, 124, 158, 35, ui::kSunken});
        add({kVersionLabel, ControlKind::Label, "version", 324, 140, 38, 10, ui::kHidden});
        return t;
    }();
    return tpl;
}

}  // namespace mirelle
