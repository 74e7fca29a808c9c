// Erase: the erase command, and for the first family the CR read before it
// and the CR set after it (with a second download of the control program
// when the CR bytes say the chip came up unconfigured).
#include <algorithm>

#include "engine/control_link.h"
#include "engine/erase_report.h"
#include "engine/flash_session.h"
#include "protocol/flash_commands.h"
#include "texts/string_table.h"
#include "texts/flash_command_texts.h"

namespace mirelle::engine {

using namespace mirelle::hexfile;

using namespace protocol;

int FlashSession::SendEraseCommand() {
    const TargetFamily family = FamilyOf(m_strTarget);
    const bool progress = m_bShowProgress != 0;
    if (progress) {
        m_events.ProgressLayout(layout::kBar, false, std::nullopt);
        m_events.ProgressRange(0, kEraseBarSteps, 1, 0);
    }
    if (!SendControlFrame(*this, EraseFrame(family, m_nStartAddr[0]))) return 0;

    // The bar moves once a second and stops one short of its end; only the
    // chip's '1' fills it.
    WallSeconds since(GetClock());
    ControlWait wait = WaitControlStatus(*this, since, kEraseLimitSeconds, 0, [&](unsigned before, unsigned after) {
        if (after != before && after < static_cast<unsigned>(kEraseBarSteps) && progress) m_events.ProgressStep();
        return false;
    });
    if (wait.TimedOut()) return 0x03;
    const std::uint8_t status = wait.link_lost ? kStatusNothing : wait.Status();
    if (status == kStatusDone) {
        if (progress) m_events.ProgressPosition(kEraseBarSteps);
        return status;
    }
    m_strErrorDetail = texts::EraseErrorDetail(status);
    return status;
}

int FlashSession::ReadCr() {
    if (!SendControlFrame(*this, CrReadFrame())) return 1;
    // The chip acknowledges with '0'; anything before it is skipped. The 5 s
    // cover the acknowledge, the 8 bytes and the final status together.
    WallSeconds since(GetClock());
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

int FlashSession::SetCr() {
    if (!SendControlFrame(*this, CrSetFrame(m_pStatusB))) return 1;
    WallSeconds since(GetClock());
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

void ReportEraseFailure(FlashSession& session, int status) {
    const EraseFailure failure = ClassifyEraseFailure(status);
    if (failure.with_detail) session.m_strErrorDetail = texts::EraseErrorDetail(status);
    session.ReportResult(failure.report.code, failure.report.kind, failure.report.sound);
}

}  // namespace

int FlashSession::EraseFlash(bool inFullOperation) {
    const PhaseTimer timer(*this, kPhaseErase);
    const TargetFamily family = FamilyOf(m_strTarget);
    m_strStepText = StepText(ids::kStepErasing, inFullOperation);
    if (m_bShowProgress) {
        m_events.ProgressLayout(layout::kBar, false, std::nullopt);
        m_events.StepBegins(m_strStepText);
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
        const bool noReset = !m_bUseReset;

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
                m_events.DownloadLost();
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

Result FlashSession::Erase() {
    const RecordScope record(*this, "erase");
    ClearResult();
    RunCommand("Erase", -1, false, false, [this] { EraseFlash(false); });
    return LastResult();
}

}  // namespace mirelle::engine
