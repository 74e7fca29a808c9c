// Copy: the whole flash is read through the control program and written to a
// file the user names, as S-records or as Intel HEX. The file is written under a temporary name beside the
// chosen one and takes its place only when complete, so a failed or
// cancelled copy never destroys a file the user chose to overwrite.
#include "engine/block_receiver.h"
#include "engine/flash_session.h"

#include <algorithm>
#include "hexfile/readout_records.h"
#include "platform/replacing_file.h"
#include "texts/result_codes.h"
#include "texts/string_table.h"

namespace mirelle::engine {

using namespace mirelle::hexfile;

namespace {

constexpr const char* kFileErrorCaption = "Flash Memory Writer";

const char* FileErrorText(ReplacingFile::Error error) {
    switch (error) {
        case ReplacingFile::Error::kOpen: return "ERROR : OPEN FILE ERROR";
        case ReplacingFile::Error::kDiskFull: return "ERROR : DISK FULL ERROR";
        default: return "ERROR : WRITE FILE ERROR";
    }
}

}  // namespace

int FlashSession::CopyToFile(const std::string& path, bool intelHex) {
    return CopyToFile(path, intelHex ? CopyFormat::kIntelHex : CopyFormat::kSRecord, std::nullopt);
}

int FlashSession::CopyToFile(const std::string& path, CopyFormat format,
                             const std::optional<protocol::AddressRange>& range) {
    const RecordScope record(*this, "read");
    const PhaseTimer timer(*this, kPhaseRead);
    BlockReceiver receiver(*this, ReadOutPurpose::kCopy);
    if (range) receiver.Limit(*range);
    const int blockCount = receiver.BlockCount();
    // Copy always has a progress display of its own, also on a run without
    // dialogs. (Memory for it is not told apart from a display that could not
    // be made: the caller ignores the result either way.)
    if (!m_events.OpenProgress(-1, "")) return 3;
    m_strStepText = LoadString(ids::kStepCopying);
    m_events.ProgressLayout(layout::kCancel | layout::kButtonLive | layout::kBar, true, std::string("Copy"));
    m_events.StepBegins(m_strStepText);
    m_events.ProgressRange(0, blockCount, 1, 0);

    ClearComErrors();
    m_tStart = GetClock().Now();

    ReplacingFile file(path);
    if (!file.IsOpen()) {
        m_strFileError = FileErrorText(ReplacingFile::Error::kOpen);
        m_events.Notify({m_strFileError, kFileErrorCaption, Notice::Icon::kExclamation, false});
        m_events.CloseProgress();
        return 1;
    }
    // A file error ends the copy at once with its own notice; no result code.
    auto fileError = [&] {
        file.Discard();
        m_strFileError = FileErrorText(file.LastError());
        m_events.Notify({m_strFileError, kFileErrorCaption, Notice::Icon::kExclamation, true});
        return 1;
    };

    const bool binary = format == CopyFormat::kBinary;
    ReadoutRecords records(format == CopyFormat::kIntelHex ? ReadoutFormat::IntelHex : ReadoutFormat::SRecord);
    bool written = binary || file.Write(records.Header());
    const ReadOutEnd end = receiver.Run(
        [&](const ReadOutBlock& block) {
            // The bytes of the block that were asked for; every block but the
            // first of a partial read starts with its first byte.
            const std::span<const std::uint8_t> data =
                block.data.subspan(block.first - block.address, std::size_t{block.last} - block.first + 1);
            if (binary) {
                written = written && file.Write(std::string(data.begin(), data.end()));
                return written;
            }
            if (block.first == block.address) {
                written = written && file.Write(records.Block(block.address, block.data));
                return written;
            }
            // A read that starts inside a block: a short record up to the
            // next 16-byte boundary, then whole records from there, so that
            // no Intel HEX record crosses a 64 KiB boundary.
            const std::size_t head = std::min<std::size_t>(data.size(), (16 - block.first % 16) % 16);
            written = written && file.Write(records.Block(block.first, data.first(head)));
            written = written && file.Write(records.Block(block.first + static_cast<std::uint32_t>(head), data.subspan(head)));
            return written;
        },
        [&](std::size_t area) {
            if (binary) return;
            std::uint32_t first = m_nStartAddr[area], last = m_nEndAddr[area];
            if (range) {
                const protocol::AreaPart part = protocol::PartWithin(first, last, *range);
                first = part.first;
                last = part.last;
            }
            written = written && file.Write(records.BeginArea(first, last));
        });
    if (m_events.HasProgress()) m_events.ProgressPosition(receiver.BlocksDone());
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
    if ((!binary && !file.Write(records.Trailer())) || !file.Commit()) return fileError();
    ReportResult(result::kCopied, result::kKindInfo, result::kSoundEnd);
    return 0;
}

Result FlashSession::Copy(const std::string& path, bool intelHex) {
    return Copy(path, intelHex ? CopyFormat::kIntelHex : CopyFormat::kSRecord, std::nullopt);
}

Result FlashSession::Copy(const std::string& path, CopyFormat format, const std::optional<protocol::AddressRange>& range) {
    ClearResult();
    CopyToFile(path, format, range);
    m_events.CloseProgress();
    return LastResult();
}

}  // namespace mirelle::engine
