#include "hexfile/program_file.h"

#include "hexfile/intel_hex.h"
#include "hexfile/srecord.h"
#include "platform/textfile.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <utility>

namespace mirelle::hexfile {
namespace {

// A failed load: one of the loader's own failures, or a decoder's with its
// error code and the line it refused.
LoadResult Failure(LoadStatus status, int decoder_error = 0, int line_number = 0) {
    LoadResult result;
    result.status = status;
    result.decoder_error = decoder_error;
    result.line_number = line_number;
    return result;
}

LoadResult SRecordFailure(SRecordError error, int line_number) {
    return Failure(LoadStatus::kSRecordError, static_cast<int>(error), line_number);
}

LoadResult IntelHexFailure(IntelHexError error, int line_number) {
    return Failure(LoadStatus::kIntelHexError, static_cast<int>(error), line_number);
}

// Counts the bytes of one data record by where they lie; addresses wrap at
// 32 bits as the image's do.
void CountRecord(LoadResult& result, const ImageTarget& target, std::uint32_t address, std::size_t count) {
    if (target.areas.empty()) return;
    auto note = [](std::optional<std::uint32_t>& first, std::optional<std::uint32_t>& last, std::uint32_t at) {
        if (!first) first = at;
        if (!last || at > *last) last = at;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t at = address + static_cast<std::uint32_t>(i);
        bool inside = false, sent = false;
        for (const FlashArea& area : target.areas) {
            inside = inside || (at >= area.start && at <= area.end);
            sent = sent || (area.sent_end > area.end && at > area.end && at <= area.sent_end && at >= area.start);
        }
        if (inside) {
            ++result.bytes_in_flash;
        } else if (sent) {
            ++result.bytes_sent_outside;
            note(result.first_sent_outside, result.last_sent_outside, at);
        } else {
            ++result.bytes_outside;
            note(result.first_outside, result.last_outside, at);
        }
    }
}

// The number of the line that could not be read after `lines_read` lines.
int LastLineNumber(int lines_read) { return lines_read + 1; }

// Every format's loader, in the order detection asks them: a new format is
// its loader type and one line here.
std::span<const ProgramLoader* const> Loaders() {
    static const SRecordLoader srecord;
    static const IntelHexLoader intel_hex;
    static const ProgramLoader* const loaders[] = {&intel_hex, &srecord};
    return loaders;
}

const ProgramLoader* DetectLoader(std::string_view first_line) {
    for (const ProgramLoader* loader : Loaders()) {
        if (loader->Recognizes(first_line)) return loader;
    }
    return nullptr;
}

// Choosing the loader and decoding, on an image that has been filled already.
LoadResult LoadFilledImage(LineSource& lines, const LoadOptions& options) {
    std::string first;
    if (!lines.Next(first))
        return Failure(lines.Failed() ? LoadStatus::kOpenError : LoadStatus::kEmptyFile);
    const ProgramLoader* loader = options.format ? &LoaderOf(*options.format) : DetectLoader(first);
    if (!loader) return Failure(LoadStatus::kUnknownFormat);
    // The loader reads the file from its first line again.
    ReplayFirstLine all(std::move(first), lines);
    LoadResult result = loader->Decode(all, options);
    result.format = loader->Format();
    return result;
}

}  // namespace

bool FileLineSource::Next(std::string& line) { return reader_.Next(line); }
bool FileLineSource::Failed() const { return reader_.Failed(); }

bool ReplayFirstLine::Next(std::string& line) {
    if (pending_) {
        pending_ = false;
        line.swap(first_);
        return true;
    }
    return rest_.Next(line);
}

bool TextLineSource::Next(std::string& line) {
    if (done_ || rest_.empty()) {
        done_ = true;
        return false;
    }
    const std::size_t end = rest_.find('\n');
    std::string_view text = rest_.substr(0, end);
    if (end == std::string_view::npos) {
        rest_ = {};
        done_ = true;
    } else {
        rest_.remove_prefix(end + 1);
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    }
    line.assign(text);
    return true;
}

bool ProgramLoader::StoredRanges::Add(std::uint64_t first, std::uint64_t count) {
    if (count == 0) return false;
    std::uint64_t start = first, end = first + count;
    bool overlaps = false;
    auto it = ranges_.upper_bound(start);
    if (it != ranges_.begin() && std::prev(it)->second >= start) --it;
    // Merges every range that touches the new one; touching is no overlap.
    while (it != ranges_.end() && it->first <= end) {
        overlaps = overlaps || (it->first < end && it->second > start);
        start = std::min(start, it->first);
        end = std::max(end, it->second);
        it = ranges_.erase(it);
    }
    ranges_.emplace(start, end);
    return overlaps;
}

bool ProgramLoader::StoreRecord(const LoadOptions& options, std::uint32_t address,
                                std::span<const std::uint8_t> data, int line_number, StoredRanges& stored,
                                LoadResult& counted) {
    const ImageTarget& target = options.target;
    const StoreOutcome outcome = options.image.Store(address, data, target.start_address, target.skip_halfword);
    if (outcome != StoreOutcome::kStored) {
        counted.refusal = outcome == StoreOutcome::kBelowStart ? Refusal::kBelowStart : Refusal::kOutsideImage;
        counted.refused_address = address;
        return false;
    }
    if (stored.Add(address, data.size()) && counted.notes.overlap_line == 0) counted.notes.overlap_line = line_number;
    CountRecord(counted, target, address, data.size());
    return true;
}

bool SRecordLoader::Recognizes(std::string_view first_line) const {
    return !first_line.empty() && first_line[0] == 'S';
}

LoadResult SRecordLoader::Decode(LineSource& lines, const LoadOptions& options) const {
    LoadResult counted;
    StoredRanges stored;
    bool terminated = false;
    std::uint32_t data_records = 0;
    std::string line;
    int lines_read = 0;
    for (int line_number = 1; lines.Next(line); ++line_number) {
        lines_read = line_number;
        const SRecordLine record = DecodeSRecord(line);
        if (record.kind == SRecordLine::Kind::kSkipped) {
            const char type = line.size() > 1 ? line[1] : '\0';
            if (type == '7' || type == '8' || type == '9') terminated = true;
            const std::optional<std::uint32_t> claimed = type == '5' ? DecodeSRecordCount(line) : std::nullopt;
            if (claimed && *claimed != (data_records & 0xFFFF) && counted.notes.count_line == 0) {
                counted.notes.count_line = line_number;
                counted.notes.count_claimed = *claimed;
                counted.notes.count_found = data_records;
            }
            continue;
        }
        if (record.kind == SRecordLine::Kind::kError) return SRecordFailure(record.error, line_number);
        ++data_records;
        if (!StoreRecord(options, record.address, record.Data(), line_number, stored, counted)) {
            LoadResult failure = SRecordFailure(SRecordError::kAddress, line_number);
            failure.refusal = counted.refusal;
            failure.refused_address = counted.refused_address;
            return failure;
        }
    }
    // A read that failed part way is no end of the file: the image is incomplete.
    if (lines.Failed()) return SRecordFailure(SRecordError::kFile, LastLineNumber(lines_read));
    counted.notes.no_terminator = !terminated;
    return counted;
}

bool IntelHexLoader::Recognizes(std::string_view first_line) const {
    return !first_line.empty() && first_line[0] == ':';
}

LoadResult IntelHexLoader::Decode(LineSource& lines, const LoadOptions& options) const {
    LoadResult counted;
    StoredRanges stored;
    std::string line;
    std::uint32_t base = 0;
    int lines_read = 0;
    for (int line_number = 1; lines.Next(line); ++line_number) {
        lines_read = line_number;
        const IntelHexLine record = DecodeIntelHexLine(line, base);
        switch (record.kind) {
            case IntelHexLine::Kind::kSkipped: continue;
            case IntelHexLine::Kind::kEnd: {
                // Nothing after the end record is data; the first line there is noted.
                for (++line_number; lines.Next(line); ++line_number) {
                    if (!line.empty()) {
                        counted.notes.after_end_line = line_number;
                        break;
                    }
                }
                return counted;
            }
            case IntelHexLine::Kind::kError: return IntelHexFailure(record.error, line_number);
            case IntelHexLine::Kind::kData: break;
        }
        if (!StoreRecord(options, record.address, record.Data(), line_number, stored, counted)) {
            LoadResult failure = IntelHexFailure(IntelHexError::kAddress, line_number);
            failure.refusal = counted.refusal;
            failure.refused_address = counted.refused_address;
            return failure;
        }
    }
    if (lines.Failed()) return IntelHexFailure(IntelHexError::kFile, LastLineNumber(lines_read));
    counted.notes.no_terminator = true;
    return counted;
}

const ProgramLoader& LoaderOf(ProgramFormat format) {
    for (const ProgramLoader* loader : Loaders()) {
        if (loader->Format() == format) return *loader;
    }
    // Every format has its loader in Loaders().
    std::abort();
}

std::optional<ProgramFormat> DetectProgramFormat(std::string_view first_line) {
    const ProgramLoader* loader = DetectLoader(first_line);
    if (!loader) return std::nullopt;
    return loader->Format();
}

LoadResult LoadProgram(LineSource& lines, const LoadOptions& options) {
    options.image.Fill(options.fill);
    return LoadFilledImage(lines, options);
}

LoadResult LoadProgram(const std::string& path, const LoadOptions& options) {
    options.image.Fill(options.fill);
    LineReader reader(path);
    if (!reader.IsOpen()) return Failure(LoadStatus::kOpenError);
    std::error_code ec;
    if (const std::uintmax_t size = std::filesystem::file_size(path, ec); !ec && size > kMaxProgramFileSize) {
        LoadResult refused = Failure(LoadStatus::kOpenError);
        refused.refused_size = size;
        return refused;
    }
    FileLineSource lines(reader);
    return LoadFilledImage(lines, options);
}

}  // namespace mirelle::hexfile
