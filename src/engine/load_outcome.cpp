#include "engine/load_outcome.h"

#include <algorithm>

#include "protocol/block_plan.h"

namespace mirelle::engine {

texts::LoadOutcome DescribeLoad(const hexfile::LoadResult& result, const std::string& target_name) {
    using hexfile::LoadStatus;
    using texts::LoadFailure;
    LoadFailure failure = LoadFailure::kNone;
    switch (result.status) {
        case LoadStatus::kOk: failure = LoadFailure::kNone; break;
        case LoadStatus::kOpenError: failure = LoadFailure::kOpenError; break;
        case LoadStatus::kEmptyFile: failure = LoadFailure::kEmptyFile; break;
        case LoadStatus::kUnknownFormat: failure = LoadFailure::kUnknownFormat; break;
        case LoadStatus::kSRecordError: failure = LoadFailure::kSRecord; break;
        case LoadStatus::kIntelHexError: failure = LoadFailure::kIntelHex; break;
        case LoadStatus::kNoFlashData: failure = LoadFailure::kNoFlashData; break;
        case LoadStatus::kElfError: failure = LoadFailure::kElf; break;
        case LoadStatus::kBinaryError: failure = LoadFailure::kBinary; break;
    }
    return {failure, result.decoder_error, result.line_number, target_name, result.refused_address};
}

std::string ProgramFormatName(hexfile::ProgramFormat format) {
    switch (format) {
        case hexfile::ProgramFormat::kSRecord: return "S-record";
        case hexfile::ProgramFormat::kIntelHex: return "Intel HEX";
        case hexfile::ProgramFormat::kElf: return "ELF";
        case hexfile::ProgramFormat::kBinary: return "binary";
    }
    return {};
}

texts::LoadWarningFacts DescribeLoadWarnings(const hexfile::LoadResult& result, const std::string& target_name,
                                             const hexfile::ImageTarget& target) {
    using hexfile::FlashImage;
    texts::LoadWarningFacts f;
    f.target_name = target_name;
    f.intel_hex = result.format == hexfile::ProgramFormat::kIntelHex;
    f.place_word = result.format == hexfile::ProgramFormat::kElf      ? "segment"
                   : result.format == hexfile::ProgramFormat::kBinary ? ""
                                                                       : "line";
    f.bytes_outside = result.bytes_outside;
    f.first_outside = result.first_outside;
    f.last_outside = result.last_outside;
    f.bytes_sent_outside = result.bytes_sent_outside;
    f.first_sent_outside = result.first_sent_outside;
    f.last_sent_outside = result.last_sent_outside;
    f.block_size = protocol::kBlockSize;
    f.overlap_line = result.notes.overlap_line;
    f.no_terminator = result.notes.no_terminator;
    f.count_line = result.notes.count_line;
    f.count_claimed = result.notes.count_claimed;
    f.count_found = result.notes.count_found;
    f.after_end_line = result.notes.after_end_line;
    f.refusal = result.refusal == hexfile::Refusal::kBelowStart     ? 1
                : result.refusal == hexfile::Refusal::kOutsideImage ? 2
                                                                     : 0;
    f.refused_address = result.refused_address;
    f.refused_line = result.line_number;
    f.refused_size = result.refused_size;
    f.max_size = hexfile::kMaxProgramFileSize;
    f.first_area_start = target.start_address;
    // The image's windows (flash_image.h): the low one from the first area's start.
    const std::uint64_t start = target.start_address;
    if (start < FlashImage::kMidBase)
        f.image_ranges.emplace_back(target.start_address,
                                    static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                        start + FlashImage::kLowSize - 1, FlashImage::kMidBase - 1)));
    f.image_ranges.emplace_back(FlashImage::kMidBase, FlashImage::kMidBase + FlashImage::kMidSize - 1);
    f.image_ranges.emplace_back(FlashImage::kHighBase, FlashImage::kHighBase + FlashImage::kHighSize - 1);
    return f;
}

}  // namespace mirelle::engine
