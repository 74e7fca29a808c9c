#include "engine/block_receiver.h"

#include <algorithm>

#include "engine/control_link.h"
#include "engine/flash_session.h"
#include "protocol/block_plan.h"
#include "protocol/flash_commands.h"
#include "protocol/read_block.h"
#include "texts/result_codes.h"
#include "texts/result_texts.h"
#include "texts/string_table.h"
#include "texts/flash_command_texts.h"

namespace mirelle::engine {

using namespace protocol;

int BlockReceiver::BlockCount() const {
    const auto count = static_cast<std::size_t>(session_.m_nAreaCount);
    if (!limited_)
        return static_cast<int>(protocol::BlockCount(std::span(session_.m_nStartAddr.data(), count),
                                                     std::span(session_.m_nEndAddr.data(), count)));
    std::uint32_t blocks = 0;
    for (std::size_t i = 0; i < count; ++i)
        blocks += PartWithin(session_.m_nStartAddr[i], session_.m_nEndAddr[i], range_).blocks;
    return static_cast<int>(blocks);
}

void BlockReceiver::ReportFailedRead() {
    if (purpose_ == ReadOutPurpose::kCompare)
        session_.ReportResult(result::kPortReadError, result::kKindRedownload, result::kSoundError);
    else
        session_.ReportResult(result::kReadError, result::kKindLinkLost, result::kSoundError);
}

BlockReceiver::Attempt BlockReceiver::ReadBlockOnce(std::uint32_t address, int& line_retries) {
    Events& events = session_.GetEvents();
    const bool progress = events.HasProgress();
    if (progress) {
        events.ProgressPosition(done_);
        if (events.CancelRequested()) return Attempt::kCancelled;
    }

    const ReadAnswer answer = ClassifyReadAnswer(session_.SendBlockCommand(address, true));
    // A press while the command waits cancels Read & Compare; Copy has
    // always ended it as an interrupted read.
    if (answer == ReadAnswer::kCancelled && purpose_ == ReadOutPurpose::kCompare) return Attempt::kCancelled;
    if (answer != ReadAnswer::kReady) {
        int code = result::kReadError;
        if (answer == ReadAnswer::kTimedOut)
            code = result::kTimeout;
        else if (answer == ReadAnswer::kWriteFailed && purpose_ == ReadOutPurpose::kCompare)
            code = result::kPortWriteError;
        session_.ReportResult(code, result::kKindLinkLost, result::kSoundError);
        return Attempt::kFailed;
    }

    // The data in reads of 64 bytes, then the CRC. How many bytes a read
    // brought is not looked at: a short block fails its CRC (the frame is
    // filled afresh, so nothing of the previous block can pass for it).
    frame_.fill(0xFF);
    std::size_t received = 0;
    for (std::size_t k = 0; k <= kReadChunks; ++k) {
        const std::size_t count = k < kReadChunks ? kReadChunkBytes : 2;
        if (!session_.ReadBlock(frame_.data() + k * kReadChunkBytes, count, received)) {
            ReportFailedRead();
            return Attempt::kFailed;
        }
    }

    // A line error means some byte may be wrong: the block is read again,
    // without waiting for its status. A line that stays noisy would do so
    // for ever; after the bound it counts as a failed read.
    if (session_.ClearComErrors().errors != 0) {
        session_.NoteRetry(false);
        DropRestOfFrame();
        if (++line_retries > kLineErrorRetries) {
            ReportFailedRead();
            return Attempt::kFailed;
        }
        return Attempt::kRetry;
    }

    bool cancelled = false;
    WallSeconds since(session_.GetClock());
    ControlWait wait = WaitControlStatus(session_, since, kBlockLimitSeconds, 0, [&](unsigned, unsigned) {
        cancelled = progress && events.CancelRequested();
        return cancelled;
    });
    if (cancelled) return Attempt::kCancelled;
    if (wait.TimedOut()) {
        session_.ReportResult(result::kTimeout, result::kKindLinkLost, result::kSoundError);
        return Attempt::kFailed;
    }
    if (wait.link_lost) return Attempt::kFailed;  // the failed read has been reported
    if (wait.Status() != kStatusDone) {
        session_.ReportResult(result::kReadError, result::kKindLinkLost, result::kSoundError);
        return Attempt::kFailed;
    }

    const std::uint8_t fault = session_.CrcFaultDue() ? 1 : 0;
    if (!ReadFrameIntact(frame_, fault)) {
        session_.NoteRetry(true);
        if (events.Ask(Question::kCrcRetry, texts::CrcRetryQuestion(address), texts::kCrcRetryCaption)) return Attempt::kRetry;
        return Attempt::kCancelled;
    }
    return Attempt::kGood;
}

void BlockReceiver::DropRestOfFrame() {
    session_.PurgeComPort(serial::PurgeWhich::Receive);
    // The status byte of the damaged frame may still be on its way; taken
    // as the answer to the next read command it would shift that frame by
    // one byte. So the line is read empty, byte by byte, until it is quiet.
    std::uint8_t byte = 0;
    std::size_t received = 1;
    for (std::size_t n = 0; n <= kReadFrameBytes && received != 0; ++n)
        if (!session_.ReadBlock(&byte, 1, received)) break;
    session_.ClearComErrors();
}

ReadOutEnd BlockReceiver::Run(const std::function<bool(const ReadOutBlock&)>& on_block,
                              const std::function<void(std::size_t)>& on_area) {
    done_ = 0;
    for (int i = 0; i < session_.m_nAreaCount; ++i) {
        const auto area = static_cast<std::size_t>(i);
        const AreaPart part = PartWithin(session_.m_nStartAddr[area], session_.m_nEndAddr[area], range_);
        if (limited_ && part.blocks == 0) continue;
        if (on_area) on_area(area);
        // In 64 bits, so an area reaching the top of the address space ends.
        for (std::uint64_t k = 0; k < part.blocks; ++k) {
            const auto address = static_cast<std::uint32_t>(part.first_block + k * kBlockSize);
            int line_retries = 0;
            Attempt attempt;
            do {
                attempt = ReadBlockOnce(address, line_retries);
            } while (attempt == Attempt::kRetry);
            if (attempt == Attempt::kCancelled) return ReadOutEnd::kCancelled;
            if (attempt == Attempt::kFailed) return ReadOutEnd::kFailed;
            const std::uint32_t first = std::max(address, part.first);
            const std::uint32_t last = static_cast<std::uint32_t>(std::min<std::uint64_t>(part.last, std::uint64_t{address} + kBlockSize - 1));
            if (!on_block({area, address, std::span<const std::uint8_t>(frame_.data(), kBlockSize), first, last}))
                return ReadOutEnd::kStopped;
            ++done_;
        }
    }
    return ReadOutEnd::kComplete;
}

void BlockReceiver::ShowCancelled() {
    Events& events = session_.GetEvents();
    if (events.HasProgress()) events.Cancelled(LoadString(ids::kCanceled), true);
    session_.PurgeComPort(serial::PurgeWhich::Both);
}

}  // namespace mirelle::engine
