// Copy: the whole flash is read through the control program and written to a
// file the user names, as S-records or as Intel HEX (a right click on the
// button chooses). The file is written under a temporary name beside the
// chosen one and takes its place only when complete, so a failed or
// cancelled copy never destroys a file the user chose to overwrite.
#include "app/operations/block_receiver.h"
#include "texts/result_codes.h"
#include "texts/string_table.h"
#include "app/windows/writer_dlg.h"
#include "hexfile/readout_records.h"
#include "platform/replacing_file.h"

namespace mirelle {

using namespace mirelle::hexfile;

namespace {

constexpr const char* kIntelHexFilter = "Intel Hex files (*.hex)|*.hex|all files (*.*)|*.*||";
constexpr const char* kSRecordFilter =
    "S format files (*.mhx;*.srec;*.cnv;*.ahx)|*.mhx;*.srec;*.cnv;*.ahx|all files (*.*)|*.*||";
constexpr const char* kFileErrorCaption = "Flash Memory Writer";

const char* FileErrorText(ReplacingFile::Error error) {
    switch (error) {
        case ReplacingFile::Error::kOpen: return "ERROR : OPEN FILE ERROR";
        case ReplacingFile::Error::kDiskFull: return "ERROR : DISK FULL ERROR";
        default: return "ERROR : WRITE FILE ERROR";
    }
}

}  // namespace

int CWriterDlg::CopyToFile() {
    const bool intelHex = m_bCopyIntelHex != 0;
    ui::FileDialogRequest request;
    request.save = true;
    request.owner = this;
    request.filter = intelHex ? kIntelHexFilter : kSRecordFilter;
    request.default_extension = intelHex ? "hex" : "mhx";
    request.initial_dir = m_strProgramFile;
    request.flags = ui::kOverwritePrompt | ui::kHideReadOnly | ui::kFileMustExist | ui::kNoNetworkButton;
    const std::optional<std::string> chosen = ui::ActiveBackend().FileDialog(request);
    if (!chosen) return 0;

    BlockReceiver receiver(*this, ReadOutPurpose::kCopy);
    const int blockCount = receiver.BlockCount();
    // Copy always has a window of its own, also on a run without dialogs.
    // (Memory for it is not told apart from a window that could not be
    // made: the button ignores the result either way.)
    if (!OpenProgressWindow(-1)) return 3;
    m_strStepText = LoadString(ids::kStepCopying);
    m_pProgress->SetMode(CProgressDlg::kModeCancel | CProgressDlg::kModeButtonLive | CProgressDlg::kModeBar, true,
                         std::string("Copy"));
    m_pProgress->SetStatus(m_strStepText);
    m_pProgress->SetProgress(0, blockCount, 1, 0);

    ClearComErrors();
    m_tStart = ProgramClock().Now();

    ReplacingFile file(*chosen);
    if (!file.IsOpen()) {
        ui::MessageBox(this, FileErrorText(ReplacingFile::Error::kOpen), kFileErrorCaption, ui::MessageButtons::Ok,
                       ui::MessageIcon::Exclamation);
        CloseProgressWindow();
        return 1;
    }
    // A file error ends the copy at once with its own box; no result code.
    auto fileError = [&] {
        file.Discard();
        ui::MessageBox(m_pProgress.get(), FileErrorText(file.LastError()), kFileErrorCaption,
                       ui::MessageButtons::Ok, ui::MessageIcon::Exclamation);
        return 1;
    };

    ReadoutRecords records(intelHex ? ReadoutFormat::IntelHex : ReadoutFormat::SRecord);
    bool written = file.Write(records.Header());
    const ReadOutEnd end = receiver.Run(
        [&](const ReadOutBlock& block) {
            written = written && file.Write(records.Block(block.address, block.data));
            return written;
        },
        [&](std::size_t area) {
            written = written && file.Write(records.BeginArea(m_nStartAddr[area], m_nEndAddr[area]));
        });
    if (m_pProgress) m_pProgress->SetPos(receiver.BlocksDone());
    if (!written) return fileError();
    if (end == ReadOutEnd::kCancelled) {
        file.Discard();
        receiver.ShowCancelled();
        return 0;
    }
    if (end != ReadOutEnd::kComplete) {
        file.Discard();
        return 1;
    }

    WriteTimingLog(5);
    if (!file.Write(records.Trailer()) || !file.Commit()) return fileError();
    ReportResult(result::kCopied, result::kKindInfo, result::kSoundEnd);
    return 0;
}

void CWriterDlg::OnCopy() {
    CopyToFile();
    CloseProgressWindow();
}

}  // namespace mirelle
