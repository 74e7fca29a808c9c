#include "hexfile/program_file.h"

#include "hexfile/intel_hex.h"
#include "hexfile/srecord.h"
#include "platform/textfile.h"

#include <cstdlib>
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
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t at = address + static_cast<std::uint32_t>(i);
        bool inside = false;
        for (const FlashArea& area : target.areas) inside = inside || (at >= area.start && at <= area.end);
        if (inside) {
            ++result.bytes_in_flash;
        } else {
            ++result.bytes_outside;
            if (!result.first_outside) result.first_outside = at;
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
    return loader->Decode(all, options);
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

bool ProgramLoader::StoreRecord(const LoadOptions& options, std::uint32_t address,
                                std::span<const std::uint8_t> data, LoadResult& counted) {
    const ImageTarget& target = options.target;
    if (options.image.Store(address, data, target.start_address, target.skip_halfword) != StoreOutcome::kStored)
        return false;
    CountRecord(counted, target, address, data.size());
    return true;
}

bool SRecordLoader::Recognizes(std::string_view first_line) const {
    return !first_line.empty() && first_line[0] == 'S';
}

LoadResult SRecordLoader::Decode(LineSource& lines, const LoadOptions& options) const {
    LoadResult counted;
    std::string line;
    int lines_read = 0;
    for (int line_number = 1; lines.Next(line); ++line_number) {
        lines_read = line_number;
        const SRecordLine record = DecodeSRecord(line);
        if (record.kind == SRecordLine::Kind::kSkipped) continue;
        if (record.kind == SRecordLine::Kind::kError) return SRecordFailure(record.error, line_number);
        if (!StoreRecord(options, record.address, record.Data(), counted))
            return SRecordFailure(SRecordError::kAddress, line_number);
    }
    // A read that failed part way is no end of the file: the image is incomplete.
    if (lines.Failed()) return SRecordFailure(SRecordError::kFile, LastLineNumber(lines_read));
    return counted;
}

bool IntelHexLoader::Recognizes(std::string_view first_line) const {
    return !first_line.empty() && first_line[0] == ':';
}

LoadResult IntelHexLoader::Decode(LineSource& lines, const LoadOptions& options) const {
    LoadResult counted;
    std::string line;
    std::uint32_t base = 0;
    int lines_read = 0;
    for (int line_number = 1; lines.Next(line); ++line_number) {
        lines_read = line_number;
        const IntelHexLine record = DecodeIntelHexLine(line, base);
        switch (record.kind) {
            case IntelHexLine::Kind::kSkipped: continue;
            case IntelHexLine::Kind::kEnd: return counted;
            case IntelHexLine::Kind::kError: return IntelHexFailure(record.error, line_number);
            case IntelHexLine::Kind::kData: break;
        }
        if (!StoreRecord(options, record.address, record.Data(), counted))
            return IntelHexFailure(IntelHexError::kAddress, line_number);
    }
    if (lines.Failed()) return IntelHexFailure(IntelHexError::kFile, LastLineNumber(lines_read));
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
    FileLineSource lines(reader);
    return LoadFilledImage(lines, options);
}

}  // namespace mirelle::hexfile
