// The JSON writer of the --json output (platform/json_text.h), by the names
// the command-line code has always used.
#pragma once

#include "platform/json_text.h"

namespace mirelle::cli {

using sys::JsonObject;
using sys::JsonString;

}  // namespace mirelle::cli
