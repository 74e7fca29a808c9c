#include "engine/flash_session.h"
#include "engine/load_outcome.h"

#include <algorithm>

#include "target/chip_definition.h"

namespace mirelle::engine {

bool Result::Succeeded() const {
    return file_error.empty() && !program_file_failed && result::IsCompletion(code);
}

FlashSession::FlashSession(Events& events) : m_events(events) {}

FlashSession::~FlashSession() = default;

void FlashSession::SetProgramDir(const std::string& dir) {
    m_strModuleDir = dir;
    // The program folder ends with a separator; Windows' may be a backslash.
    if (m_strModuleDir.empty() || (m_strModuleDir.back() != '/' && m_strModuleDir.back() != '\\'))
        m_strModuleDir += '/';
    m_strChipDefPath = m_strModuleDir + "CHIPDEF.INI";
}

Clock& FlashSession::GetClock() const { return m_pClock ? *m_pClock : ProgramClock(); }

target::ChipDefinition FlashSession::SelectTarget(const std::string& name) {
    m_strTarget = name;
    const target::ChipDefinition def = target::ReadChipDefinition(m_strChipDefPath, name);
    m_nLoadAddress = static_cast<int>(def.load_address);
    m_nStartAddr = def.start;
    m_nEndAddr = def.end;
    m_nAreaCount = def.area_count;
    // Each chip brings its own skipped halfword (or none), so an earlier
    // chip's offset never reaches another chip's image.
    m_nSkipHalfword = def.skip_halfword;
    if (!def.clocks.empty()) m_nRate = std::min(m_nRate, static_cast<int>(def.clocks.size()) - 1);
    // A rate without a selection reads back as -1; the download indexes the
    // Baud lists with this value, so it never stays negative.
    if (m_nRate < 0) m_nRate = 0;
    m_clocks = def.clocks;
    m_strRateText = static_cast<std::size_t>(m_nRate) < m_clocks.size() ? m_clocks[m_nRate] : "";
    m_chipCheck = CheckChip(m_strChipDefPath, name);
    m_bChipProblemsTold = false;
    return def;
}

bool FlashSession::TellChipProblems() {
    if (m_bCommandLine && !m_bChipProblemsTold)
        for (const std::string& text : m_chipCheck.texts) m_events.Warning(text);
    m_bChipProblemsTold = true;
    return !m_chipCheck.refusal.empty();
}

bool FlashSession::SelectRate(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= m_clocks.size()) return false;
    m_nRate = index;
    m_strRateText = m_clocks[static_cast<std::size_t>(index)];
    return true;
}

Result FlashSession::LastResult() const {
    Result r;
    r.code = m_nLastLogCode;
    r.first_failure_code = m_nFirstFailureCode;
    r.kind = m_nKind;
    r.message = m_strLastLogMessage;
    r.program_file_failed = m_bProgramFileFailed;
    r.file_error = m_strFileError;
    const hexfile::LoadStatus loaded = m_lastLoad.status;
    if (m_bProgramFileLoaded && loaded != hexfile::LoadStatus::kOpenError && loaded != hexfile::LoadStatus::kEmptyFile &&
        loaded != hexfile::LoadStatus::kUnknownFormat)
        r.program_format = ProgramFormatName(m_lastLoad.format);
    return r;
}

void FlashSession::ClearResult() {
    m_nLastLogCode = -1;
    m_nFirstFailureCode = -1;
    m_strLastLogMessage.clear();
    m_nKind = result::kKindInfo;
    m_bProgramFileFailed = false;
    m_strFileError.clear();
    m_bProgramFileLoaded = false;
}

}  // namespace mirelle::engine
