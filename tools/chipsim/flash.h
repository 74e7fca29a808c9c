// The chip's flash: the bytes of its areas. Erased flash reads 0xFF;
// programming can only clear bits; addresses outside every area read 0xFF and
// keep nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "chipsim/chip_config.h"

namespace mirelle::chipsim {

class Flash {
public:
    explicit Flash(std::vector<Area> areas);

    const std::vector<Area>& Areas() const { return areas_; }
    bool Contains(std::uint32_t address) const { return Locate(address) != nullptr; }
    // Number of bytes over all areas.
    std::size_t Size() const;

    std::uint8_t Read(std::uint32_t address) const;
    std::vector<std::uint8_t> Read(std::uint32_t address, std::size_t count) const;

    // Programs one byte the way flash cells do: the result is old AND value.
    // Outside every area nothing happens.
    void Program(std::uint32_t address, std::uint8_t value);
    // Stores bytes as they are (a chip that already holds data); outside every
    // area nothing is kept.
    void Store(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
    void EraseAll();

    // Bytes that are not 0xFF, and the 16-bit sum of every byte of every area
    // (the figure the Check SUM dialog computes with fill FF).
    std::size_t ProgrammedCount() const;
    std::uint16_t Sum16() const;

    // The areas' bytes one after the other in area order, as the flash file keeps them.
    std::vector<std::uint8_t> Image() const;
    // False (and nothing changed) when `image` does not have Size() bytes.
    bool SetImage(const std::vector<std::uint8_t>& image);

    // Grows with every change, so a keeper of the flash file knows when to save.
    std::uint64_t Generation() const { return generation_; }

private:
    std::uint8_t* Locate(std::uint32_t address);
    const std::uint8_t* Locate(std::uint32_t address) const;

    std::vector<Area> areas_;
    std::vector<std::vector<std::uint8_t>> cells_;
    std::uint64_t generation_ = 0;
};

}  // namespace mirelle::chipsim
