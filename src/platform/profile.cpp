#include "platform/profile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/file.h"
#include "platform/system.h"

namespace mirelle::profile {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

// One physical line of the file: its text without the line end, and the end
// as it stood ("\r\n", "\n" or "" for a last line without one).
struct Line {
    std::string text;
    std::string end;
};

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        Line line;
        if (nl == std::string::npos) {
            line.text = text.substr(pos);
            pos = text.size();
        } else {
            line.text = text.substr(pos, nl - pos);
            line.end = "\n";
            pos = nl + 1;
        }
        if (!line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            line.end = "\r" + line.end;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

enum class Kind { Other, Section, Key };

struct Parsed {
    Kind kind = Kind::Other;
    std::string name;   // section name or key name, trimmed
    std::string value;  // key value, trimmed and unquoted
};

Parsed ParseLine(const std::string& raw) {
    Parsed p;
    const std::string t = Trim(raw);
    if (t.empty() || t[0] == ';') return p;
    if (t[0] == '[') {
        std::size_t close = t.find(']', 1);
        p.kind = Kind::Section;
        p.name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        return p;
    }
    std::size_t eq = t.find('=');
    if (eq == std::string::npos) return p;
    p.kind = Kind::Key;
    p.name = Trim(t.substr(0, eq));
    p.value = Trim(t.substr(eq + 1));
    if (p.value.size() >= 2) {
        const char q = p.value.front();
        if ((q == '"' || q == '\'') && p.value.back() == q) p.value = p.value.substr(1, p.value.size() - 2);
    }
    return p;
}

// Values are stored on one line; a line end inside one would split the entry.
std::string OneLine(const std::string& s) {
    std::string r = s;
    for (char& c : r)
        if (c == '\r' || c == '\n') c = ' ';
    return r;
}

// Finds the value of `key` in the first section named `section`.
bool FindValue(const std::string& text, const std::string& section, const std::string& key,
               std::string& value) {
    const std::string want_section = Trim(section);
    const std::string want_key = Trim(key);
    bool in_section = false;
    bool seen_section = false;
    for (const Line& line : SplitLines(text)) {
        Parsed p = ParseLine(line.text);
        if (p.kind == Kind::Section) {
            if (in_section) return false;  // the first matching section has ended
            if (!seen_section && SameName(p.name, want_section)) in_section = seen_section = true;
        } else if (p.kind == Kind::Key && in_section && SameName(p.name, want_key)) {
            value = p.value;
            return true;
        }
    }
    return false;
}

}  // namespace

std::string GetStringFromText(const std::string& text, const std::string& section, const std::string& key,
                              const std::string& def, std::size_t buffer_size) {
    std::string value;
    if (!FindValue(text, section, key, value)) value = def;
    const std::size_t limit = buffer_size == 0 ? 0 : buffer_size - 1;
    if (value.size() > limit) value.resize(limit);
    return value;
}

std::vector<std::string> GetSectionNamesFromText(const std::string& text) {
    std::vector<std::string> names;
    for (const Line& line : SplitLines(text)) {
        Parsed p = ParseLine(line.text);
        if (p.kind != Kind::Section) continue;
        bool known = false;
        for (const std::string& n : names)
            if (SameName(n, p.name)) known = true;
        if (!known) names.push_back(p.name);
    }
    return names;
}

std::string WriteStringToText(const std::string& text, const std::string& section, const std::string& key,
                              const std::string& value) {
    const std::string want_section = Trim(section);
    const std::string want_key = Trim(key);
    const std::string entry = want_key + "=" + OneLine(value);
    std::vector<Line> lines = SplitLines(text);

    std::size_t section_line = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        Parsed p = ParseLine(lines[i].text);
        if (p.kind == Kind::Section && SameName(p.name, want_section)) {
            section_line = i;
            break;
        }
    }

    auto join = [&lines]() {
        std::string out;
        for (const Line& l : lines) out += l.text + l.end;
        return out;
    };

