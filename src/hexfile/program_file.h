// Loading a program file into the flash image. Each format has a loader of
// its own (ProgramLoader): the format is given by the caller or decided by the
// file's first line (':' Intel HEX, 'S' S-record), and its loader then reads
// the file line by line from its first line, counts physical lines from 1
// (empty lines are skipped but counted), stores every data record with the
// image's storing rule and stops at the first line it cannot accept. Reading
// streams: only the image and one line are held.
//
// Nothing here has words, shows or logs anything: a load returns a typed
// LoadResult; texts/program_load_texts.h words it and says where a failure is
// to be told.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hexfile/flash_image.h"

namespace mirelle {
class LineReader;
}  // namespace mirelle

namespace mirelle::hexfile {

// A source of text lines, each without its end-of-line characters.
class LineSource {
public:
    virtual ~LineSource() = default;
    // The next line; false at the end of the text.
    virtual bool Next(std::string& line) = 0;
    // True when Next ended because reading failed, not at the end.
    virtual bool Failed() const { return false; }
};

// The lines of a text held in memory, split as text files are read: a line
// ends at LF, a CR just before the LF is dropped, a last line without LF is
// still a line, and an empty text has no line.
class TextLineSource : public LineSource {
public:
    explicit TextLineSource(std::string_view text) : rest_(text) {}
    bool Next(std::string& line) override;

private:
    std::string_view rest_;
    bool done_ = false;
};

// The lines of an open text file.
class FileLineSource : public LineSource {
public:
    explicit FileLineSource(LineReader& reader) : reader_(reader) {}
    bool Next(std::string& line) override;
    bool Failed() const override;

private:
    LineReader& reader_;
};

// A line that has been read already, then the rest of a source: the format
// detection reads the first line, and the decoder is given the whole file
// from its first line without opening it twice.
class ReplayFirstLine : public LineSource {
public:
    ReplayFirstLine(std::string first, LineSource& rest) : first_(std::move(first)), rest_(rest) {}
    bool Next(std::string& line) override;
    bool Failed() const override { return rest_.Failed(); }

private:
    std::string first_;
    LineSource& rest_;
    bool pending_ = true;
};

// One flash area of the chip, both ends inclusive.
struct FlashArea {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    // The last address that the area's transfer sends: the end of its last
    // whole block, which may reach past `end`. At or below `end`: nothing
    // past the area is sent.
    std::uint32_t sent_end = 0;
};

// Where the data of a program file may go.
struct ImageTarget {
    std::uint32_t start_address = 0;  // start of the first flash area
    // Offset into the low window (bit 0 clear) whose two bytes are never
    // written; none when the chip has no such halfword.
    std::optional<std::uint32_t> skip_halfword = std::nullopt;
    // The chip's flash areas. When given, the decoders count the data bytes
    // that fall into them and those that fall outside every one (see
    // LoadResult); the image is stored the same either way.
    std::vector<FlashArea> areas = {};
};

enum class ProgramFormat { kSRecord, kIntelHex };

enum class LoadStatus {
    kOk,
    kOpenError,      // the file did not open, or its first read failed
    kEmptyFile,      // the file has no line
    kUnknownFormat,  // the first line announces no format
    kSRecordError,   // the S-record decoder refused a line
    kIntelHexError,  // the Intel HEX decoder refused a line
    kNoFlashData,    // decoded well, but no byte for any flash area (the caller's check)
};

// Why a data record was refused (a decoder's address error).
enum class Refusal {
    kNone,
    kBelowStart,    // its first address lies below the first flash area's start
    kOutsideImage,  // the image has no room for it (see flash_image.h)
};

// What a load took as it is, but a user should hear of.
struct LoadNotes {
    int overlap_line = 0;        // the first line whose data replaced data of an earlier line
    bool no_terminator = false;  // no S7/S8/S9, or no Intel HEX end record
    int count_line = 0;          // an S5 line whose count differs from the data records before it
    std::uint32_t count_claimed = 0, count_found = 0;
    int after_end_line = 0;  // the first line after the Intel HEX end record (never read as data)
};

struct LoadResult {
    LoadStatus status = LoadStatus::kOk;
    ProgramFormat format = ProgramFormat::kSRecord;  // the loader that decoded the file
    int decoder_error = 0;  // the decoder's error code (1..4) for decoder failures
    int line_number = 0;    // the failing line, for decoder failures
    // With the target's areas given: the data bytes that lie in a flash area,
    // those that lie outside every area, and the first address (in file
    // order) of the latter.
    std::uint64_t bytes_in_flash = 0;
    std::uint64_t bytes_outside = 0;
    std::optional<std::uint32_t> first_outside = std::nullopt;
    std::optional<std::uint32_t> last_outside = std::nullopt;  // the highest such address
    // Bytes outside every area that an area's last block still holds: they
    // are sent, and programmed, with that block. Not counted in bytes_outside.
    std::uint64_t bytes_sent_outside = 0;
    std::optional<std::uint32_t> first_sent_outside = std::nullopt, last_sent_outside = std::nullopt;
    LoadNotes notes = {};
    // For a decoder's address error: the refused record's address and why.
    Refusal refusal = Refusal::kNone;
    std::uint32_t refused_address = 0;
    // A file larger than kMaxProgramFileSize: its size (an open error; the
    // file is not read, since one line of it would be held whole).
    std::uint64_t refused_size = 0;

