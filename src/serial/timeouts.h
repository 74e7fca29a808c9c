// The time-out rules of the serial link, as plain arithmetic so that every
// port (the termios device and the simulated chip on a virtual clock) waits
// the same way. A read of n bytes ends when n bytes have arrived, when 80 ms
// pass between two bytes after the first one, or after 80 * n + 80 ms in all;
// a write of n bytes may take 80 * n + 80 ms.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mirelle::serial {

inline constexpr std::uint64_t kReadIntervalMs = 80;
inline constexpr std::uint64_t kTotalPerByteMs = 80;
inline constexpr std::uint64_t kTotalConstantMs = 80;

// The longest a read or a write of `n` bytes may take.
constexpr std::uint64_t TotalTimeoutMs(std::size_t n) {
    return kTotalPerByteMs * static_cast<std::uint64_t>(n) + kTotalConstantMs;
}

// How much longer a read of `n` bytes may wait for more bytes, `elapsed_ms`
// after it began, with `received` bytes in hand of which the last arrived
// `since_last_ms` ago. 0 means the read is over.
constexpr std::uint64_t ReadWaitMs(std::size_t n, std::size_t received, std::uint64_t elapsed_ms,
                                   std::uint64_t since_last_ms) {
    if (received >= n) return 0;
    const std::uint64_t total = TotalTimeoutMs(n);
    std::uint64_t wait = elapsed_ms >= total ? 0 : total - elapsed_ms;
    if (received > 0) {
        const std::uint64_t interval = since_last_ms >= kReadIntervalMs ? 0 : kReadIntervalMs - since_last_ms;
        if (interval < wait) wait = interval;
    }
    return wait;
}

}  // namespace mirelle::serial
