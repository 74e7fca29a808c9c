// The words for what is wrong with a chip's section of CHIPDEF.INI. target/
// finds the problems; texts/ and target/ sit on one level, so the caller
// describes each problem here (engine::ChipProblemTexts does).
#pragma once

#include <string>

namespace mirelle::texts {

struct ChipProblemFacts {
    enum class Kind { kAddressSaturates, kNoRate, kStartAfterEnd, kListLengths, kTooManyAreas };
    Kind kind = Kind::kAddressSaturates;
    std::string section, key;
    int entry = 0;               // from 1
    std::string value;           // the entry; "start,end" for kStartAfterEnd
    int count = 0, other = 0;    // the two list lengths, or the areas and the most used
    bool refuses = false;
};

// One line naming the file's section and key: "CHIPDEF.INI [TQ] StartAddress
// entry 1 (0xFFFF8000) is 0x80000000 or more ...; the chip is refused".
std::string ChipProblemText(const ChipProblemFacts& facts);

}  // namespace mirelle::texts
