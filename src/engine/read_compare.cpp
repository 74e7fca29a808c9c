// Read & Compare: the flash is read back block by block and compared with
// the program file's image, word by word; the first difference is reported
// with its address and both values.
#include <array>

#include "engine/block_receiver.h"
#include "engine/flash_session.h"
#include "protocol/block_plan.h"
#include "protocol/read_block.h"
#include "texts/result_codes.h"
#include "texts/string_table.h"

namespace mirelle::engine {

void FlashSession::ReadAndCompare() {
    const PhaseTimer timer(*this, kPhaseRead);
    BlockReceiver receiver(*this, ReadOutPurpose::kCompare);
    ClearComErrors();
    const int blockCount = receiver.BlockCount();
    if (m_events.HasProgress()) {
        m_events.ProgressLayout(layout::kCancel | layout::kButtonLive | layout::kBar, false, std::nullopt);
        m_events.StepBegins(LoadString(ids::kStepReadingComparing));
        m_events.ProgressRange(0, blockCount, 1, 0);
    }

    std::array<std::uint8_t, protocol::kBlockSize> image{};
    const ReadOutEnd end = receiver.Run([&](const ReadOutBlock& block) {
        ReadImageBlock(block.address, image);
        const auto difference =
            protocol::FirstDifferentWord(block.address, m_nEndAddr[block.area], block.data, image);
        if (!difference) return true;
        m_strErrAddress = protocol::Word0x(difference->address);
        m_strErrFlash = protocol::Word0x(difference->flash);
        m_strErrHexFile = protocol::Word0x(difference->image);
        ReportResult(result::kDifference, result::kKindInfo, result::kSoundError);
        return false;
    });
    if (end == ReadOutEnd::kFailed || end == ReadOutEnd::kStopped) return;
    if (m_events.HasProgress()) m_events.ProgressPosition(receiver.BlocksDone());
    if (end == ReadOutEnd::kCancelled) {
        receiver.ShowCancelled();
        return;
    }
    WriteTimingLog(4);
    ReportResult(result::kIdentical, result::kKindInfo, result::kSoundEnd);
}

Result FlashSession::Compare() {
    const RecordScope record(*this, "verify");
    ClearResult();
    RunCommand("Read & Compare", -1, true, false, [this] {
        if (LoadProgramFile(false, 0xFF) == 1) ReadAndCompare();
    });
    return LastResult();
}

}  // namespace mirelle::engine
