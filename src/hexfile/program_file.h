// Loading a program file into the flash image. Each format has a loader of
// its own (ProgramLoader). The format is given by the caller, or a file named
// *.bin (any case) is a raw binary, or the file's first bytes decide: the ELF
// magic (0x7F 'E' 'L' 'F'), else the first line (':' Intel HEX, 'S'
// S-record).
//
// The text loaders read the file line by line from its first line, count
// physical lines from 1 (empty lines are skipped but counted), store every
// data record with the image's storing rule and stop at the first line they
// cannot accept. Their reading streams: only the image and one line are
// held. The ELF and binary loaders are given the file's bytes whole.
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
    // Address ranges (both ends inclusive) the caller wants to know whether
    // the file puts data into: LoadResult::watched_hits has bit i set when it
    // does into range i (the first 64 ranges).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> watched = {};
};

enum class ProgramFormat { kSRecord, kIntelHex, kElf, kBinary };

enum class LoadStatus {
    kOk,
    kOpenError,      // the file did not open, or its first read failed
    kEmptyFile,      // the file has no line
    kUnknownFormat,  // the first line announces no format
    kSRecordError,   // the S-record decoder refused a line
    kIntelHexError,  // the Intel HEX decoder refused a line
    kElfError,       // the ELF file is not loadable (decoder_error: an ElfError)
    kBinaryError,    // the raw binary has no start address or does not fit (decoder_error: a BinaryError)
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

// Why a raw binary was refused.
enum class BinaryError {
    kNone = 0,
    kNoStartAddress = 1,  // no start address was given for it
    kAddress = 2,         // its bytes do not fit the image from that address
};

struct LoadResult {
    LoadStatus status = LoadStatus::kOk;
    ProgramFormat format = ProgramFormat::kSRecord;  // the loader that decoded the file
    int decoder_error = 0;  // the decoder's error code for decoder failures
    // The failing line for the text decoders' failures; the program header
    // (from 1) for an ELF file's; 0 for a binary's.
    int line_number = 0;
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
    std::uint64_t watched_hits = 0;  // see ImageTarget::watched
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
    // The file's format; none: the file's name and first bytes decide.
    std::optional<ProgramFormat> format = std::nullopt;
    // The address of a raw binary's first byte; a binary without one is refused.
    std::optional<std::uint32_t> binary_start = std::nullopt;
};

// What a loader reads: the program file as text lines (the text formats) or
// as its bytes (the others).
class ProgramInput {
public:
    virtual ~ProgramInput() = default;
    // The file's lines from its first one.
    virtual LineSource& Lines() = 0;
    // The file's bytes, whole; false when they could not be read.
    virtual bool Bytes(std::span<const std::uint8_t>& bytes) = 0;
};

// The loader of one program file format.
class ProgramLoader {
public:
    virtual ~ProgramLoader() = default;
    virtual ProgramFormat Format() const = 0;
    // True when a file whose first line is `first_line` is of this format
    // (never for a format that its content does not tell).
    virtual bool Recognizes(std::string_view first_line) const = 0;
    // True when Decode reads the file's bytes rather than its lines.
    virtual bool ReadsBytes() const { return false; }
    // Decodes the file that `input` reads into the options' image, which has
    // been filled already. Records stored before a failure stay.
    virtual LoadResult Decode(ProgramInput& input, const LoadOptions& options) const = 0;

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
    // Stores a run of bytes of any length from `address` on, split where the
    // image's windows meet; false as StoreRecord, also for a run past 32 bits.
    static bool StoreRun(const LoadOptions& options, std::uint64_t address, std::span<const std::uint8_t> data,
                         int number, StoredRanges& stored, LoadResult& counted);
};

class SRecordLoader final : public ProgramLoader {
public:
    ProgramFormat Format() const override { return ProgramFormat::kSRecord; }
    bool Recognizes(std::string_view first_line) const override;
    LoadResult Decode(ProgramInput& input, const LoadOptions& options) const override;
};

// Stops storing at the end record (type 01); what follows it is never
// decoded, only noted when it is there.
class IntelHexLoader final : public ProgramLoader {
public:
    ProgramFormat Format() const override { return ProgramFormat::kIntelHex; }
    bool Recognizes(std::string_view first_line) const override;
    LoadResult Decode(ProgramInput& input, const LoadOptions& options) const override;
};

// The loadable segments of an ELF file (elf_file.h), in program header order;
// a later segment overwrites an earlier one where they overlap.
class ElfLoader final : public ProgramLoader {
public:
    ProgramFormat Format() const override { return ProgramFormat::kElf; }
    bool Recognizes(std::string_view first_line) const override;
    bool ReadsBytes() const override { return true; }
    LoadResult Decode(ProgramInput& input, const LoadOptions& options) const override;
};

// The file's bytes, all of them, from the options' binary start address on.
// Never chosen by content.
class BinaryLoader final : public ProgramLoader {
public:
    ProgramFormat Format() const override { return ProgramFormat::kBinary; }
    bool Recognizes(std::string_view) const override { return false; }
    bool ReadsBytes() const override { return true; }
    LoadResult Decode(ProgramInput& input, const LoadOptions& options) const override;
};

// True when `path` names a raw binary by its extension (".bin", any case).
bool IsBinaryFileName(std::string_view path);

// A number as users write it: hexadecimal after "0x" (or "0X"), else
// decimal; none for anything else or a value above `max`.
std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t max);

// A start address: ParseUnsigned up to 0xFFFFFFFF.
std::optional<std::uint32_t> ParseStartAddress(std::string_view text);

// A format as users name it: srec, ihex, elf or bin; none for anything else.
std::optional<ProgramFormat> ParseProgramFormat(std::string_view word);

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
// The same for a file given as its lines (the text formats only).
LoadResult LoadProgram(LineSource& lines, const LoadOptions& options);
// The same for a file held in memory: the format is the options' one, or the
// bytes decide as they do for a file not named *.bin.
LoadResult LoadProgram(std::span<const std::uint8_t> bytes, const LoadOptions& options);

}  // namespace mirelle::hexfile
