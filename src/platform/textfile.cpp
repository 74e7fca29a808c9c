#include "platform/textfile.h"

#include <cstdlib>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace mirelle {

std::FILE* OpenRegularFile(const std::string& path) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer for ever; the
    // type is then checked on what was opened, so nothing can swap it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) ::close(fd);
    return file;
}

// A folder or a FIFO is no file: it does not open.
LineReader::LineReader(const std::string& path) : file_(OpenRegularFile(path)) {}

bool LineReader::Next(std::string& line) {
    if (!file_) return false;
    // getline keeps lines of any length whole and counts embedded NUL bytes.
    char* raw = nullptr;
    std::size_t capacity = 0;
    const ssize_t n = ::getline(&raw, &capacity, file_.get());
    std::unique_ptr<char, decltype(&std::free)> owner(raw, &std::free);
    if (n < 0) {
        failed_ = std::ferror(file_.get()) != 0;
        return false;
    }
    line.assign(raw, static_cast<std::size_t>(n));
    // Only CR LF ends a line with a CR; a lone CR at the very end stays.
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    ++line_number_;
    return true;
}

TextWriter::TextWriter(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {}

bool TextWriter::Write(const std::string& text) {
    if (!file_) return false;
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    if (std::fwrite(out.data(), 1, out.size(), file_.get()) != out.size()) ok_ = false;
    return ok_;
}

bool TextWriter::Close() {
    if (!file_) return false;
    if (std::fflush(file_.get()) != 0) ok_ = false;
    if (std::fclose(file_.release()) != 0) ok_ = false;
    return ok_;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    TextWriter w(path);
    if (!w.IsOpen()) return false;
    w.Write(text);
    return w.Close();
}

}  // namespace mirelle
