#include "platform/textfile.h"

#include <cstdio>

namespace mirelle {

namespace {
constexpr std::size_t kChunk = 64 * 1024;
}  // namespace

std::FILE* OpenRegularFile(const std::string& path) { return sys::OpenRegularFile(path).release(); }

// A folder or a FIFO is no file: it does not open.
LineReader::LineReader(const std::string& path) : file_(OpenRegularFile(path)) {}

bool LineReader::Next(std::string& line) {
    if (!file_) return false;
    // Lines of any length stay whole, embedded NUL bytes included.
    line.clear();
    for (;;) {
        const std::size_t end = buffer_.find('\n', pos_);
        if (end != std::string::npos) {
            line.append(buffer_, pos_, end - pos_ + 1);
            pos_ = end + 1;
            break;
        }
        line.append(buffer_, pos_, std::string::npos);
        buffer_.clear();
        pos_ = 0;
        if (at_end_) {
            if (line.empty()) return false;
            break;  // a last line without an end
        }
        buffer_.resize(kChunk);
        const std::size_t n = std::fread(buffer_.data(), 1, kChunk, file_.get());
        buffer_.resize(n);
        if (n < kChunk) {
            at_end_ = true;
            if (std::ferror(file_.get())) {
                failed_ = true;
                return false;
            }
        }
    }
    // Only CR LF ends a line with a CR; a lone CR at the very end stays.
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r') line.pop_back();
    }
    ++line_number_;
    return true;
}

TextWriter::TextWriter(const std::string& path) : file_(sys::OpenFile(path, "wb")) {}

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
