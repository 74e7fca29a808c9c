// Text files as the program has always stored them: lines end with CR LF on
// disk. Reading accepts LF or CR LF; writing turns every LF into CR LF.
#pragma once

#include <string>
#include <utility>

#include "platform/file.h"

namespace mirelle {

// Opens `path` for reading when it is a regular file; null for anything
// else (a folder, a FIFO, a device), without ever waiting for a writer.
std::FILE* OpenRegularFile(const std::string& path);

// Reads a regular file line by line (anything else does not open). A line
// ends at LF (a CR right before it is dropped);
// a last line without an end still counts. Lines may be of any length.
class LineReader {
public:
    explicit LineReader(const std::string& path);
    // Reads an open file from where it stands.
    explicit LineReader(sys::FilePtr file) : file_(std::move(file)) {}
    bool IsOpen() const { return file_ != nullptr; }
    // The next line without its end; false at the end of the file.
    bool Next(std::string& line);
    // The number of the line that Next returned last, counted from 1.
    int LineNumber() const { return line_number_; }
    // True when Next ended because reading failed, not at the end of the file.
    bool Failed() const { return failed_; }

private:
    sys::FilePtr file_;
    std::string buffer_;  // read ahead, from pos_ on not yet returned
    std::size_t pos_ = 0;
    bool at_end_ = false;
    int line_number_ = 0;
    bool failed_ = false;
};

// Writes text in text mode: every LF is stored as CR LF (so "\r\n" becomes
// CR CR LF, as it always has). The file is created or truncated.
class TextWriter {
public:
    explicit TextWriter(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    bool Write(const std::string& text);
    // Flushes and closes; false when anything could not be written.
    bool Close();

private:
    sys::FilePtr file_;
    bool ok_ = true;
};

// Creates or replaces `path` with `text` written in text mode.
bool WriteTextFile(const std::string& path, const std::string& text);

}  // namespace mirelle
