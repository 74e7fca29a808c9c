// A program file load's typed result (hexfile/) described for its words
// (texts/). The two libraries sit on one level and name none of each other's
// types, so the load step, which holds both, translates here.
#pragma once

#include <string>

#include "hexfile/program_file.h"
#include "texts/program_load_texts.h"

namespace mirelle::engine {

// The outcome of `result` for the words; `target_name` is the chip that a
// load without flash data is told about.
texts::LoadOutcome DescribeLoad(const hexfile::LoadResult& result, const std::string& target_name = {});

// The name of a program file format as messages and results give it:
// "S-record", "Intel HEX", "ELF" or "binary".
std::string ProgramFormatName(hexfile::ProgramFormat format);

// The facts of a load that a command-line run warns of (texts::LoadWarnings
// words them); `areas` are the chip's flash areas the load was given.
texts::LoadWarningFacts DescribeLoadWarnings(const hexfile::LoadResult& result, const std::string& target_name,
                                             const hexfile::ImageTarget& target);

// The warning for a load's data outside the flash areas of `target` ("" when
// there is none).
std::string OutsideDataWarning(const hexfile::LoadResult& load, const std::string& target);

}  // namespace mirelle::engine
