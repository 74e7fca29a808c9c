#include "chipsim/chip_config.h"

namespace mirelle::chipsim {

Family FamilyOfTarget(const std::string& target) {
    return (target == "TQ7C01" || target == "TQ7C02/03") ? Family::Second : Family::First;
}

bool TargetAcknowledgesUpload(const std::string& target) {
    return !(target == "TQ4A01" || target == "TQ4A02" || target == "TQ4A03");
}

const char* StepKindName(StepKind kind) {
    switch (kind) {
        case StepKind::Any: return "any";
        case StepKind::Sync: return "sync";
        case StepKind::Upload: return "upload";
        case StepKind::Start: return "start";
        case StepKind::Erase: return "erase";
        case StepKind::CrRead: return "cr-read";
        case StepKind::CrSet: return "cr-set";
        case StepKind::BlankCheck: return "blank";
        case StepKind::ProgramCommand: return "program";
        case StepKind::ProgramData: return "data";
        case StepKind::ReadCommand: return "read";
    }
    return "?";
}

ChipConfig ChipConfig::ForTarget(const std::string& target, std::vector<Area> areas) {
    ChipConfig config;
    config.target = target;
    config.family = FamilyOfTarget(target);
    config.upload_ack = TargetAcknowledgesUpload(target);
    config.areas = std::move(areas);
    return config;
}

}  // namespace mirelle::chipsim
