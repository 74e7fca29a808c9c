// The session's part of the unit records: the record is opened by the
// outermost command (or the unattended run), filled as the phases go, and
// completed from the last report when it closes.
#include "engine/unit_record.h"

#include <chrono>

#include "engine/flash_session.h"
#include "platform/interrupt.h"
#include "platform/system.h"

namespace mirelle::engine {

namespace {

std::int64_t UtcMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Operations that use the program file.
bool UsesProgramFile(const std::string& operation) {
    return operation == "program" || operation == "full-operation" || operation == "verify";
}

}  // namespace

const char* PhaseColumn(int phase) {
    static const char* const kColumns[kPhaseCount] = {"download_ms",    "quick_blank_ms",     "erase_ms",
                                                      "blank_check_ms", "program_verify_ms", "read_ms"};
    return phase >= 0 && phase < kPhaseCount ? kColumns[phase] : "";
}

void FlashSession::OpenRecord(const char* operation) {
    if (m_nRecordDepth++ == 0) {
        m_record.emplace();
        m_record->start_ms = UtcMs();
        m_nRecordSignal = 0;
    }
    if (operation && *operation) m_record->operation = operation;
}

void FlashSession::CloseRecord(int exitStatus) {
    if (m_nRecordDepth == 0) return;
    if (exitStatus >= 0) m_record->exit_status = exitStatus;
    if (--m_nRecordDepth > 0) return;
    WriteRecord();
    m_record.reset();
}

void FlashSession::NoteRetry(bool crc) {
    if (!m_record) return;
    if (crc)
        ++m_record->crc_retries;
    else
        ++m_record->line_retries;
}

FlashSession::PhaseTimer::PhaseTimer(FlashSession& session, Phase phase)
    : m_session(session), m_phase(phase), m_startTick(session.GetClock().TickMs()) {}

FlashSession::PhaseTimer::~PhaseTimer() {
    if (!m_session.m_record) return;
    long long& ms = m_session.m_record->phase_ms[m_phase];
    if (ms < 0) ms = 0;
    ms += static_cast<std::uint32_t>(m_session.GetClock().TickMs() - m_startTick);
}

void FlashSession::WriteRecord() {
    UnitRecord& r = *m_record;
    if (!m_pRecordSink || r.operation.empty()) return;
    r.end_ms = UtcMs();
    r.folder = m_strModuleDir;
    r.slot = m_strRecordSlot;
    r.target = m_strTarget;
    r.clock = m_strRateText;
    r.rate = m_nWorkBaud;
    if (UsesProgramFile(r.operation)) r.program_file = m_strProgramFile;
    const Result result = LastResult();
    r.result_code = result.code;
    r.result_kind = result.kind;
    r.result_text = result.message;
    if (r.result_text.empty()) r.result_text = result.file_error;
    r.passed = result.Succeeded();
    if (m_nRecordSignal != 0 && !m_bFullOperationDone) {
        // As the result log says it: why the run ended, then the step's report.
        r.passed = false;
        r.result_text = "Interrupted by signal " + std::to_string(m_nRecordSignal) + " (" +
                        sys::SignalName(m_nRecordSignal) + ")\r\n" + r.result_text;
    } else if (m_pStopFlag && StopRequested() && !m_bFullOperationDone) {
        // A station's slot was stopped (alone, or with the others by a
        // signal): the unit did not finish.
        r.passed = false;
        r.result_text = "Stopped before the operation ended\r\n" + r.result_text;
    }
    const std::string problem = m_pRecordSink->Write(r);
    if (problem.empty() || m_bRecordProblemTold) return;
    m_bRecordProblemTold = true;
    m_events.RecordProblem(problem);
}

}  // namespace mirelle::engine