    if (section_line == lines.size()) {
        std::string out = text;
        if (!out.empty() && out.back() != '\n') out += "\r\n";
        out += "[" + want_section + "]\r\n" + entry + "\r\n";
        return out;
    }

    std::size_t last_content = section_line;
    for (std::size_t i = section_line + 1; i < lines.size(); ++i) {
        Parsed p = ParseLine(lines[i].text);
        if (p.kind == Kind::Section) break;
        if (p.kind == Kind::Key && SameName(p.name, want_key)) {
            lines[i].text = entry;
            return join();
        }
        if (!Trim(lines[i].text).empty()) last_content = i;
    }
    // A last line without a line end (or ending in a lone CR) gets one, so the
    // new entry starts a line of its own.
    if (lines[last_content].end.find('\n') == std::string::npos) lines[last_content].end = "\r\n";
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_content) + 1, Line{entry, "\r\n"});
    return join();
}

std::int32_t ParseProfileInt(const std::string& value) {
    std::size_t i = 0;
    while (i < value.size() && IsBlank(value[i])) ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    unsigned base = 10;
    if (i + 1 < value.size() && value[i] == '0' && (value[i + 1] == 'x' || value[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    std::uint32_t acc = 0;  // wraps like a 32-bit register
    for (; i < value.size(); ++i) {
        const char c = value[i];
        unsigned digit;
        if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else break;
        acc = acc * base + digit;
    }
    if (negative) acc = 0u - acc;
    return static_cast<std::int32_t>(acc);
}

namespace {

std::string LowerName(const std::string& s) {
    std::string r = Trim(s);
    for (char& c : r) c = LowerAscii(c);
    return r;
}

// One file parsed once: the section names in file order and, for the first
// section of each name, the first value of each key, both under their
// lower-case names. A lookup in it answers exactly as FindValue on the text.
struct ParsedFile {
    std::vector<std::string> section_names;
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> sections;

    explicit ParsedFile(const std::string& text) {
        std::unordered_map<std::string, std::string>* current = nullptr;
        for (const Line& line : SplitLines(text)) {
            Parsed p = ParseLine(line.text);
            if (p.kind == Kind::Section) {
                auto [it, fresh] = sections.try_emplace(LowerName(p.name));
                // A later section of a name already seen is never read.
                current = fresh ? &it->second : nullptr;
                if (fresh) section_names.push_back(p.name);
            } else if (p.kind == Kind::Key && current) {
                current->try_emplace(LowerName(p.name), std::move(p.value));
            }
        }
    }

    const std::string* Find(const std::string& section, const std::string& key) const {
        auto s = sections.find(LowerName(section));
        if (s == sections.end()) return nullptr;
        auto k = s->second.find(LowerName(key));
        return k == s->second.end() ? nullptr : &k->second;
    }
};

using sys::FileStamp;

// Every profile read used to parse the whole file again, which made reading
// a chip list of thousands of sections take minutes. The parsed form of each
// file is kept until the file changes on disk or is written here.
class ParsedFileCache {
public:
    std::shared_ptr<const ParsedFile> Get(const std::string& path) {
        FileStamp stamp;
        if (!sys::StampOfFile(path, stamp)) {
            Forget(path);
            return Empty();
        }
        {
            std::lock_guard lock(mutex_);
            auto it = entries_.find(path);
            if (it != entries_.end() && it->second.stamp == stamp && !it->second.racy) return it->second.parsed;
        }
        // Read through the descriptor the stamp is taken from, so the stamp
        // kept belongs to the text parsed.
        std::string text;
        FileStamp read_stamp;
        if (!ReadWholeFileStamped(path, text, read_stamp)) {
            Forget(path);
            return Empty();
        }
        auto parsed = std::make_shared<const ParsedFile>(text);
        std::lock_guard lock(mutex_);
        entries_[path] = Entry{read_stamp, parsed, Racy(read_stamp)};
        return parsed;
    }

    void Forget(const std::string& path) {
        std::lock_guard lock(mutex_);
        entries_.erase(path);
    }

private:
    struct Entry {
        FileStamp stamp;
        std::shared_ptr<const ParsedFile> parsed;
        bool racy;
    };

    // File times advance in steps (a clock tick, or whole seconds on some
    // file systems), so a file rewritten in place with the same size right
    // after it was read can keep its stamp. A file changed less than this
    // long ago is read again on every use until its stamp has aged.
    static bool Racy(const FileStamp& stamp) {
        constexpr std::int64_t kSettleNs = 2'000'000'000;
        return sys::FileClockNow() - std::max(stamp.modified_ns, stamp.changed_ns) < kSettleNs;
    }

    static std::shared_ptr<const ParsedFile> Empty() {
        static const auto empty = std::make_shared<const ParsedFile>(std::string());
        return empty;
    }

    static bool ReadWholeFileStamped(const std::string& path, std::string& out, FileStamp& stamp) {
        out.clear();
        sys::FilePtr file = sys::OpenRegularFile(path);
        if (!file) return false;
        std::FILE* f = file.get();
        if (!sys::StampOfOpenFile(f, stamp) || !sys::ReadRestOfFile(f, out)) return false;
        // A file that changed while it was read is not kept under the old stamp.
        FileStamp after_stamp;
        if (!sys::StampOfOpenFile(f, after_stamp) || !(after_stamp == stamp)) stamp = FileStamp{};
        return true;
    }

    std::mutex mutex_;
    std::map<std::string, Entry> entries_;
};

ParsedFileCache& Cache() {
    static ParsedFileCache cache;
    return cache;
}

}  // namespace

std::string GetString(const std::string& path, const std::string& section, const std::string& key,
                      const std::string& def, std::size_t buffer_size) {
    // A missing or unreadable file reads as empty.
    const auto parsed = Cache().Get(path);
    const std::string* found = parsed->Find(section, key);
    std::string value = found ? *found : def;
    const std::size_t limit = buffer_size == 0 ? 0 : buffer_size - 1;
    if (value.size() > limit) value.resize(limit);
    return value;
}

std::int32_t GetInt(const std::string& path, const std::string& section, const std::string& key,
                    std::int32_t def) {
    const auto parsed = Cache().Get(path);
    const std::string* found = parsed->Find(section, key);
    if (!found || found->empty()) return def;
    return ParseProfileInt(*found);
}

std::vector<std::string> GetSectionNames(const std::string& path) { return Cache().Get(path)->section_names; }

std::string DeleteKeyFromText(const std::string& text, const std::string& section, const std::string& key) {
    const std::string want_section = Trim(section);
    const std::string want_key = Trim(key);
    std::vector<Line> lines = SplitLines(text);
    bool in_section = false, removed = false;
    std::string out;
    for (const Line& l : lines) {
        const Parsed p = ParseLine(l.text);
        if (p.kind == Kind::Section) in_section = SameName(p.name, want_section);
        if (in_section && p.kind == Kind::Key && SameName(p.name, want_key)) {
            removed = true;
            continue;
        }
        out += l.text + l.end;
    }
    return removed ? out : text;
}

namespace {

// Replaces the file's text by change(text), creating the file when missing.
bool RewriteFile(const std::string& path, const std::function<std::string(const std::string&)>& change) {
    // Whatever happens below, the next read takes the file from disk.
    Cache().Forget(path);
    std::string text;
    const bool exists = sys::FileExists(path);
    if (exists && !sys::ReadWholeFile(path, text)) return false;
    // Written beside the file, then put in its place: an interrupted write
    // never leaves a half-written settings file behind.
    return sys::ReplaceFileContents(path, change(text));
}

}  // namespace

bool WriteString(const std::string& path, const std::string& section, const std::string& key,
                 const std::string& value) {
    return RewriteFile(path, [&](const std::string& text) { return WriteStringToText(text, section, key, value); });
}

bool DeleteKey(const std::string& path, const std::string& section, const std::string& key) {
    if (!sys::FileExists(path)) return true;  // nothing to remove
    return RewriteFile(path, [&](const std::string& text) { return DeleteKeyFromText(text, section, key); });
}

}  // namespace mirelle::profile
