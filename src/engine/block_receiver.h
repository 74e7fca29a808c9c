// The read-out of the whole flash through the control program, block by
// block, shared by Read & Compare and Copy: command 0x28 for each 512-byte
// block from each area's start, the data in 8 reads of 64 bytes and the CRC
// in one read, the status wait of 5 s with Cancel polled, and the CRC check
// with its retry question. The two commands differ only in what a failed
// read reports and in what a Cancel during the command's wait means.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "protocol/block_plan.h"
#include "protocol/read_block.h"

namespace mirelle::engine {

class FlashSession;

enum class ReadOutPurpose { kCompare, kCopy };

enum class ReadOutEnd {
    kComplete,   // every block was received and taken
    kCancelled,  // the user cancelled, or declined to read a damaged block again
    kFailed,     // a failure has been reported
    kStopped,    // the block handler stopped the read-out
};

struct ReadOutBlock {
    std::size_t area = 0;
    std::uint32_t address = 0;
    std::span<const std::uint8_t> data;  // the 512 bytes read
    // The bytes of the block that the read asked for (both ends inclusive):
    // the block within its area and the limit of the read.
    std::uint32_t first = 0, last = 0;
};

// Line errors on a block lead to silent retries; a line that stays noisy
// ends the read-out as a failed read after this many.
inline constexpr int kLineErrorRetries = 16;

class BlockReceiver {
public:
    BlockReceiver(FlashSession& session, ReadOutPurpose purpose) : session_(session), purpose_(purpose) {}

    // Reads only the blocks that hold bytes of `range` (a part of the flash);
    // areas outside it are left out altogether.
    void Limit(const protocol::AddressRange& range) {
        range_ = range;
        limited_ = true;
    }
    // The number of blocks over the chip's areas (within the limit).
    int BlockCount() const;
    // Reads every block in order. `on_area` runs before the blocks of each
    // area (also of an area without blocks); `on_block` takes each good block
    // and returns false to stop the read-out.
    ReadOutEnd Run(const std::function<bool(const ReadOutBlock&)>& on_block,
                   const std::function<void(std::size_t area)>& on_area = {});
    // The blocks taken so far.
    int BlocksDone() const { return done_; }
    // The ending of a cancelled read-out: "It was canceled" until the user
    // acknowledges it, then both port buffers purged. Nothing is reported.
    void ShowCancelled();

private:
    // What one attempt at a block came to.
    enum class Attempt { kGood, kRetry, kCancelled, kFailed };
    Attempt ReadBlockOnce(std::uint32_t address, int& line_retries);
    void ReportFailedRead();
    // After a line error: the rest of the frame is dropped and the line left quiet.
    void DropRestOfFrame();

    FlashSession& session_;
    ReadOutPurpose purpose_;
    int done_ = 0;
    protocol::AddressRange range_;
    bool limited_ = false;
    std::array<std::uint8_t, protocol::kReadFrameBytes> frame_{};
};

}  // namespace mirelle::engine
