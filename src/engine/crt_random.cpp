#include "engine/crt_random.h"

namespace mirelle::crt {

namespace {
std::uint32_t g_state = 1;
}  // namespace

int NextRandom(std::uint32_t& state) {
    state = state * 214013u + 2531011u;  // unsigned arithmetic wraps modulo 2^32
    return static_cast<int>((state >> 16) & 0x7FFFu);
}

int Rand() { return NextRandom(g_state); }

void SeedRandom(std::uint32_t seed) { g_state = seed; }

}  // namespace mirelle::crt
