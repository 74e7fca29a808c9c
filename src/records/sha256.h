// SHA-256 of bytes and of files, as lower-case hex: the records keep the
// program file's hash so that a unit can be traced to the exact image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mirelle::records {

class Sha256 {
public:
    Sha256();
    void Update(const std::uint8_t* data, std::size_t size);
    void Update(std::string_view text) { Update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()); }
    // The digest as 64 lower-case hex digits; the object is spent after it.
    std::string HexDigest();

private:
    void Block(const std::uint8_t* block);
    std::array<std::uint32_t, 8> m_state;
    std::array<std::uint8_t, 64> m_buffer{};
    std::size_t m_used = 0;
    std::uint64_t m_bits = 0;
};

std::string Sha256Hex(std::string_view bytes);

// The hash and size of a regular file; false when it cannot be read or is
// no regular file (a FIFO is never opened for reading, which would wait).
bool HashFile(const std::string& path, std::string& hex, long long& size);

}  // namespace mirelle::records
