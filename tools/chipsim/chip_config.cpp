#include "chipsim/chip_config.h"

#include "target/chip_traits.h"

namespace mirelle::chipsim {

Family FamilyOfTarget(const std::string& target) {
    return target::TraitsOf(target).family == target::ProtocolFamily::kSecond ? Family::Second : Family::First;
}

bool TargetAcknowledgesUpload(const std::string& target) { return target::TraitsOf(target).awaits_upload_ack; }

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
