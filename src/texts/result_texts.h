// The texts of the result codes, which are named in result_codes.h. A result
// code is at the same time the id of its message in the string table; the
// English and the Japanese text of every code live here and are found
// through LoadString.
#pragma once

#include <cstddef>

#include "texts/result_codes.h"
#include "texts/string_table.h"

namespace mirelle {

namespace ids {
// Shown by the reporter after every report of kind 2 or 3.
inline constexpr int kRedoFromDownload = 537;
// Shown by the operations when the user cancelled.
inline constexpr int kCanceled = 560;
}  // namespace ids

struct ResultText {
    int id;
    const char* english;
    const char* japanese;
};

// Every result code and reporter text, in ascending id order.
const ResultText* ResultTexts(std::size_t& count);
// The entry of `id`, or null when it is none of these.
const ResultText* FindResultText(int id);

}  // namespace mirelle
