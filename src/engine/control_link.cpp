#include "app/operations/control_link.h"

#include "texts/result_codes.h"
#include "app/windows/writer_dlg.h"
#include "platform/interrupt.h"
#include "app/operations/com_handle.h"

namespace mirelle {


bool SendControlFrame(CWriterDlg& dlg, const std::vector<std::uint8_t>& frame) {
    // The frame in one write: the same bytes as byte by byte, without a call
    // per byte between a status and the command that follows it. A frame
    // that did not leave whole fails as a failed single-byte write does.
    std::size_t written = 0;
    if (dlg.WriteBlock(frame.data(), frame.size(), written) && written == frame.size()) return true;
    dlg.ReportResult(result::kPortWriteError, result::kKindLinkLost, result::kSoundError);
    return false;
}

bool ControlLinkLost() { return g_hCom == nullptr || sys::InterruptSignal() != 0; }

ControlWait WaitControlStatus(CWriterDlg& dlg, const protocol::WallSeconds& since, unsigned limit_seconds,
                              std::uint8_t last, std::function<bool(unsigned, unsigned)> after_read,
                              std::function<bool(std::uint8_t)> keeps_waiting) {
    ControlWait wait;
    protocol::StatusWaitSteps steps;
    steps.read = [&dlg] { return dlg.ReadByte(); };
    steps.after_read = [&](unsigned before, unsigned after) {
        if (ControlLinkLost()) {
            wait.link_lost = true;
            return true;
        }
        return after_read ? after_read(before, after) : false;
    };
    steps.keeps_waiting = std::move(keeps_waiting);
    wait.outcome = protocol::WaitForStatus(since, limit_seconds, last, steps);
    return wait;
}

}  // namespace mirelle
