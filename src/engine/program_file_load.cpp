// A session's side of program file loading: the step text, the image fill,
// the format detection and the decoders, tied to the session's state and to
// where each failure is reported (a notice or the result log). The decoding
// itself is done by the pure pieces in src/hexfile/.
#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "engine/flash_session.h"
#include "engine/load_outcome.h"
#include "hexfile/area_sum.h"
#include "hexfile/program_file.h"
#include "protocol/block_plan.h"
#include "texts/program_load_texts.h"
#include "texts/string_table.h"

namespace mirelle::engine {

using namespace mirelle::hexfile;
namespace {

ImageTarget TargetOf(const FlashSession& session) {
    ImageTarget target{session.m_nStartAddr[0], session.m_nSkipHalfword};
    for (int i = 0; i < session.m_nAreaCount && i < static_cast<int>(session.m_nStartAddr.size()); ++i) {
        const std::uint32_t start = session.m_nStartAddr[i], end = session.m_nEndAddr[i];
        // The transfers send an area's last block whole (protocol/block_plan.h).
        const std::uint64_t blocks = end >= start ? (std::uint64_t{end} - start) / protocol::kBlockSize + 1 : 0;
        const std::uint64_t sent_end = std::uint64_t{start} + blocks * protocol::kBlockSize - 1;
        target.areas.push_back({start, end, static_cast<std::uint32_t>(std::min<std::uint64_t>(sent_end, 0xFFFFFFFF))});
    }
    return target;
}

// Shows or logs a failed load as PlanLoadReport says. The log is written
// first, so that it already tells the failure while a notice waits for its OK.
void ReportLoadFailure(FlashSession& session, const texts::LoadOutcome& outcome) {
    const bool progressShown = session.GetEvents().HasProgress() && session.m_bShowProgress == 1;
    const texts::LoadReport report = texts::PlanLoadReport(outcome, session.m_bCommandLine, progressShown);
    session.m_bProgramFileFailed = true;
    if (report.write_log) session.WriteResultLog(report.log_code, report.log_text);
    if (report.show_box) session.GetEvents().Notify({report.box_text, report.box_caption, Notice::Icon::kNone, true});
}

}  // namespace

int FlashSession::LoadProgramFile(bool inFullOperation, std::uint8_t fill) {
    if (m_events.HasProgress()) {
        if (m_bShowProgress == 1) m_events.ProgressLayout(0, false, std::nullopt);
        m_strStepText = StepText(ids::kStepDecoding, inFullOperation);
        if (m_bShowProgress == 1) m_events.StepBegins(m_strStepText);
    }
    m_bProgramFileFailed = false;
    // Every byte the file does not set holds the fill, even after a failure.
    ImageTarget target = TargetOf(*this);
    // Whether the file holds data where a patch goes.
    for (const ImagePatch& patch : m_patches)
        target.watched.emplace_back(patch.address,
                                    patch.address + static_cast<std::uint32_t>(std::max<std::size_t>(patch.bytes.size(), 1) - 1));
    m_lastLoad = LoadProgram(m_strProgramFile, {.image = m_image,
                                                 .target = target,
                                                 .fill = fill,
                                                 .format = m_programFormat,
                                                 .binary_start = m_nBinaryStart});
    m_bProgramFileLoaded = true;
    // Compilers put RAM or option data into program files, and files come
    // cut short or mended by hand: what the load left out, or took as it is,
    // an unattended run says, since nobody watches its window.
    if (m_bCommandLine)
        for (const std::string& warning : texts::LoadWarnings(DescribeLoadWarnings(m_lastLoad, m_strTarget, target)))
            m_events.Warning(warning);
    if (m_lastLoad.ok()) return ApplyImagePatches() ? 1 : 0;
    ReportLoadFailure(*this, DescribeLoad(m_lastLoad));
    return 0;
}

bool FlashSession::LoadedFlashData() {
    if (m_lastLoad.bytes_in_flash == 0) {
        ReportLoadFailure(*this, DescribeLoad({.status = LoadStatus::kNoFlashData}, m_strTarget));
        return false;
    }
    return true;
}

std::string OutsideDataWarning(const hexfile::LoadResult& load, const std::string& target) {
    return texts::OutsideDataWarning(load.bytes_outside, load.first_outside, target);
}

void FlashSession::ReadImageBlock(std::uint32_t address, std::span<std::uint8_t> out) const {
    m_image.ReadBlock(address, m_nStartAddr[0], out);
}

long long FlashSession::BytesToProgram() const {
    const std::span<const std::uint32_t> starts(m_nStartAddr.data(), static_cast<std::size_t>(m_nAreaCount));
    const std::span<const std::uint32_t> ends(m_nEndAddr.data(), static_cast<std::size_t>(m_nAreaCount));
    long long bytes = 0;
    std::array<std::uint8_t, protocol::kBlockSize> block{};
    for (protocol::BlockWalk walk(starts, ends); !walk.Done(); walk.Advance()) {
        ReadImageBlock(walk.Address(), block);
        if (protocol::BlockHasData(block)) bytes += protocol::kBlockSize;
    }
    return bytes;
}

int FlashSession::ImageChecksum(std::uint8_t fill) {
    // No progress display exists here: a load failure's notice has no owner.
    if (LoadProgramFile(false, fill) != 1) return kChecksumLoadFailed;
    std::vector<hexfile::AreaRange> areas;
    for (int i = 0; i < m_nAreaCount && i < target::kMaxAreas; ++i)
        areas.push_back({m_nStartAddr[static_cast<std::size_t>(i)], m_nEndAddr[static_cast<std::size_t>(i)]});
    return AreaSum(m_image, areas, m_nStartAddr[0]);
}

}  // namespace mirelle::engine
