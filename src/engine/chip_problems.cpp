#include "engine/chip_problems.h"

#include "target/chip_definition.h"
#include "texts/chip_problem_texts.h"

namespace mirelle::engine {

ChipCheck CheckChip(const std::string& chipdef_path, const std::string& section) {
    ChipCheck check;
    for (const target::ChipProblem& p : target::CheckChipDefinition(chipdef_path, section)) {
        texts::ChipProblemFacts facts;
        using From = target::ChipProblem::Kind;
        using To = texts::ChipProblemFacts::Kind;
        switch (p.kind) {
            case From::kAddressSaturates: facts.kind = To::kAddressSaturates; break;
            case From::kNoRate: facts.kind = To::kNoRate; break;
            case From::kStartAfterEnd: facts.kind = To::kStartAfterEnd; break;
            case From::kListLengths: facts.kind = To::kListLengths; break;
            case From::kTooManyAreas: facts.kind = To::kTooManyAreas; break;
        }
        facts.section = section;
        facts.key = p.key;
        facts.entry = p.entry;
        facts.value = p.value;
        facts.count = p.count;
        facts.other = p.other;
        facts.refuses = p.Refuses();
        const std::string text = texts::ChipProblemText(facts);
        check.texts.push_back(text);
        if (p.Refuses() && check.refusal.empty()) check.refusal = text;
    }
    return check;
}

}  // namespace mirelle::engine
