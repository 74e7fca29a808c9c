#include "protocol/boot_protocol.h"

namespace mirelle::boot {

std::array<std::uint8_t, 8> UploadHeader(std::uint32_t address, std::uint32_t length) {
    std::array<std::uint8_t, 8> h{};
    for (int i = 0; i < 4; ++i) {
        h[i] = static_cast<std::uint8_t>(address >> (24 - 8 * i));
        h[4 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    }
    return h;
}

std::uint8_t AddToSum(std::uint8_t sum, const std::uint8_t* data, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) sum = static_cast<std::uint8_t>(sum + data[i]);
    return sum;
}

std::array<std::uint8_t, 10> StartFrame() {
    std::array<std::uint8_t, 10> f{};
    f[0] = kStart;
    f[9] = AddToSum(0, f.data(), 9);  // the sum of the command byte and eight zeros
    return f;
}

std::string ControlProgramFile(const std::string& download_file, const std::string& rate_text,
                               const std::function<bool(const std::string&)>& exists) {
    const std::string named = download_file + "-" + rate_text.substr(0, 15);
    return exists(named) ? named : download_file;
}

std::optional<std::uint32_t> RateEntry(const std::vector<std::int32_t>& rates, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= rates.size()) return std::nullopt;
    if (rates[index] <= 0) return std::nullopt;
    return static_cast<std::uint32_t>(rates[index]);
}

std::optional<std::uint32_t> WorkingRate(const std::vector<std::int32_t>& baud, const std::vector<std::int32_t>& baud2,
                                         bool has_baud2, int index) {
    if (has_baud2) return RateEntry(baud2, index);
    auto boot = RateEntry(baud, index);
    if (!boot) return std::nullopt;
    return *boot * 2;
}

}  // namespace mirelle::boot
