// Loading a program file into the flash image. The format is decided by the
// first character of the file's first line (':' Intel HEX, 'S' S-record);
// each decoder then reads the file line by line from its first line, counts
// physical lines from 1 (empty lines are skipped but counted), stores every
// data record with the image's storing rule and stops at the first line it
// cannot accept. Reading streams: only the image and one line are held.
//
// Nothing here shows or logs anything: a load returns a LoadResult, and
// PlanLoadReport says where its failure is to be reported.
#pragma once

#include <cstdint>
#include <optional>
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

// The format a first line announces, or none.
std::optional<ProgramFormat> DetectProgramFormat(std::string_view first_line);

enum class LoadStatus {
    kOk,
    kOpenError,      // "file open error"
    kEmptyFile,      // "This file is NULL"
    kUnknownFormat,  // "auto-format detector error"
    kSRecordError,   // the S-record decoder's message
    kIntelHexError,  // the Intel HEX decoder's message
    kNoFlashData,    // "No data for the flash of TARGET in this file"
};

struct LoadResult {
    LoadStatus status = LoadStatus::kOk;
    int decoder_error = 0;  // the decoder's error code (1..4) for decoder failures
    int line_number = 0;    // the failing line, for decoder failures
    std::string message;    // e.g. "file open error", "decode error in 7"
    std::string caption;    // "HexFile decoder", "S format decoder" or "IntelHex format decoder"
    // With the target's areas given: the data bytes that lie in a flash area,
    // those that lie outside every area, and the first address (in file
    // order) of the latter.
    std::uint64_t bytes_in_flash = 0;
    std::uint64_t bytes_outside = 0;
    std::optional<std::uint32_t> first_outside;

    bool ok() const { return status == LoadStatus::kOk; }
};

// The result of one of the loader's own failures (open error, empty file,
// unknown format) with its message and the caption "HexFile decoder".
LoadResult LoaderFailure(LoadStatus status);

// The failure of a load that decoded well but holds no byte for any flash
// area of `target_name`: programming it would leave the chip erased.
LoadResult NoFlashDataFailure(const std::string& target_name);

// The warning for data outside every flash area (empty when there is none):
// "N bytes of this file lie outside the flash of TARGET (first at
// 0xADDRESS); they are not programmed". The unattended run prints it on
// standard error; any other command-line front end can do the same.
std::string OutsideDataWarning(const LoadResult& result, const std::string& target_name);

// The file loops of the two decoders over `lines` from its first line.
// They do not fill the image; records stored before a failing line stay.
LoadResult DecodeSRecordLines(FlashImage& image, LineSource& lines, const ImageTarget& target);
LoadResult DecodeIntelHexLines(FlashImage& image, LineSource& lines, const ImageTarget& target);

// A whole load from text lines: fills the image with `fill`, detects the
// format from the first line and runs its decoder.
LoadResult LoadProgramLines(FlashImage& image, LineSource& lines, const ImageTarget& target,
                            std::uint8_t fill);

// A whole load of the file at `path` (read as text). Fills the image first,
// so even a file that cannot be opened leaves the image at `fill`.
LoadResult LoadProgramImage(FlashImage& image, const std::string& path, const ImageTarget& target,
                            std::uint8_t fill);

// What the window has to do with a load's result.
struct LoadReport {
    bool show_box = false;  // a modal OK box, owned by the progress window if one exists
    std::string box_text;
    std::string box_caption;
    bool write_log = false;  // one result-log entry
    int log_code = 0;
    std::string log_text;
};

// `command_line`: the program was started with arguments. `progress_shown`:
// a progress window exists and progress display is on.
LoadReport PlanLoadReport(const LoadResult& result, bool command_line, bool progress_shown);

}  // namespace mirelle::hexfile
