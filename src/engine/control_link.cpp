#include "engine/control_link.h"

#include "engine/flash_session.h"
#include "platform/interrupt.h"
#include "target/chip_traits.h"
#include "texts/result_codes.h"

namespace mirelle::engine {


bool SendControlFrame(FlashSession& session, const std::vector<std::uint8_t>& frame) {
    // The frame in one write: the same bytes as byte by byte, without a call
    // per byte between a status and the command that follows it. A frame
    // that did not leave whole fails as a failed single-byte write does.
    std::size_t written = 0;
    if (session.WriteBlock(frame.data(), frame.size(), written) && written == frame.size()) return true;
    session.ReportResult(result::kPortWriteError, result::kKindLinkLost, result::kSoundError);
    return false;
}

protocol::TargetFamily FamilyOf(const std::string& target) {
    return target::TraitsOf(target).family == target::ProtocolFamily::kSecond ? protocol::TargetFamily::Second
                                                                              : protocol::TargetFamily::First;
}

bool FlashSession::StopRequested() const { return sys::InterruptSignal() != 0 || StopFlagSet(); }

bool FlashSession::ControlLinkLost() const { return m_port == nullptr || StopRequested(); }

ControlWait WaitControlStatus(FlashSession& session, const protocol::WallSeconds& since, unsigned limit_seconds,
                              std::uint8_t last, std::function<bool(unsigned, unsigned)> after_read,
                              std::function<bool(std::uint8_t)> keeps_waiting) {
    ControlWait wait;
    protocol::StatusWaitSteps steps;
    steps.read = [&session] { return session.ReadByte(); };
    steps.after_read = [&](unsigned before, unsigned after) {
        if (session.ControlLinkLost()) {
            wait.link_lost = true;
            return true;
        }
        return after_read ? after_read(before, after) : false;
    };
    steps.keeps_waiting = std::move(keeps_waiting);
    wait.outcome = protocol::WaitForStatus(since, limit_seconds, last, steps);
    return wait;
}

}  // namespace mirelle::engine
