#include "records/serializer.h"

#include <chrono>
#include <filesystem>

#include "platform/child_process.h"
#include "platform/textfile.h"
#include "records/record_sink.h"
#include "records/record_store.h"

namespace mirelle::records {

namespace fs = std::filesystem;

namespace {

std::int64_t UtcMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

bool ParsePatchRules(const std::vector<std::string>& texts, std::vector<hexfile::PatchRule>& rules,
                     std::string& error) {
    rules.clear();
    for (const std::string& text : texts) {
        hexfile::PatchRule rule;
        if (!hexfile::ParsePatchRule(text, rule, error)) return false;
        for (const hexfile::PatchRule& other : rules)
            if (rule.address < other.address + other.length && other.address < rule.address + rule.length) {
                error = "the patches " + other.text + " and " + rule.text + " overlap";
                return false;
            }
        rules.push_back(std::move(rule));
    }
    return true;
}

Serializer::Serializer(std::vector<hexfile::PatchRule> rules, std::string base_dir)
    : m_rules(std::move(rules)), m_baseDir(std::move(base_dir)), m_lists(m_rules.size()), m_listRead(m_rules.size()) {}

Serializer::~Serializer() = default;

bool Serializer::Open(const std::string& location, const std::string& program_dir, std::string& error) {
    m_owned = OpenStore(location, program_dir, true, error);
    if (!m_owned) {
        error = "the record store that keeps the serial values cannot be used: " + error;
        return false;
    }
    m_db = m_owned.get();
    return true;
}

const std::vector<std::string>* Serializer::ListLines(const hexfile::PatchRule& rule, std::string& error) {
    const std::size_t i = static_cast<std::size_t>(&rule - m_rules.data());
    if (m_listRead[i]) return &m_lists[i];
    fs::path path(rule.list_file);
    if (path.is_relative() && !m_baseDir.empty()) path = fs::path(m_baseDir) / path;
    LineReader reader(path.string());
    if (!reader.IsOpen()) {
        error = "the list " + path.string() + " cannot be read";
        return nullptr;
    }
    std::string line;
    while (reader.Next(line)) {
        // Blank lines are no values.
        if (line.find_first_not_of(" \t\r") != std::string::npos) m_lists[i].push_back(line);
    }
    if (reader.Failed()) {
        error = "the list " + path.string() + " could not be read to its end";
        m_lists[i].clear();
        return nullptr;
    }
    m_listRead[i] = true;
    return &m_lists[i];
}

bool Serializer::ValueOf(const hexfile::PatchRule& rule, std::int64_t seq, std::string& text,
                         hexfile::PatchValue& value, std::string& error) {
    if (rule.source == hexfile::PatchSource::kCounter) {
        const std::optional<std::uint64_t> v = hexfile::CounterValue(rule, static_cast<std::uint64_t>(seq));
        if (!v) {
            error = "the counter of " + rule.text + " has passed its end " + std::to_string(hexfile::CounterEnd(rule));
            return false;
        }
        if (!hexfile::EncodeCounter(rule, *v, value, error)) return false;
        text = value.text;
        return true;
    }
    const std::vector<std::string>* lines = ListLines(rule, error);
    if (!lines) return false;
    if (seq < 0 || static_cast<std::size_t>(seq) >= lines->size()) {
        error = "the list " + rule.list_file + " has run out: its " + std::to_string(lines->size()) +
                " values are all used";
        return false;
    }
    if (!hexfile::EncodeGiven(rule, (*lines)[static_cast<std::size_t>(seq)], value, error)) {
        error = "value " + std::to_string(seq + 1) + " of the list " + rule.list_file + ": " + error;
        return false;
    }
    text = value.text;
    return true;
}

bool Serializer::RunCommand(const hexfile::PatchRule& rule, const std::string& slot, std::string& output,
                            std::string& error) {
    const std::vector<std::string> words = sys::ShellWords(rule.command);
    sys::ChildProcess child;
    if (!child.Start(words.front(), {words.begin() + 1, words.end()},
                     {"MIRELLE_SLOT=" + slot, "MIRELLE_UNIT=" + m_unit})) {
        error = "the command " + rule.command + " could not be started";
        return false;
    }
    sys::ChildProcess* const children[] = {&child};
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCommandLimitMs);
    while (sys::ReadChildren(children, 200)) {
        output += child.TakeOutput();
        if (std::chrono::steady_clock::now() > limit) {
            child.Stop();
            child.Wait();
            error = "the command " + rule.command + " gave no value within " + std::to_string(kCommandLimitMs / 1000) + " s";
            return false;
        }
    }
    output += child.TakeOutput();
    const sys::ChildExit e = child.Wait();
    if (!e.started || e.signalled || e.code != 0) {
        error = "the command " + rule.command + " failed (" +
                (e.signalled ? "ended by a signal" : "exit status " + std::to_string(e.code)) + ")";
        return false;
    }
    output = output.substr(0, output.find('\n'));
    return true;
}

bool Serializer::Begin(const std::string& slot, std::vector<hexfile::ImagePatch>& patches, std::string& error) {
    patches.clear();
    if (m_rules.empty()) return true;
    if (!m_db) {
        error = "no record store for the serial values";
        return false;
    }
    m_unit = NewRecordId();
    m_held.clear();
    m_burn.clear();
    for (const hexfile::PatchRule& rule : m_rules) {
        const std::string key = hexfile::PatchRuleKey(rule);
        Reservation r;
        hexfile::PatchValue value;
        bool ok = false;
        if (rule.source == hexfile::PatchSource::kCommand) {
            std::string output;
            ok = RunCommand(rule, slot, output, error) && hexfile::EncodeGiven(rule, output, value, error);
            if (!ok && error.rfind("the command", 0) != 0) error = "the command " + rule.command + " gave " + error;
            ok = ok && ReserveGiven(*m_db, key, value.text, m_unit, UtcMs(), r, error);
        } else {
            auto value_of = [&](std::int64_t seq, std::string& why) -> std::optional<std::string> {
                std::string text;
                hexfile::PatchValue unused;
                if (!ValueOf(rule, seq, text, unused, why)) return std::nullopt;
                return text;
            };
            std::string text;
            ok = ReserveNext(*m_db, key, value_of, m_unit, UtcMs(), r, error) && ValueOf(rule, r.seq, text, value, error);
        }
        if (!ok) {
            // Nothing of this unit stays reserved: the values taken go back.
            std::string ignored;
            for (const Reservation& held : m_held) Settle(*m_db, held, Settlement::kGiveBack, ignored);
            m_held.clear();
            m_unit.clear();
            patches.clear();
            error = "serialization: " + error;
            return false;
        }
        m_held.push_back(r);
        m_burn.push_back(rule.burn);
        patches.push_back(hexfile::MakeImagePatch(rule, std::move(value)));
    }
    return true;
}

bool Serializer::End(bool passed, std::string& error) {
    bool ok = true;
    for (std::size_t i = 0; i < m_held.size(); ++i) {
        const Settlement how = passed ? Settlement::kSpend : m_burn[i] ? Settlement::kBurn : Settlement::kGiveBack;
        std::string why;
        if (!Settle(*m_db, m_held[i], how, why)) {
            error = (ok ? "" : error + "; ") + why;
            ok = false;
        }
    }
    m_held.clear();
    m_burn.clear();
    m_unit.clear();
    return ok;
}

bool Serializer::Peek(std::vector<hexfile::ImagePatch>& patches, std::string& error) {
    patches.clear();
    for (const hexfile::PatchRule& rule : m_rules) {
        if (rule.source == hexfile::PatchSource::kCommand) continue;
        hexfile::PatchValue value;
        std::string text;
        std::int64_t seq = 0;
        if (m_db) {
            auto value_of = [&](std::int64_t s, std::string& why) -> std::optional<std::string> {
                hexfile::PatchValue unused;
                if (!ValueOf(rule, s, text, unused, why)) return std::nullopt;
                return text;
            };
            if (!PeekNext(*m_db, hexfile::PatchRuleKey(rule), value_of, text, seq, error)) return false;
        }
        if (!ValueOf(rule, seq, text, value, error)) return false;
        patches.push_back(hexfile::MakeImagePatch(rule, std::move(value)));
    }
    return true;
}

}  // namespace mirelle::records
