#include "engine/load_outcome.h"

namespace mirelle::engine {

texts::LoadOutcome DescribeLoad(const hexfile::LoadResult& result, const std::string& target_name) {
    using hexfile::LoadStatus;
    using texts::LoadFailure;
    LoadFailure failure = LoadFailure::kNone;
    switch (result.status) {
        case LoadStatus::kOk: failure = LoadFailure::kNone; break;
        case LoadStatus::kOpenError: failure = LoadFailure::kOpenError; break;
        case LoadStatus::kEmptyFile: failure = LoadFailure::kEmptyFile; break;
        case LoadStatus::kUnknownFormat: failure = LoadFailure::kUnknownFormat; break;
        case LoadStatus::kSRecordError: failure = LoadFailure::kSRecord; break;
        case LoadStatus::kIntelHexError: failure = LoadFailure::kIntelHex; break;
        case LoadStatus::kNoFlashData: failure = LoadFailure::kNoFlashData; break;
    }
    return {failure, result.decoder_error, result.line_number, target_name};
}

}  // namespace mirelle::engine
