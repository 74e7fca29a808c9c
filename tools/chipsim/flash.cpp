#include "chipsim/flash.h"

#include <algorithm>

namespace mirelle::chipsim {

namespace {
std::size_t AreaSize(const Area& area) {
    if (area.end < area.start) return 0;
    return static_cast<std::size_t>(static_cast<std::uint64_t>(area.end) - area.start + 1);
}
}  // namespace

Flash::Flash(std::vector<Area> areas) : areas_(std::move(areas)) {
    for (const Area& area : areas_) cells_.emplace_back(AreaSize(area), 0xFF);
}

std::size_t Flash::Size() const {
    std::size_t total = 0;
    for (const auto& cells : cells_) total += cells.size();
    return total;
}

const std::uint8_t* Flash::Locate(std::uint32_t address) const {
    // Areas are looked up in their order; the first one holding the address wins.
    for (std::size_t i = 0; i < areas_.size(); ++i) {
        if (!cells_[i].empty() && address >= areas_[i].start && address <= areas_[i].end) {
            return &cells_[i][address - areas_[i].start];
        }
    }
    return nullptr;
}

std::uint8_t* Flash::Locate(std::uint32_t address) {
    return const_cast<std::uint8_t*>(static_cast<const Flash*>(this)->Locate(address));
}

std::uint8_t Flash::Read(std::uint32_t address) const {
    const std::uint8_t* cell = Locate(address);
    return cell ? *cell : 0xFF;
}

std::vector<std::uint8_t> Flash::Read(std::uint32_t address, std::size_t count) const {
    std::vector<std::uint8_t> out(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = Read(static_cast<std::uint32_t>(address + i));
    return out;
}

void Flash::Program(std::uint32_t address, std::uint8_t value) {
    if (std::uint8_t* cell = Locate(address)) {
        const std::uint8_t now = *cell & value;
        if (now != *cell) {
            *cell = now;
            ++generation_;
        }
    }
}

void Flash::Store(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (std::uint8_t* cell = Locate(static_cast<std::uint32_t>(address + i))) *cell = bytes[i];
    }
    ++generation_;
}

void Flash::EraseAll() {
    for (auto& cells : cells_) std::fill(cells.begin(), cells.end(), 0xFF);
    ++generation_;
}

std::size_t Flash::ProgrammedCount() const {
    std::size_t count = 0;
    for (const auto& cells : cells_) {
        for (std::uint8_t b : cells) count += (b != 0xFF);
    }
    return count;
}

std::uint16_t Flash::Sum16() const {
    std::uint32_t sum = 0;
    for (const auto& cells : cells_) {
        for (std::uint8_t b : cells) sum += b;
    }
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

std::vector<std::uint8_t> Flash::Image() const {
    std::vector<std::uint8_t> image;
    image.reserve(Size());
    for (const auto& cells : cells_) image.insert(image.end(), cells.begin(), cells.end());
    return image;
}

bool Flash::SetImage(const std::vector<std::uint8_t>& image) {
    if (image.size() != Size()) return false;
    std::size_t at = 0;
    for (auto& cells : cells_) {
        std::copy(image.begin() + static_cast<std::ptrdiff_t>(at),
                  image.begin() + static_cast<std::ptrdiff_t>(at + cells.size()), cells.begin());
        at += cells.size();
    }
    ++generation_;
    return true;
}

}  // namespace mirelle::chipsim
