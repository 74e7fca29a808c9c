// What is wrong with a chip's section of CHIPDEF.INI, in words: the problems
// target/ finds, described for texts/ (the two sit on one level).
#pragma once

#include <string>
#include <vector>

namespace mirelle::engine {

struct ChipCheck {
    std::vector<std::string> texts;  // every problem, one line each
    std::string refusal;             // the first problem that makes the chip unusable, or empty
};

ChipCheck CheckChip(const std::string& chipdef_path, const std::string& section);

}  // namespace mirelle::engine
