#include "target/chip_traits.h"

#include <array>
#include <string_view>

namespace mirelle::target {

namespace {

struct Entry {
    std::string_view name;
    ChipTraits traits;
};

constexpr ChipTraits kFirstNoPromptNoAck{ProtocolFamily::kFirst, 4, false, false, true};
constexpr ChipTraits kFirstNoAck{ProtocolFamily::kFirst, 4, true, false, false};
constexpr ChipTraits kSecond{ProtocolFamily::kSecond, 3, true, true, false};

constexpr std::array<Entry, 5> kTable{{
    {"TQ4A01", kFirstNoPromptNoAck},
    {"TQ4A02", kFirstNoPromptNoAck},
    {"TQ4A03", kFirstNoAck},
    {"TQ7C01", kSecond},
    {"TQ7C02/03", kSecond},
}};

}  // namespace

ChipTraits TraitsOf(const std::string& target_name) {
    for (const Entry& e : kTable)
        if (e.name == target_name) return e.traits;
    return ChipTraits{};
}

}  // namespace mirelle::target