    bool ok() const { return status == LoadStatus::kOk; }
};

// How to load a program file, and where to.
struct LoadOptions {
    FlashImage& image;  // filled with `fill` first, then given the file's data
    ImageTarget target = {};
    std::uint8_t fill = 0xFF;
    // The file's format; none: the first line decides.
    std::optional<ProgramFormat> format = std::nullopt;
};

// The loader of one program file format.
class ProgramLoader {
public:
    virtual ~ProgramLoader() = default;
    virtual ProgramFormat Format() const = 0;
    // True when a file whose first line is `first_line` is of this format.
    virtual bool Recognizes(std::string_view first_line) const = 0;
    // Decodes the file that `lines` reads, from its first line, into the
    // options' image, which has been filled already. Records stored before a
    // failing line stay.
    virtual LoadResult Decode(LineSource& lines, const LoadOptions& options) const = 0;

protected:
    // The address ranges stored so far, to notice a record that replaces
    // data of an earlier one.
    class StoredRanges {
    public:
        // Adds [first, first + count); true when it overlaps a range added before.
        bool Add(std::uint64_t first, std::uint64_t count);

    private:
        std::map<std::uint64_t, std::uint64_t> ranges_;  // start -> end (exclusive), disjoint
    };

    // Stores one data record (from line `line_number`) as the image's storing
    // rule says and counts its bytes into `counted`; false when the image
    // refused it, with the refusal in `counted`.
    static bool StoreRecord(const LoadOptions& options, std::uint32_t address, std::span<const std::uint8_t> data,
                            int line_number, StoredRanges& stored, LoadResult& counted);
};

class SRecordLoader final : public ProgramLoader {
public:
    ProgramFormat Format() const override { return ProgramFormat::kSRecord; }
    bool Recognizes(std::string_view first_line) const override;
    LoadResult Decode(LineSource& lines, const LoadOptions& options) const override;
};

// Stops storing at the end record (type 01); what follows it is never
// decoded, only noted when it is there.
class IntelHexLoader final : public ProgramLoader {
public:
    ProgramFormat Format() const override { return ProgramFormat::kIntelHex; }
    bool Recognizes(std::string_view first_line) const override;
    LoadResult Decode(LineSource& lines, const LoadOptions& options) const override;
};

// The loader of `format`.
const ProgramLoader& LoaderOf(ProgramFormat format);

// The format a first line announces, or none.
std::optional<ProgramFormat> DetectProgramFormat(std::string_view first_line);

// The largest program file that is read: the image holds 6 MiB, which even
// as one-byte records with comments between them comes nowhere near it.
inline constexpr std::uint64_t kMaxProgramFileSize = std::uint64_t{256} << 20;

// A whole load of the file at `path` (read as text): fills the image, then
// decodes the file with the loader of its format. Even a file that cannot be
// opened leaves the image at the fill. A file whose first read fails, or one
// larger than kMaxProgramFileSize, is an open error, not an empty file.
LoadResult LoadProgram(const std::string& path, const LoadOptions& options);
// The same for a file given as its lines.
LoadResult LoadProgram(LineSource& lines, const LoadOptions& options);

}  // namespace mirelle::hexfile
