#include "hexfile/program_file.h"

#include "hexfile/elf_file.h"
#include "hexfile/intel_hex.h"
#include "hexfile/srecord.h"
#include "platform/file.h"
#include "platform/textfile.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

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

LoadResult ElfFailure(ElfError error, int segment) {
    return Failure(LoadStatus::kElfError, static_cast<int>(error), segment);
}

LoadResult BinaryFailure(BinaryError error) { return Failure(LoadStatus::kBinaryError, static_cast<int>(error)); }

// A decoder's address error, with the refusal that StoreRecord noted.
LoadResult AddressFailure(LoadResult failure, const LoadResult& counted) {
    failure.refusal = counted.refusal;
    failure.refused_address = counted.refused_address;
    return failure;
}

// A file read as lines only: the text formats.
class LinesInput final : public ProgramInput {
public:
    explicit LinesInput(LineSource& lines) : lines_(lines) {}
    LineSource& Lines() override { return lines_; }
    bool Bytes(std::span<const std::uint8_t>&) override { return false; }

private:
    LineSource& lines_;
};

// A file held in memory, as bytes or as the lines they split into.
class BytesInput final : public ProgramInput {
public:
    explicit BytesInput(std::span<const std::uint8_t> bytes)
        : bytes_(bytes), lines_(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())) {}
    LineSource& Lines() override { return lines_; }
    bool Bytes(std::span<const std::uint8_t>& bytes) override {
        bytes = bytes_;
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
    TextLineSource lines_;
};

// The number of the line that could not be read after `lines_read` lines.
int LastLineNumber(int lines_read) { return lines_read + 1; }

// Every format's loader, in the order detection asks them: a new format is
// its loader type and one line here.
std::span<const ProgramLoader* const> Loaders() {
    static const SRecordLoader srecord;
    static const IntelHexLoader intel_hex;
    static const ElfLoader elf;
    static const BinaryLoader binary;
    static const ProgramLoader* const loaders[] = {&intel_hex, &srecord, &elf, &binary};
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
    LinesInput input(all);
    LoadResult result = loader->Decode(input, options);
    result.format = loader->Format();
    return result;
}

// The loader that a file's name and first bytes choose before any line is
// read: the caller's format, a binary by its name, an ELF file by its magic;
// none leaves the choice to the first line.
const ProgramLoader* LoaderBeforeLines(std::string_view name, std::span<const std::uint8_t> head,
                                       const LoadOptions& options) {
    if (options.format) return &LoaderOf(*options.format);
    if (IsBinaryFileName(name)) return &LoaderOf(ProgramFormat::kBinary);
    if (HasElfMagic(head)) return &LoaderOf(ProgramFormat::kElf);
    return nullptr;
}

// Decoding a file held in memory with `loader`, on a filled image.
LoadResult DecodeBytes(const ProgramLoader& loader, std::span<const std::uint8_t> bytes, const LoadOptions& options) {
    if (bytes.empty()) return Failure(LoadStatus::kEmptyFile);
    BytesInput input(bytes);
    LoadResult result = loader.Decode(input, options);
    result.format = loader.Format();
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
    const std::uint64_t last = std::uint64_t{address} + data.size() - 1;
    for (std::size_t i = 0; i < target.watched.size() && i < 64; ++i)
        if (!data.empty() && target.watched[i].first <= last && target.watched[i].second >= address)
            counted.watched_hits |= std::uint64_t{1} << i;
    return true;
}

bool ProgramLoader::StoreRun(const LoadOptions& options, std::uint64_t address, std::span<const std::uint8_t> data,
                             int number, StoredRanges& stored, LoadResult& counted) {
    const std::uint64_t start = options.target.start_address;
    while (!data.empty()) {
        if (address > 0xFFFFFFFF) {
            counted.refusal = Refusal::kOutsideImage;
            counted.refused_address = 0xFFFFFFFF;
            return false;
        }
        // The next place where a window begins or ends, so that every part
        // goes to its own window and a part that fits none is refused at its
        // first byte.
        std::uint64_t next = std::uint64_t{1} << 32;
        for (const std::uint64_t edge : {start + FlashImage::kLowSize, std::uint64_t{FlashImage::kMidBase},
                                         std::uint64_t{FlashImage::kMidBase} + FlashImage::kMidSize,
                                         std::uint64_t{FlashImage::kHighBase},
                                         std::uint64_t{FlashImage::kHighBase} + FlashImage::kHighSize})
            if (edge > address && edge < next) next = edge;
        const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(next - address, data.size()));
        if (!StoreRecord(options, static_cast<std::uint32_t>(address), data.first(part), number, stored, counted))
            return false;
        address += part;
        data = data.subspan(part);
    }
    return true;
}

bool SRecordLoader::Recognizes(std::string_view first_line) const {
    return !first_line.empty() && first_line[0] == 'S';
}

