#include "texts/chip_problem_texts.h"

namespace mirelle::texts {

std::string ChipProblemText(const ChipProblemFacts& f) {
    using Kind = ChipProblemFacts::Kind;
    const std::string where = "CHIPDEF.INI [" + f.section + "] ";
    const std::string entry = f.key + " entry " + std::to_string(f.entry) + " (" + f.value + ")";
    switch (f.kind) {
        case Kind::kAddressSaturates:
            return where + entry +
                   " is 0x80000000 or more, which a CHIPDEF.INI value cannot hold (it reads as 0x7FFFFFFF); "
                   "the chip is refused";
        case Kind::kNoRate:
            return where + entry + " is no rate (it must be above 0); the chip is refused";
        case Kind::kStartAfterEnd: {
            const std::size_t comma = f.value.find(',');
            return where + "area " + std::to_string(f.entry) + ": StartAddress " + f.value.substr(0, comma) +
                   " lies above EndAddress " + (comma == std::string::npos ? "" : f.value.substr(comma + 1)) +
                   "; the area holds nothing";
        }
        case Kind::kListLengths:
            return where + "StartAddress has " + std::to_string(f.count) + " entries but EndAddress " +
                   std::to_string(f.other) + "; only the first " + std::to_string(f.count < f.other ? f.count : f.other) +
                   " areas are used";
        case Kind::kTooManyAreas:
            return where + "StartAddress and EndAddress list " + std::to_string(f.count) + " areas; only the first " +
                   std::to_string(f.other) + " are used";
    }
    return {};
}

}  // namespace mirelle::texts
