// The board's reset wired to the port: the boot-entry sequence that takes
// the place of the reset prompt and the exit sequence that starts the user's
// program after the last operation.
#include "engine/flash_session.h"
#include "serial/line_sequence.h"
#include "target/chip_definition.h"

namespace mirelle::engine {

namespace {

// The text of the sequence to run: the front end's, else the chip's key.
std::string SequenceText(const std::optional<std::string>& given, const std::string& key) {
    return given ? *given : key;
}

}  // namespace

int FlashSession::RunBootEntry() {
    const std::string text =
        SequenceText(m_strBootEntry, target::ReadBootSequenceKeys(m_strChipDefPath, m_strTarget).entry);
    serial::LineSequence steps;
    std::string error;
    // A sequence that cannot be read moves no line: the run stops before
    // anything is sent, rather than wait on a board that was never reset.
    if (!serial::ParseLineSequence(text, steps, error)) {
        m_events.Warning("BootEntry= of " + m_strTarget + ": " + error);
        ReportResult(result::kCannotChangePortSettings, result::kKindRedownload, result::kSoundError);
        return -1;
    }
    if (steps.empty()) return 1;
    if (!m_port && !OpenBootPort()) return -1;
    if (!serial::RunLineSequence(*m_port, steps, GetClock())) {
        CloseComPort();
        ReportResult(result::kCannotChangePortSettings, result::kKindRedownload, result::kSoundError);
        return -1;
    }
    // What the board said while it was reset is no answer to the boot ROM's sync.
    PurgeComPort(serial::PurgeWhich::Both);
    return 0;
}

bool FlashSession::RunBootExit() {
    const std::string text =
        SequenceText(m_strBootExit, target::ReadBootSequenceKeys(m_strChipDefPath, m_strTarget).exit);
    serial::LineSequence steps;
    std::string error;
    const bool parsed = serial::ParseLineSequence(text, steps, error);
    if (parsed && steps.empty()) return true;
    if (parsed && !m_port && !OpenBootPort()) return false;
    if (parsed && serial::RunLineSequence(*m_port, steps, GetClock())) return true;
    if (!parsed) m_events.Warning("BootExit= of " + m_strTarget + ": " + error);
    CloseComPort();
    ReportResult(result::kCannotChangePortSettings, result::kKindRedownload, result::kSoundError);
    return false;
}

}  // namespace mirelle::engine