LoadResult SRecordLoader::Decode(ProgramInput& input, const LoadOptions& options) const {
    LineSource& lines = input.Lines();
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

LoadResult IntelHexLoader::Decode(ProgramInput& input, const LoadOptions& options) const {
    LineSource& lines = input.Lines();
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

bool ElfLoader::Recognizes(std::string_view first_line) const {
    return HasElfMagic({reinterpret_cast<const std::uint8_t*>(first_line.data()), first_line.size()});
}

LoadResult ElfLoader::Decode(ProgramInput& input, const LoadOptions& options) const {
    std::span<const std::uint8_t> bytes;
    if (!input.Bytes(bytes)) return Failure(LoadStatus::kOpenError);
    const ElfContents elf = ReadElf(bytes);
    if (elf.error != ElfError::kNone) return ElfFailure(elf.error, elf.segment);
    LoadResult counted;
    StoredRanges stored;
    for (const ElfSegment& segment : elf.segments) {
        if (!StoreRun(options, segment.address, segment.data, segment.index, stored, counted))
            return AddressFailure(ElfFailure(ElfError::kAddress, segment.index), counted);
    }
    return counted;
}

LoadResult BinaryLoader::Decode(ProgramInput& input, const LoadOptions& options) const {
    std::span<const std::uint8_t> bytes;
    if (!input.Bytes(bytes)) return Failure(LoadStatus::kOpenError);
    if (!options.binary_start) return BinaryFailure(BinaryError::kNoStartAddress);
    LoadResult counted;
    StoredRanges stored;
    if (!StoreRun(options, *options.binary_start, bytes, 0, stored, counted))
        return AddressFailure(BinaryFailure(BinaryError::kAddress), counted);
    return counted;
}

bool IsBinaryFileName(std::string_view path) {
    if (path.size() < 4) return false;
    const std::string_view ext = path.substr(path.size() - 4);
    return ext[0] == '.' && (ext[1] | 0x20) == 'b' && (ext[2] | 0x20) == 'i' && (ext[3] | 0x20) == 'n';
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t max) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else return std::nullopt;
        // Checked before the step, so that it cannot overflow.
        if (value > (max - digit) / base) return std::nullopt;
        value = value * base + digit;
    }
    return value;
}

std::optional<std::uint32_t> ParseStartAddress(std::string_view text) {
    const auto value = ParseUnsigned(text, 0xFFFFFFFF);
    if (!value) return std::nullopt;
    return static_cast<std::uint32_t>(*value);
}

std::optional<ProgramFormat> ParseProgramFormat(std::string_view word) {
    if (word == "srec") return ProgramFormat::kSRecord;
    if (word == "ihex") return ProgramFormat::kIntelHex;
    if (word == "elf") return ProgramFormat::kElf;
    if (word == "bin") return ProgramFormat::kBinary;
    return std::nullopt;
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

LoadResult LoadProgram(std::span<const std::uint8_t> bytes, const LoadOptions& options) {
    options.image.Fill(options.fill);
    if (const ProgramLoader* loader = LoaderBeforeLines({}, bytes, options); loader && loader->ReadsBytes())
        return DecodeBytes(*loader, bytes, options);
    TextLineSource lines(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return LoadFilledImage(lines, options);
}

LoadResult LoadProgram(const std::string& path, const LoadOptions& options) {
    options.image.Fill(options.fill);
    sys::FilePtr file = sys::OpenRegularFile(path);
    if (!file) return Failure(LoadStatus::kOpenError);
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxProgramFileSize) {
        LoadResult refused = Failure(LoadStatus::kOpenError);
        refused.refused_size = size;
        return refused;
    }
    // The first bytes may name the format (ELF); a text file is then read
    // line by line from its beginning.
    std::uint8_t head[4];
    const std::size_t got = std::fread(head, 1, sizeof head, file.get());
    if (std::ferror(file.get())) return Failure(LoadStatus::kOpenError);
    const ProgramLoader* loader = LoaderBeforeLines(path, {head, got}, options);
    if (loader && loader->ReadsBytes()) {
        std::vector<std::uint8_t> bytes(head, head + got);
        bytes.reserve(ec ? got : static_cast<std::size_t>(size));
        std::vector<std::uint8_t> chunk(64 * 1024);
        for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0;) {
            bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
            if (bytes.size() > kMaxProgramFileSize) {
                LoadResult refused = Failure(LoadStatus::kOpenError);
                refused.refused_size = bytes.size();
                return refused;
            }
        }
        if (std::ferror(file.get())) return Failure(LoadStatus::kOpenError);
        return DecodeBytes(*loader, bytes, options);
    }
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) return Failure(LoadStatus::kOpenError);
    LineReader reader(std::move(file));
    FileLineSource lines(reader);
    return LoadFilledImage(lines, options);
}

}  // namespace mirelle::hexfile
