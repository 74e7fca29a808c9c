// Read & Compare: the flash is read back block by block and compared with
// the program file's image, word by word; the first difference is reported
// with its address and both values.
#include <array>

#include "app/operations/block_receiver.h"
#include "texts/result_codes.h"
#include "texts/string_table.h"
#include "app/windows/writer_dlg.h"
#include "protocol/block_plan.h"
#include "protocol/read_block.h"

namespace mirelle {

void CWriterDlg::ReadAndCompare() {
    BlockReceiver receiver(*this, ReadOutPurpose::kCompare);
    ClearComErrors();
    const int blockCount = receiver.BlockCount();
    CProgressDlg* progress = m_pProgress.get();
    if (progress) {
        progress->SetMode(CProgressDlg::kModeCancel | CProgressDlg::kModeButtonLive | CProgressDlg::kModeBar);
        progress->SetStatus(LoadString(ids::kStepReadingComparing));
        progress->SetProgress(0, blockCount, 1, 0);
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
    if (m_pProgress) m_pProgress->SetPos(receiver.BlocksDone());
    if (end == ReadOutEnd::kCancelled) {
        receiver.ShowCancelled();
        return;
    }
    WriteTimingLog(4);
    ReportResult(result::kIdentical, result::kKindInfo, result::kSoundEnd);
}

void CWriterDlg::OnCompare() {
    RunCommand("Read & Compare", -1, true, false, [this] {
        if (LoadProgramFile(false, 0xFF) == 1) ReadAndCompare();
    });
}

}  // namespace mirelle
