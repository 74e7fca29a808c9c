// Blank check of the flash areas: the Blank Check button's check with its
// reports, and the silent check that Full Operation uses to decide whether
// the chip needs an erase.
#include <array>

#include "engine/control_link.h"
#include "engine/flash_session.h"
#include "protocol/flash_commands.h"
#include "texts/string_table.h"
#include "texts/flash_command_texts.h"

namespace mirelle::engine {

using namespace mirelle::hexfile;

using namespace protocol;

int FlashSession::BlankCheck(bool inFullOperation) {
    const PhaseTimer timer(*this, kPhaseBlankCheck);
    const TargetFamily family = FamilyOf(m_strTarget);
    m_strStepText = StepText(ids::kStepBlankChecking, inFullOperation);
    const bool progress = m_bShowProgress != 0;
    if (progress) {
        m_events.StepBegins(m_strStepText);
        m_events.ProgressLayout(layout::kBar, false, std::nullopt);
        m_events.ProgressRange(0, m_nAreaCount, 1, 0);
    }

    for (int i = 0; i < m_nAreaCount; ++i) {
        if (!SendControlFrame(*this, BlankCheckFrame(family, m_nStartAddr[i], m_nEndAddr[i]))) return 1;
        WallSeconds since(GetClock());
        ControlWait wait = WaitControlStatus(*this, since, kBlankCheckLimitSeconds);
        if (wait.TimedOut()) {
            ReportResult(result::kTimeout, result::kKindLinkLost, result::kSoundError);
            return 4;
        }
        if (wait.link_lost) return 1;
        const std::uint8_t status = wait.Status();
        if (status == kStatusDone) {
            if (progress) m_events.ProgressPosition(i + 1);
            continue;
        }
        if (status == kStatusFail) {
            // The address of the first word that is not blank, its 4 bytes,
            // and one byte more.
            std::array<std::uint8_t, 4> address{}, data{};
            std::uint8_t rest = 0;
            std::size_t received = 0;
            ReadBlock(address.data(), address.size(), received);
            m_strErrAddress = HexBytes0x(address);
            ReadBlock(data.data(), data.size(), received);
            m_strErrFlash = HexBytes0x(data);
            ReadBlock(&rest, 1, received);
            ReportResult(result::kNotBlank, inFullOperation ? result::kKindError : result::kKindInfo, result::kSoundError);
            return 1;
        }
        ReportResult(result::kCommunicationError, result::kKindRedownload, result::kSoundError);
        return 1;
    }

    if (!inFullOperation) {
        WriteTimingLog(2);
        ReportResult(result::kBlank, result::kKindInfo, result::kSoundEnd);
    }
    return 0;
}

int FlashSession::QuickBlankTest() {
    const PhaseTimer timer(*this, kPhaseQuickBlank);
    const TargetFamily family = FamilyOf(m_strTarget);
    for (int i = 0; i < m_nAreaCount; ++i) {
        // A write that failed has been reported and closed the port: that is
        // a stop, not a chip holding data (which would lead to an erase on
        // a closed port whose reports hide the write error).
        if (!SendControlFrame(*this, BlankCheckFrame(family, m_nStartAddr[i], m_nEndAddr[i]))) return 2;
        WallSeconds since(GetClock());
        ControlWait wait = WaitControlStatus(*this, since, kBlankCheckLimitSeconds);
        if (wait.TimedOut()) {
            ReportResult(result::kTimeout, result::kKindLinkLost, result::kSoundError);
            return 2;
        }
        // With the link gone there is nothing to decide from: stop.
        if (wait.link_lost) return 2;
        if (wait.Status() == kStatusDone) continue;
        if (wait.Status() == kStatusFail) {
            // Take the detail bytes off the line so they do not meet the next command.
            std::uint8_t byte = 0;
            std::size_t received = 0;
            for (int k = 0; k < 8; ++k)
                if (!ReadBlock(&byte, 1, received)) break;
            ReadBlock(&byte, 1, received);
            return 1;
        }
        // Neither answer: the control program is not where it should be.
        m_strErrorDetail = texts::DownloadErrorDetail(wait.Status());
        ReportResult(result::kCommunicationError, result::kKindRedownload, result::kSoundError);
        return 2;
    }
    return 0;
}

Result FlashSession::BlankCheckCommand() {
    const RecordScope record(*this, "blank-check");
    ClearResult();
    RunCommand("Blank Check", -1, false, false, [this] { BlankCheck(false); });
    return LastResult();
}

}  // namespace mirelle::engine
