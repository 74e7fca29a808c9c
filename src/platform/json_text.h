// One JSON object written on one line, for the --json output of mirelle-cli
// and the listings it prints.
#pragma once

#include <string>
#include <vector>

namespace mirelle::sys {

// A JSON string literal of `text` (UTF-8 passed through, controls escaped).
std::string JsonString(const std::string& text);

class JsonObject {
public:
    JsonObject& Add(const std::string& key, const std::string& value);
    JsonObject& Add(const std::string& key, const char* value) { return Add(key, std::string(value)); }
    JsonObject& Add(const std::string& key, long long value);
    JsonObject& Add(const std::string& key, int value) { return Add(key, static_cast<long long>(value)); }
    JsonObject& Add(const std::string& key, double value);
    JsonObject& Add(const std::string& key, bool value);
    JsonObject& Add(const std::string& key, const std::vector<std::string>& values);
    // A value already in JSON form (an object or array).
    JsonObject& AddRaw(const std::string& key, const std::string& json);
    std::string Text() const { return "{" + body_ + "}"; }

private:
    void Key(const std::string& key);
    std::string body_;
};

}  // namespace mirelle::sys
