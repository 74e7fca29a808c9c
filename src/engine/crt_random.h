// The pseudo-random sequence of the C runtime the program was first built
// with: x := x * 214013 + 2531011 (mod 2^32), each draw (x >> 16) & 0x7FFF,
// starting from x = 1. The CRC test switch draws from it, so the same blocks
// are spoilt in every run, as they always were.
#pragma once

#include <cstdint>

namespace mirelle::crt {

// One step of the generator: advances `state` and returns the draw (0..0x7FFF).
int NextRandom(std::uint32_t& state);

// The process-wide sequence, like rand() and srand(): it starts from 1 in
// every run; SeedRandom puts it back to a given state (tests use 1).
int Rand();
void SeedRandom(std::uint32_t seed);

}  // namespace mirelle::crt
