// A file written under a temporary name in the folder of its target and
// renamed over the target only when it is complete. Until then an existing
// file of that name keeps its bytes: a write that fails half way, or is
// abandoned, removes the temporary file and nothing else.
#pragma once

#include <string>

namespace mirelle {

class ReplacingFile {
public:
    enum class Error {
        kNone,
        kOpen,      // the target cannot be written, or no file can be made beside it
        kDiskFull,  // no space left on the device
        kWrite,     // any other failure of writing, closing or renaming
    };

    // Creates the temporary file (with the target's permissions when the
    // target exists). A target that exists and may not be written is refused.
    explicit ReplacingFile(std::string target);
    ~ReplacingFile();  // discards what was not committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Writes the bytes as they are; false on failure (see LastError).
    bool Write(const std::string& bytes);
    // Puts the complete file on disk and renames it over the target; on
    // failure the temporary file is removed and the target left alone.
    bool Commit();
    // Removes the temporary file; the target is left alone.
    void Discard();
    Error LastError() const { return error_; }
    const std::string& TemporaryPath() const { return temporary_; }

private:
    void Fail(int error_number);

    std::string target_;
    std::string temporary_;
    int fd_ = -1;
    Error error_ = Error::kNone;
};

}  // namespace mirelle
