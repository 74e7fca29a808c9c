// The version text of the about box and the main window's hidden label.
#pragma once

#include <string>

namespace mirelle {

// "V%02d,L%02d" with P and Q / 100, plus " b%02d" with Q % 100 for a
// pre-release, where the product version is a.P.c.Q.
std::string FormatVersionText(int p, int q, bool prerelease);

// The text for this build's product version and pre-release flag.
std::string ProductVersionText();

}  // namespace mirelle
