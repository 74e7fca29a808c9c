// Erase: the erase command, and for the first family the CR read before it
// and the CR set after it (with a second download of the control program
// when the CR bytes say the chip came up unconfigured).
#include <algorithm>

#include "app/windows/control_ids.h"
#include "app/operations/control_link.h"
#include "app/operations/erase_report.h"
#include "texts/string_table.h"
#include "texts/flash_command_texts.h"
#include "app/windows/writer_dlg.h"
#include "protocol/flash_commands.h"

namespace mirelle {

using namespace mirelle::hexfile;

using namespace protocol;

int CWriterDlg::SendEraseCommand() {
    const TargetFamily family = FamilyOfTarget(TargetName());
    CProgressDlg* progress = m_bShowProgress ? m_pProgress.get() : nullptr;
    if (progress) {
        progress->SetMode(CProgressDlg::kModeBar);
        progress->SetProgress(0, kEraseBarSteps, 1, 0);
    }
    if (!SendControlFrame(*this, EraseFrame(family, m_nStartAddr[0]))) return 0;

    // The bar moves once a second and stops one short of its end; only the
    // chip's '1' fills it.
    WallSeconds since(ProgramClock());
    ControlWait wait = WaitControlStatus(*this, since, kEraseLimitSeconds, 0, [&](unsigned before, unsigned after) {
        if (after != before && after < static_cast<unsigned>(kEraseBarSteps) && progress) progress->StepIt();
        return false;
    });
    if (wait.TimedOut()) return 0x03;
    const std::uint8_t status = wait.link_lost ? kStatusNothing : wait.Status();
    if (status == kStatusDone) {
        if (progress) progress->SetPos(kEraseBarSteps);
        return status;
    }
    m_strErrorDetail = texts::EraseErrorDetail(status);
    return status;
}

int CWriterDlg::ReadCr() {
    if (!SendControlFrame(*this, CrReadFrame())) return 1;
    // The chip acknowledges with '0'; anything before it is skipped. The 5 s
    // cover the acknowledge, the 8 bytes and the final status together.
    WallSeconds since(ProgramClock());
    ControlWait ack = WaitControlStatus(*this, since, kCrLimitSeconds, 0, {},
                                        [](std::uint8_t b) { return b != kStatusBusy; });
    if (ack.TimedOut()) {
        ReportResult(result::kTimeout, result::kKindLinkLost, result::kSoundError);
        return 1;
    }
    if (ack.link_lost) return 1;

    std::array<std::uint8_t, 8> bytes{};
    std::size_t received = 0;
    if (!ReadBlock(bytes.data(), bytes.size(), received)) {
        ReportResult(result::kPortReadError, result::kKindRedownload, result::kSoundError);
        return 2;
    }
    std::copy(bytes.begin(), bytes.begin() + 4, m_pStatusA.begin());
    std::copy(bytes.begin() + 4, bytes.end(), m_pStatusB.begin());

    ControlWait done = WaitControlStatus(*this, since, kCrLimitSeconds, kStatusBusy);
    if (done.TimedOut()) {
        ReportResult(result::kTimeout, result::kKindLinkLost, result::kSoundError);
        return 3;
    }
    if (done.link_lost) return 3;
    return 0;  // whatever the final byte is
}

int CWriterDlg::SetCr() {
    if (!SendControlFrame(*this, CrSetFrame(m_pStatusB))) return 1;
    WallSeconds since(ProgramClock());
    ControlWait wait = WaitControlStatus(*this, since, kCrLimitSeconds);
    if (wait.TimedOut()) {
        ReportResult(result::kTimeout, result::kKindLinkLost, result::kSoundError);
        return 1;
    }
    // A lost link is no success, whatever byte the last read left.
    if (wait.link_lost) return 1;
    if (wait.Status() == kStatusDone) return 0;
    ReportResult(result::kReadError, result::kKindLinkLost, result::kSoundError);
    return wait.Status();
}

EraseFailure ClassifyEraseFailure(int status) {
    using namespace result;
    if (status == 0x03 || status == protocol::kStatusEraseTimeout) return {{kTimeout, kKindLinkLost, kSoundError}, false};
    if (status == protocol::kStatusFail) return {{kEraseError, kKindRedownload, kSoundError}, true};
    return {{kCommunicationError, kKindRedownload, kSoundError}, true};
}

namespace {

void ReportEraseFailure(CWriterDlg& dlg, int status) {
    const EraseFailure failure = ClassifyEraseFailure(status);
    if (failure.with_detail) dlg.m_strErrorDetail = texts::EraseErrorDetail(status);
    dlg.ReportResult(failure.report.code, failure.report.kind, failure.report.sound);
}

}  // namespace

int CWriterDlg::EraseFlash(bool inFullOperation) {
    const TargetFamily family = FamilyOfTarget(TargetName());
    m_strStepText = StepText(ids::kStepErasing, inFullOperation);
    CProgressDlg* progress = m_bShowProgress ? m_pProgress.get() : nullptr;
    if (progress) {
        progress->SetMode(CProgressDlg::kModeBar);
        progress->SetStatus(m_strStepText);
    }

    if (family == TargetFamily::Second) {
        const int status = SendEraseCommand();
        if (status != kStatusDone) {
            ReportEraseFailure(*this, status);
            return 1;
        }
    } else {
        // The same rule as the reset prompt of the download: a run with
        // further words on its command line re-downloads only with "reset".
        const bool noReset = !GetCommandLine().use_reset;

        int r = ReadCr();
        if (r != 0) {
            m_strErrorDetail = texts::CrReadErrorDetail(r);
            ReportResult(result::kCommunicationError, result::kKindRedownload, result::kSoundError);
            return 1;
        }
        const int status = SendEraseCommand();
        if (status != kStatusDone) {
            ReportEraseFailure(*this, status);
            return 1;
        }
        if (m_pStatusA[0] == 0xFF && m_pStatusA[1] == 0xFF && !noReset) {
            CloseComPort();
            if (DownloadControlProgram() != '1') {
                SetFocus(idc::kTarget);
                UpdateData(false);
                CloseComPort();
                return 1;
            }
        }
        r = SetCr();
        if (r != 0) {
            m_strErrorDetail = texts::CrSetErrorDetail(r);
            ReportResult(result::kCommunicationError, result::kKindRedownload, result::kSoundError);
            return 1;
        }
    }

    if (!inFullOperation) {
        WriteTimingLog(1);
        ReportResult(result::kErased, result::kKindInfo, result::kSoundEnd);
    }
    return 0;
}

void CWriterDlg::OnErase() {
    RunCommand("Erase", -1, false, false, [this] { EraseFlash(false); });
}

}  // namespace mirelle
