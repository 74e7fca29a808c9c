// Dialog templates: a window described as data. Each window of the program
// keeps its template as a plain C++ table next to the code that owns it; the
// model builds its controls from it and a window backend builds real widgets
// from the same table. Positions and sizes are in dialog units.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mirelle::ui {

// A rectangle in dialog units; right and bottom are exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const Rect&) const = default;
};

struct Point {
    int x = 0;
    int y = 0;
};

enum class ControlKind {
    GroupBox,
    Label,        // static text
    Edit,
    Button,       // push button
    CheckBox,     // automatic check box
    RadioButton,  // automatic radio button; a group starts at kGroup
    DropList,     // drop-down list without an edit field
    DropDown,     // drop-down combo box with an edit field
    Picture,      // bitmap in a static control
    Icon,         // icon in a static control
    Progress,     // progress bar
    Tab,          // tab strip: one tab per entry, the selection is the chosen tab
};

// Control style flags.
enum ControlStyle : std::uint32_t {
    kHidden = 1u << 0,
    kDisabled = 1u << 1,
    kReadOnly = 1u << 2,
    kUpperCase = 1u << 3,     // edits convert typed text, lists show and return entries in capitals
    kSorted = 1u << 4,
    kMultiLine = 1u << 5,     // button text may wrap; an edit holds a listing of several lines
    kSunken = 1u << 6,
    kDefaultButton = 1u << 7,
    kCentered = 1u << 8,
    kBorder = 1u << 9,
    kGroup = 1u << 10,        // first control of a radio group
    kNoTabStop = 1u << 11,
    kLargeText = 1u << 12,    // a label drawn in a large bold font (a state word read from afar)
};

// A colour as 0xRRGGBB. kNoColor leaves a control in the system's own colours.
using Color = std::uint32_t;
inline constexpr Color kNoColor = 0xFF000000u;

// Window style flags.
enum DialogStyle : std::uint32_t {
    kCaption = 1u << 0,
    kSystemMenu = 1u << 1,
    kMinimizeBox = 1u << 2,
    kMaximizeBox = 1u << 3,
    kModalFrame = 1u << 4,
    kPopup = 1u << 5,
    kVisible = 1u << 6,  // shown as soon as created (modeless windows)
    kChild = 1u << 7,    // lives inside its owner's client area (property pages)
};

inline constexpr int kStaticId = -1;  // controls that the code never addresses

struct ControlTemplate {
    int id = kStaticId;
    ControlKind kind = ControlKind::Label;
    std::string text;  // caption; for a picture or icon the resource number as text
    int x = 0, y = 0, cx = 0, cy = 0;
    std::uint32_t style = 0;
    std::vector<std::string> items = {};  // initial entries of a list
};

struct DialogTemplate {
    int id = 0;
    std::string caption;
    std::string font;
    int font_size = 0;
    int cx = 0, cy = 0;
    std::uint32_t style = 0;
    std::vector<ControlTemplate> controls;
};

// The mnemonic letter of a caption: the character after a single '&', in
// capitals ("&&" is a literal ampersand); 0 when there is none.
char Mnemonic(const std::string& text);

}  // namespace mirelle::ui
