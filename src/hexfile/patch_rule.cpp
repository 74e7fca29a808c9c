#include "hexfile/patch_rule.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "hexfile/program_file.h"

namespace mirelle::hexfile {

namespace {

constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// The largest number `digits` digits of `base` can write (all of 64 bits
// when they can write more).
std::uint64_t LargestOfDigits(std::uint64_t base, int digits) {
    std::uint64_t value = 1;
    for (int i = 0; i < digits; ++i) {
        if (value > kMax64 / base) return kMax64;
        value *= base;
    }
    return value - 1;
}

bool IsText(PatchEncoding e) { return e == PatchEncoding::kDecimal || e == PatchEncoding::kHex; }

int DigitsOf(const PatchRule& rule) {
    if (rule.digits > 0) return rule.digits;
    return static_cast<int>(rule.length) - static_cast<int>(rule.prefix.size() + rule.suffix.size());
}

// The largest value the rule's encoding fits in its bytes.
std::uint64_t LargestFit(const PatchRule& rule) {
    switch (rule.encoding) {
        case PatchEncoding::kBinary: return rule.length >= 8 ? kMax64 : (std::uint64_t{1} << (8 * rule.length)) - 1;
        case PatchEncoding::kBcd: return LargestOfDigits(10, static_cast<int>(2 * std::min<std::uint32_t>(rule.length, 20)));
        case PatchEncoding::kDecimal: return LargestOfDigits(10, DigitsOf(rule));
        case PatchEncoding::kHex: return LargestOfDigits(16, DigitsOf(rule));
        default: return kMax64;
    }
}

std::string Decimal(std::uint64_t v) { return std::to_string(v); }

// `value` in `base`, upper case, zero-padded to `digits`.
std::string Digits(std::uint64_t value, unsigned base, int digits) {
    std::string s;
    do {
        s.insert(s.begin(), "0123456789ABCDEF"[value % base]);
        value /= base;
    } while (value != 0);
    if (static_cast<int>(s.size()) < digits) s.insert(0, static_cast<std::size_t>(digits) - s.size(), '0');
    return s;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Fail(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

}  // namespace

bool ParsePatchRule(std::string_view text, PatchRule& rule, std::string& error) {
    rule = PatchRule{};
    rule.text = std::string(text);
    const std::size_t c1 = text.find(':');
    const std::size_t c2 = c1 == std::string_view::npos ? c1 : text.find(':', c1 + 1);
    if (c2 == std::string_view::npos)
        return Fail(error, "a patch rule is ADDR:LEN:SOURCE (e.g. 0x7F00:4:counter=1), not " + rule.text);
    const auto address = ParseStartAddress(text.substr(0, c1));
    if (!address) return Fail(error, "patch address " + std::string(text.substr(0, c1)) + " is no address");
    const auto length = ParseUnsigned(text.substr(c1 + 1, c2 - c1 - 1), kMaxPatchLength);
    if (!length || *length == 0)
        return Fail(error, "patch length " + std::string(text.substr(c1 + 1, c2 - c1 - 1)) + " is not 1 to " +
                               std::to_string(kMaxPatchLength) + " bytes");
    if (std::uint64_t{*address} + *length - 1 > 0xFFFFFFFF) return Fail(error, "the patch reaches past 0xFFFFFFFF");
    rule.address = *address;
    rule.length = static_cast<std::uint32_t>(*length);

    int sources = 0;
    std::optional<std::string> enc, order, step, end, digits;
    std::string_view rest = text.substr(c2 + 1);
    while (!rest.empty()) {
        // command= takes the rest of the rule: a command line may hold commas.
        std::size_t comma = rest.rfind("command=", 0) == 0 ? std::string_view::npos : rest.find(',');
        const std::string_view word = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        const std::size_t eq = word.find('=');
        const std::string key(word.substr(0, eq));
        const std::string value = eq == std::string_view::npos ? "" : std::string(word.substr(eq + 1));
        const bool has_value = eq != std::string_view::npos;
        auto need_value = [&] { return has_value && !value.empty(); };
        if (key == "counter" || key == "list" || key == "command") {
            if (!need_value()) return Fail(error, key + "= needs a value");
            ++sources;
            if (key == "counter") {
                const auto v = ParseUnsigned(value, kMax64);
                if (!v) return Fail(error, "counter=" + value + " is no number");
                rule.source = PatchSource::kCounter;
                rule.start = *v;
            } else if (key == "list") {
                rule.source = PatchSource::kList;
                rule.list_file = value;
            } else {
                rule.source = PatchSource::kCommand;
                rule.command = value;
            }
        } else if (key == "step") step = value;
        else if (key == "end") end = value;
        else if (key == "enc") enc = value;
        else if (key == "order") order = value;
        else if (key == "digits") digits = value;
        else if (key == "prefix") rule.prefix = value;
        else if (key == "suffix") rule.suffix = value;
        else if (key == "name") {
            if (!need_value()) return Fail(error, "name= needs a value");
            rule.name = value;
        } else if (key == "overwrite" && !has_value) rule.overwrite = true;
        else if (key == "burn" && !has_value) rule.burn = true;
        else return Fail(error, "unknown word " + std::string(word) + " in the patch rule " + rule.text);
    }
    if (sources != 1) return Fail(error, "a patch rule takes one source: counter=, list= or command=");

    const bool counter = rule.source == PatchSource::kCounter;
    if (counter) {
        rule.encoding = PatchEncoding::kBinary;
        if (enc) {
            if (*enc == "bin") rule.encoding = PatchEncoding::kBinary;
            else if (*enc == "bcd") rule.encoding = PatchEncoding::kBcd;
            else if (*enc == "dec") rule.encoding = PatchEncoding::kDecimal;
            else if (*enc == "hex") rule.encoding = PatchEncoding::kHex;
            else return Fail(error, "a counter's enc= is bin, bcd, dec or hex, not " + *enc);
        }
    } else {
        rule.encoding = PatchEncoding::kBytes;
        if (enc) {
            if (*enc == "bytes") rule.encoding = PatchEncoding::kBytes;
            else if (*enc == "text") rule.encoding = PatchEncoding::kText;
            else return Fail(error, "a list's or command's enc= is bytes or text, not " + *enc);
        }
        if (step || end) return Fail(error, "step= and end= belong to a counter");
    }
    const bool numeric = rule.encoding == PatchEncoding::kBinary || rule.encoding == PatchEncoding::kBcd;
    rule.order = rule.encoding == PatchEncoding::kBcd ? ByteOrder::kBig : ByteOrder::kLittle;
    if (order) {
        if (!numeric) return Fail(error, "order= belongs to enc=bin and enc=bcd");
        if (*order == "le") rule.order = ByteOrder::kLittle;
        else if (*order == "be") rule.order = ByteOrder::kBig;
        else return Fail(error, "order= is le or be, not " + *order);
    }
    if ((digits || !rule.prefix.empty() || !rule.suffix.empty()) && !IsText(rule.encoding))
        return Fail(error, "digits=, prefix= and suffix= belong to enc=dec and enc=hex");
    if (digits) {
        const auto d = ParseUnsigned(*digits, kMaxPatchLength);
        if (!d || *d == 0) return Fail(error, "digits=" + *digits + " is no digit count");
        rule.digits = static_cast<int>(*d);
    }
    if (IsText(rule.encoding) && (DigitsOf(rule) < 1 ||
                                  rule.prefix.size() + rule.suffix.size() + static_cast<std::size_t>(DigitsOf(rule)) >
                                      rule.length))
        return Fail(error, "prefix, digits and suffix do not fit in " + std::to_string(rule.length) + " bytes");
    if (step) {
        const auto v = ParseUnsigned(*step, kMax64);
        if (!v || *v == 0) return Fail(error, "step=" + *step + " is no number above 0");
        rule.step = *v;
    }
    if (end) {
        const auto v = ParseUnsigned(*end, kMax64);
        if (!v) return Fail(error, "end=" + *end + " is no number");
        rule.end = *v;
    }
    if (counter) {
        const std::uint64_t fit = LargestFit(rule);
        if (rule.start > fit)
            return Fail(error, "counter=" + Decimal(rule.start) + " does not fit in " + std::to_string(rule.length) +
                                   " bytes (at most " + Decimal(fit) + ")");
        if (rule.end && *rule.end > fit)
            return Fail(error, "end=" + Decimal(*rule.end) + " does not fit in " + std::to_string(rule.length) +
                                   " bytes (at most " + Decimal(fit) + ")");
        if (rule.end && *rule.end < rule.start) return Fail(error, "end= lies below counter=");
    }
    return true;
}

std::string PatchRuleKey(const PatchRule& rule) {
    if (!rule.name.empty()) return "name:" + rule.name;
    char head[32];
    std::snprintf(head, sizeof head, "0x%08X:%u:", static_cast<unsigned>(rule.address), static_cast<unsigned>(rule.length));
    switch (rule.source) {
        case PatchSource::kCounter: return head + ("counter=" + Decimal(rule.start) + ",step=" + Decimal(rule.step));
        case PatchSource::kList: return head + ("list=" + rule.list_file);
        case PatchSource::kCommand: return head + ("command=" + rule.command);
    }
    return head;
}

std::uint64_t CounterEnd(const PatchRule& rule) { return rule.end ? *rule.end : LargestFit(rule); }

std::optional<std::uint64_t> CounterValue(const PatchRule& rule, std::uint64_t seq) {
    if (seq != 0 && rule.step > (kMax64 - rule.start) / seq) return std::nullopt;
    const std::uint64_t value = rule.start + seq * rule.step;
    if (value > CounterEnd(rule)) return std::nullopt;
    return value;
}

bool EncodeCounter(const PatchRule& rule, std::uint64_t value, PatchValue& out, std::string& error) {
    out = PatchValue{};
    if (value > CounterEnd(rule))
        return Fail(error, "the counter has passed its end " + Decimal(CounterEnd(rule)) + " (next value " +
                               Decimal(value) + ")");
    if (value > LargestFit(rule))
        return Fail(error, Decimal(value) + " does not fit in " + std::to_string(rule.length) + " bytes");
    out.bytes.assign(rule.length, 0);
    switch (rule.encoding) {
        case PatchEncoding::kBinary:
            for (std::size_t i = 0; i < out.bytes.size() && i < 8; ++i)
                out.bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
            if (rule.order == ByteOrder::kBig) std::reverse(out.bytes.begin(), out.bytes.end());
            out.text = Decimal(value);
            break;
        case PatchEncoding::kBcd: {
            const std::string d = Digits(value, 10, static_cast<int>(2 * rule.length));
            for (std::size_t i = 0; i < out.bytes.size(); ++i)
                out.bytes[i] = static_cast<std::uint8_t>((d[2 * i] - '0') << 4 | (d[2 * i + 1] - '0'));
            if (rule.order == ByteOrder::kLittle) std::reverse(out.bytes.begin(), out.bytes.end());
            out.text = Decimal(value);
            break;
        }
        case PatchEncoding::kDecimal:
        case PatchEncoding::kHex:
            out.text = rule.prefix + Digits(value, rule.encoding == PatchEncoding::kHex ? 16 : 10, DigitsOf(rule)) +
                       rule.suffix;
            std::copy(out.text.begin(), out.text.end(), out.bytes.begin());
            break;
        default: return Fail(error, "a counter is encoded as bin, bcd, dec or hex");
    }
    return true;
}

bool EncodeGiven(const PatchRule& rule, std::string_view given, PatchValue& out, std::string& error) {
    out = PatchValue{};
    given = Trim(given);
    if (given.empty()) return Fail(error, "the value is empty");
    out.text = std::string(given);
    if (rule.encoding == PatchEncoding::kText) {
        if (given.size() > rule.length)
            return Fail(error, "the value \"" + out.text + "\" is " + std::to_string(given.size()) +
                                   " bytes, more than the " + std::to_string(rule.length) + " of the patch");
        out.bytes.assign(given.begin(), given.end());
        out.bytes.resize(rule.length, 0);
        return true;
    }
    std::string digits;
    for (const char c : given) {
        if (c == ':' || c == '-' || c == ' ' || c == '.') continue;
        if (HexValue(c) < 0) return Fail(error, "the value \"" + out.text + "\" is not hex bytes");
        digits += c;
    }
    if (digits.size() % 2 != 0) return Fail(error, "the value \"" + out.text + "\" has an odd number of hex digits");
    if (digits.size() / 2 != rule.length)
        return Fail(error, "the value \"" + out.text + "\" is " + std::to_string(digits.size() / 2) + " bytes, the patch " +
                               std::to_string(rule.length));
    for (std::size_t i = 0; i < digits.size(); i += 2)
        out.bytes.push_back(static_cast<std::uint8_t>(HexValue(digits[i]) << 4 | HexValue(digits[i + 1])));
    return true;
}

ImagePatch MakeImagePatch(const PatchRule& rule, PatchValue value) {
    return ImagePatch{rule.address, std::move(value.bytes), rule.overwrite, std::move(value.text)};
}

std::string PatchBytesText(const ImagePatch& patch) {
    char head[16];
    std::snprintf(head, sizeof head, "0x%08X:", static_cast<unsigned>(patch.address));
    std::string s = head;
    for (const std::uint8_t b : patch.bytes) s += Digits(b, 16, 2);
    return s;
}

}  // namespace mirelle::hexfile
