// <windows.h> comes first and its macros that name Backend and Dialog members
// go, so the class layouts are the same as everywhere else.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <uxtheme.h>
#undef MessageBox
#undef CreateWindow
#undef GetWindowText
#undef SetWindowText
#undef GetDlgItemText
#undef SetDlgItemText

#include "ui/win32/win32_backend.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/sound.h"
#include "platform/win32/wide_text.h"

namespace mirelle::ui {

namespace {

using sys::Narrow;
using sys::Widen;

// The fallback face where the template's is not installed: the dialog
// manager maps it to the system's own dialog font.
constexpr wchar_t kShellFace[] = L"MS Shell Dlg";

// Builds a DLGTEMPLATEEX with its items in a DWORD-aligned buffer.
class TemplateWriter {
public:
    void Word(WORD w) { words_.push_back(w); }
    void DWord(DWORD d) {
        Word(static_cast<WORD>(d & 0xFFFF));
        Word(static_cast<WORD>(d >> 16));
    }
    void Text(const std::wstring& s) {
        for (wchar_t c : s) Word(static_cast<WORD>(c));
        Word(0);
    }
    void Ordinal(WORD atom) {
        Word(0xFFFF);
        Word(atom);
    }
    void Align() {
        if (words_.size() % 2 != 0) Word(0);
    }
    const DLGTEMPLATE* Data() {
        Align();
        buffer_.assign((words_.size() + 1) / 2, 0);
        std::memcpy(buffer_.data(), words_.data(), words_.size() * sizeof(WORD));
        return reinterpret_cast<const DLGTEMPLATE*>(buffer_.data());
    }

private:
    std::vector<WORD> words_;
    std::vector<DWORD> buffer_;
};

bool FaceInstalled(const std::wstring& face) {
    if (face.empty() || face.size() >= LF_FACESIZE) return false;
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    wcscpy(lf.lfFaceName, face.c_str());
    HDC dc = ::GetDC(nullptr);
    bool found = false;
    ::EnumFontFamiliesExW(
        dc, &lf, [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM p) -> int {
            *reinterpret_cast<bool*>(p) = true;
            return 0;
        },
        reinterpret_cast<LPARAM>(&found), 0);
    ::ReleaseDC(nullptr, dc);
    return found;
}

DWORD DialogStyle(std::uint32_t s) {
    DWORD style = DS_SETFONT;
    if (s & kChild) style |= WS_CHILD | DS_CONTROL;
    else style |= WS_POPUP;
    if (s & kCaption) style |= WS_CAPTION;
    if (s & kSystemMenu) style |= WS_SYSMENU;
    if (s & kMinimizeBox) style |= WS_MINIMIZEBOX;
    if (s & kMaximizeBox) style |= WS_MAXIMIZEBOX;
    if (s & kModalFrame) style |= DS_MODALFRAME;
    return style;
}

bool TabStop(const ControlTemplate& t) {
    switch (t.kind) {
        case ControlKind::Edit:
        case ControlKind::Button:
        case ControlKind::CheckBox:
        case ControlKind::DropList:
        case ControlKind::DropDown:
        case ControlKind::Tab:
            return (t.style & kNoTabStop) == 0;
        case ControlKind::RadioButton:
            return (t.style & (kNoTabStop)) == 0 && (t.style & kGroup) != 0;
        default:
            return false;
    }
}

void WriteControl(TemplateWriter& out, const ControlTemplate& t) {
    DWORD style = WS_CHILD;
    DWORD ex = 0;
    if (!(t.style & kHidden)) style |= WS_VISIBLE;
    if (t.style & kDisabled) style |= WS_DISABLED;
    if (t.style & kGroup) style |= WS_GROUP;
    if (TabStop(t)) style |= WS_TABSTOP;
    WORD atom = 0;
    std::wstring klass;
    std::wstring text = Widen(t.text);
    switch (t.kind) {
        case ControlKind::GroupBox:
            atom = 0x0080;
            style |= BS_GROUPBOX;
            break;
        case ControlKind::Label:
            atom = 0x0082;
            style |= (t.style & kCentered) ? SS_CENTER : SS_LEFT;
            if (t.style & kSunken) style |= SS_SUNKEN | SS_LEFTNOWORDWRAP | SS_CENTERIMAGE;
            break;
        case ControlKind::Edit:
            atom = 0x0081;
            style |= ES_AUTOHSCROLL;
            // A read-only listing: several lines, scrolled both ways.
            if (t.style & kMultiLine) style |= ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_HSCROLL;
            if (t.style & kReadOnly) style |= ES_READONLY;
            if (t.style & kUpperCase) style |= ES_UPPERCASE;
            if (t.style & kCentered) style |= ES_CENTER;
            if (t.style & kBorder) ex |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Button:
            atom = 0x0080;
            style |= BS_NOTIFY | ((t.style & kDefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            if (t.style & kMultiLine) style |= BS_MULTILINE;
            break;
        case ControlKind::CheckBox:
            atom = 0x0080;
            style |= BS_CHECKBOX | BS_NOTIFY;
            break;
        case ControlKind::RadioButton:
            atom = 0x0080;
            style |= BS_RADIOBUTTON | BS_NOTIFY;
            break;
        case ControlKind::DropList:
        case ControlKind::DropDown:
            atom = 0x0085;
            style |= WS_VSCROLL | (t.kind == ControlKind::DropList ? CBS_DROPDOWNLIST : CBS_DROPDOWN | CBS_AUTOHSCROLL);
            if ((t.style & kUpperCase) && t.kind == ControlKind::DropDown) style |= CBS_UPPERCASE;
            text.clear();
            break;
        case ControlKind::Picture:
            atom = 0x0082;
            style |= SS_BITMAP | SS_REALSIZECONTROL | SS_CENTERIMAGE;
            if (t.style & kSunken) style |= SS_SUNKEN;
            text.clear();
            break;
        case ControlKind::Icon:
            atom = 0x0082;
            style |= SS_ICON | SS_REALSIZEIMAGE;
            text.clear();
            break;
        case ControlKind::Progress:
            klass = PROGRESS_CLASSW;
            ex |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Tab:
            klass = WC_TABCONTROLW;
            style |= WS_CLIPSIBLINGS;
            text.clear();
            break;
    }
    if (t.kind == ControlKind::Label && (t.style & kBorder)) style |= WS_BORDER;
    out.Align();
    out.DWord(0);  // help id
    out.DWord(ex);
    out.DWord(style);
    out.Word(static_cast<WORD>(t.x));
    out.Word(static_cast<WORD>(t.y));
    out.Word(static_cast<WORD>(t.cx));
    out.Word(static_cast<WORD>(t.cy));
    out.DWord(static_cast<DWORD>(t.id));
    if (atom != 0) out.Ordinal(atom);
    else out.Text(klass);
    out.Text(text);
    out.Word(0);  // no creation data
}

const DLGTEMPLATE* BuildTemplate(TemplateWriter& out, const Dialog& dialog) {
    const DialogTemplate& tpl = dialog.Template();
    out.Word(1);       // version
    out.Word(0xFFFF);  // extended template
    out.DWord(0);      // help id
    out.DWord((tpl.style & kChild) ? WS_EX_CONTROLPARENT : 0);
    out.DWord(DialogStyle(tpl.style));
    out.Word(static_cast<WORD>(tpl.controls.size()));
    const Rect r = dialog.GetWindowRect();
    out.Word(0);
    out.Word(0);
    out.Word(static_cast<WORD>(r.Width() > 0 ? r.Width() : tpl.cx));
    out.Word(static_cast<WORD>(r.Height() > 0 ? r.Height() : tpl.cy));
    out.Word(0);  // no menu
    out.Word(0);  // the dialog class
    out.Text(Widen(dialog.GetWindowText()));
    out.Word(static_cast<WORD>(tpl.font_size > 0 ? tpl.font_size : 9));
    out.Word(FW_NORMAL);
    out.Word(static_cast<WORD>(DEFAULT_CHARSET << 8));  // not italic; the character set
    out.Text(Widen(Win32Backend::FaceFor(tpl)));
    for (const ControlTemplate& c : tpl.controls) WriteControl(out, c);
    return out.Data();
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

// The one backend of the process, for the dialog procedure.
Win32Backend* g_backend = nullptr;

HICON LoadIconResource(int id, int size) {
    if (id == 0) return nullptr;
    if (id >= kIconHand && id <= kIconAsterisk) return ::LoadIconW(nullptr, MAKEINTRESOURCEW(id));
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size,
                                           LR_DEFAULTCOLOR));
}

// A control's whole text, however long.
std::string WindowText(HWND h) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(h)) + 1, L'\0');
    const int n = ::GetWindowTextW(h, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(0, n)));
    return Narrow(text);
}

int VirtualKeyOf(WPARAM vk) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return static_cast<int>(vk);
    switch (vk) {
        case VK_RETURN: return kVkReturn;
        case VK_ESCAPE: return kVkEscape;
        case VK_F4: return kVkF4;
        case VK_BACK: return kVkBack;
        case VK_SPACE: return ' ';
        default: return 0;
    }
}

}  // namespace

struct Win32Backend::Window {
    Dialog* dialog = nullptr;
    HWND hwnd = nullptr;
    std::vector<HWND> controls;           // in the order of dialog->Controls()
    std::map<int, std::size_t> index;     // control id -> position
    std::map<HWND, int> control_ids;      // control window -> control id
    std::vector<HICON> icons;             // loaded for this window, freed with it
    std::vector<HBITMAP> bitmaps;
    HFONT large_font = nullptr;           // the large labels' font, made with the window
    HWND tooltip = nullptr;
    bool syncing = false;
    bool accepts_files = false;
};

std::string Win32Backend::FaceFor(const DialogTemplate& tpl) {
    const std::wstring face = Widen(tpl.font);
    return Narrow(FaceInstalled(face) ? face : std::wstring(kShellFace));
}

Win32Backend::Win32Backend() {
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
    g_backend = this;
}

Win32Backend::~Win32Backend() {
    for (auto& [dialog, w] : windows_) {
        const_cast<Dialog*>(dialog)->SetObserver(nullptr);
        if (w->hwnd != nullptr) ::DestroyWindow(w->hwnd);
        if (w->large_font != nullptr) ::DeleteObject(w->large_font);
    }
    windows_.clear();
    by_handle_.clear();
    if (g_backend == this) g_backend = nullptr;
}

Win32Backend::Window* Win32Backend::WindowOfHandle(HWND hwnd) const {
    auto it = by_handle_.find(hwnd);
    return it == by_handle_.end() ? nullptr : it->second;
}

HWND Win32Backend::WindowOf(const Dialog& dialog) const {
    auto it = windows_.find(&dialog);
    return it == windows_.end() ? nullptr : it->second->hwnd;
}

HWND Win32Backend::ControlOf(const Dialog& dialog, int id) const {
    auto it = windows_.find(&dialog);
    if (it == windows_.end()) return nullptr;
    auto i = it->second->index.find(id);
    return i == it->second->index.end() ? nullptr : it->second->controls[i->second];
}

bool Win32Backend::CreateWindow(Dialog& dialog, Dialog* owner, bool /*modal*/) {
    HWND parent = owner != nullptr ? WindowOf(*owner) : nullptr;
    if (dialog.IsChild() && parent == nullptr) return false;
    auto w = std::make_unique<Window>();
    w->dialog = &dialog;
    Window& ref = *w;
    windows_[&dialog] = std::move(w);
    TemplateWriter writer;
    const DLGTEMPLATE* tpl = BuildTemplate(writer, dialog);
    HWND hwnd = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), tpl, parent, DialogProc,
                                             reinterpret_cast<LPARAM>(&ref));
    if (hwnd == nullptr) {
        windows_.erase(&dialog);
        return false;
    }
    ref.hwnd = hwnd;
    by_handle_[hwnd] = &ref;
    // A page in a sheet is drawn with the tab strip's own background.
    if (dialog.IsChild()) ::EnableThemeDialogTexture(hwnd, ETDT_ENABLETAB);
    BindControls(ref);
    ApplyGeometry(ref);
    dialog.SetObserver(this);
    if (dialog.Icon() != 0) OnDialogChanged(dialog, {ChangeKind::WindowIcon, 0});
    ApplySystemMenu(ref);
    return true;
}

void Win32Backend::BindControls(Window& w) {
    const auto& controls = w.dialog->Controls();
    w.controls.clear();
    w.index.clear();
    w.control_ids.clear();
    // The dialog manager makes the controls in template order, each at the
    // bottom of the sibling order.
    HWND child = ::GetWindow(w.hwnd, GW_CHILD);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        w.controls.push_back(child);
        const int id = controls[i].tpl.id;
        if (child != nullptr) w.control_ids[child] = id;
        if (id != kStaticId) w.index[id] = i;
        // A listing keeps its columns in the system's fixed-width font.
        if (child != nullptr && controls[i].tpl.kind == ControlKind::Edit && (controls[i].tpl.style & kMultiLine))
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(ANSI_FIXED_FONT)), FALSE);
        // A large label: the dialog's font, bold, at twice its height.
        if (child != nullptr && controls[i].tpl.kind == ControlKind::Label && (controls[i].tpl.style & kLargeText)) {
            if (w.large_font == nullptr) {
                LOGFONTW lf{};
                const auto dialog_font = reinterpret_cast<HFONT>(::SendMessageW(w.hwnd, WM_GETFONT, 0, 0));
                if (dialog_font != nullptr && ::GetObjectW(dialog_font, sizeof lf, &lf) == sizeof lf) {
                    lf.lfHeight *= 2;
                    lf.lfWidth = 0;
                    lf.lfWeight = FW_BOLD;
                    w.large_font = ::CreateFontIndirectW(&lf);
                }
            }
            if (w.large_font != nullptr)
                ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(w.large_font), FALSE);
        }
        if (child != nullptr) child = ::GetWindow(child, GW_HWNDNEXT);
    }
    for (std::size_t i = 0; i < controls.size(); ++i)
        for (ChangeKind k : {ChangeKind::Text, ChangeKind::Items, ChangeKind::Selection, ChangeKind::Check,
                             ChangeKind::Enabled, ChangeKind::Visible, ChangeKind::TextLimit, ChangeKind::Progress,
                             ChangeKind::ControlIcon, ChangeKind::DefaultButton, ChangeKind::TextColor})
            ApplyControl(w, i, k);
}

void Win32Backend::ApplyControl(Window& w, std::size_t index, ChangeKind kind) {
    if (index >= w.controls.size() || w.controls[index] == nullptr) return;
    const ControlState& c = w.dialog->Controls()[index];
    const HWND h = w.controls[index];
    const ControlTemplate& t = c.tpl;
    const bool was_syncing = w.syncing;
    w.syncing = true;
    switch (kind) {
        case ChangeKind::Text:
            if (t.kind == ControlKind::Edit || t.kind == ControlKind::DropDown) {
                // Only a real change, so the caret stays where the user typed.
                if (WindowText(h) != c.text) ::SetWindowTextW(h, Widen(c.text).c_str());
            } else if (t.kind != ControlKind::DropList && t.kind != ControlKind::Picture &&
                       t.kind != ControlKind::Icon && t.kind != ControlKind::Progress && t.kind != ControlKind::Tab) {
                ::SetWindowTextW(h, Widen(c.text).c_str());
                if (t.kind == ControlKind::Label) ::UpdateWindow(h);  // status texts show at once
            }
            break;
        case ChangeKind::Items:
            if (t.kind == ControlKind::Tab) {
                TabCtrl_DeleteAllItems(h);
                for (std::size_t i = 0; i < c.items.size(); ++i) {
                    std::wstring text = Widen(c.items[i]);
                    TCITEMW item{};
                    item.mask = TCIF_TEXT;
                    item.pszText = text.data();
                    ::SendMessageW(h, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
                }
                if (c.selection >= 0) TabCtrl_SetCurSel(h, c.selection);
            } else if (c.IsList()) {
                ::SendMessageW(h, CB_RESETCONTENT, 0, 0);
                for (const std::string& item : c.items)
                    ::SendMessageW(h, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
                ::SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(c.selection), 0);
            }
            break;
        case ChangeKind::Selection:
            if (t.kind == ControlKind::Tab) {
                if (c.selection >= 0) TabCtrl_SetCurSel(h, c.selection);
            } else if (c.IsList()) {
                ::SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(c.selection), 0);
                if (t.kind == ControlKind::DropDown) ::SetWindowTextW(h, Widen(c.text).c_str());
            }
            break;
        case ChangeKind::Check:
            if (t.kind == ControlKind::CheckBox || t.kind == ControlKind::RadioButton)
                ::SendMessageW(h, BM_SETCHECK, c.check ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case ChangeKind::Enabled:
            ::EnableWindow(h, c.enabled);
            break;
        case ChangeKind::Visible:
            ::ShowWindow(h, c.visible ? SW_SHOWNA : SW_HIDE);
            break;
        case ChangeKind::TextLimit:
            if (t.kind == ControlKind::Edit) ::SendMessageW(h, EM_LIMITTEXT, c.text_limit > 0 ? c.text_limit : 0, 0);
            else if (t.kind == ControlKind::DropDown) ::SendMessageW(h, CB_LIMITTEXT, c.text_limit, 0);
            break;
        case ChangeKind::Progress:
            if (t.kind == ControlKind::Progress) {
                int lo = std::min(c.range_lower, c.range_upper);
                int hi = std::max(c.range_lower, c.range_upper);
                if (hi == lo) hi = lo + 1;
                ::SendMessageW(h, PBM_SETRANGE32, lo, hi);
                ::SendMessageW(h, PBM_SETPOS, std::clamp(c.position, lo, hi), 0);
            }
            break;
        case ChangeKind::ControlIcon:
            if (t.kind == ControlKind::Icon) {
                HICON icon = LoadIconResource(c.icon, ::GetSystemMetrics(SM_CXICON));
                if (icon != nullptr && c.icon < kIconHand) w.icons.push_back(icon);
                ::SendMessageW(h, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
            } else if (t.kind == ControlKind::Picture) {
                // The picture fills its control, inside the sunken frame.
                RECT r;
                ::GetClientRect(h, &r);
                HBITMAP bitmap = c.icon == 0 ? nullptr
                                             : static_cast<HBITMAP>(::LoadImageW(
                                                   ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(c.icon), IMAGE_BITMAP,
                                                   r.right - r.left, r.bottom - r.top, LR_DEFAULTCOLOR));
                if (bitmap != nullptr) w.bitmaps.push_back(bitmap);
                ::SendMessageW(h, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
                ::SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE |
                                                           SWP_FRAMECHANGED);
            }
            break;
        case ChangeKind::DefaultButton:
            if (t.kind == ControlKind::Button)
                ::SendMessageW(h, BM_SETSTYLE, c.is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
            break;
        case ChangeKind::TextColor:
            // Drawn in the new colour through WM_CTLCOLORSTATIC.
            if (t.kind == ControlKind::Label) ::InvalidateRect(h, nullptr, TRUE);
            break;
        default:
            break;
    }
    w.syncing = was_syncing;
}

void Win32Backend::Resync(Window& w, int id) {
    auto it = w.index.find(id);
    if (it == w.index.end()) return;
    for (ChangeKind k : {ChangeKind::Text, ChangeKind::Selection, ChangeKind::Check}) ApplyControl(w, it->second, k);
}

void Win32Backend::ApplyGeometry(Window& w) {
    const Rect r = w.dialog->GetWindowRect();
    // Dialog units of the window itself; a page is placed in its sheet's.
    HWND units = w.hwnd;
    if (w.dialog->IsChild()) units = ::GetParent(w.hwnd);
    // The corner and the size each mapped, so that the size does not change
    // with where the window stands (mapping both edges rounds each of them).
    RECT corner{r.left, r.top, 0, 0};
    RECT size{0, 0, r.Width(), r.Height()};
    ::MapDialogRect(units, &corner);
    ::MapDialogRect(units, &size);
    RECT px{corner.left, corner.top, corner.left + size.right, corner.top + size.bottom};
    if (!w.dialog->IsChild()) {
        const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(w.hwnd, GWL_STYLE));
        const DWORD ex = static_cast<DWORD>(::GetWindowLongPtrW(w.hwnd, GWL_EXSTYLE));
        const POINT at{px.left, px.top};
        ::AdjustWindowRectEx(&px, style, FALSE, ex);
        // The frame's corner goes where the model places the window, as a
        // top-level widget moves on Linux: a window at the screen's corner
        // keeps its caption on the screen.
        ::OffsetRect(&px, at.x - px.left, at.y - px.top);
    }
    ::SetWindowPos(w.hwnd, nullptr, px.left, px.top, px.right - px.left, px.bottom - px.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Backend::ApplySystemMenu(Window& w) {
    if (!(w.dialog->Template().style & kSystemMenu)) return;
    ::GetSystemMenu(w.hwnd, TRUE);  // back to the system's own
    HMENU menu = ::GetSystemMenu(w.hwnd, FALSE);
    if (menu == nullptr) return;
    const auto& items = w.dialog->SystemMenu();
    auto has = [&items](int command) {
        return std::any_of(items.begin(), items.end(), [command](const SystemMenuItem& i) { return i.command == command; });
    };
    static constexpr int kStandard[] = {kScRestore, kScMove, kScSize, kScMinimize, kScMaximize, kScClose};
    for (int command : kStandard)
        if (!has(command)) ::DeleteMenu(menu, static_cast<UINT>(command), MF_BYCOMMAND);
    // The window's own commands follow the system's, each group after a separator.
    bool after_close = false;
    bool pending_separator = false;
    for (const SystemMenuItem& item : items) {
        if (item.command == kScClose) {
            after_close = true;
            continue;
        }
        if (!after_close) continue;
        if (item.command == 0) {
            pending_separator = true;
            continue;
        }
        if (std::find(std::begin(kStandard), std::end(kStandard), item.command) != std::end(kStandard)) continue;
        if (pending_separator) ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        pending_separator = false;
        ::AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(item.command), Widen(item.text).c_str());
    }
}

void Win32Backend::DestroyWindow(Dialog& dialog) {
    auto it = windows_.find(&dialog);
    if (it == windows_.end()) return;
    std::unique_ptr<Window> w = std::move(it->second);
    windows_.erase(it);
    dialog.SetObserver(nullptr);
    if (w->hwnd != nullptr) {
        by_handle_.erase(w->hwnd);
        if (hover_ != nullptr && (hover_ == w->hwnd || ::IsChild(w->hwnd, hover_))) hover_ = nullptr;
        if (tip_owner_ == w->hwnd) tip_owner_ = nullptr;
        ::SetWindowLongPtrW(w->hwnd, DWLP_USER, 0);
        ::DestroyWindow(w->hwnd);
    }
    for (HICON icon : w->icons) ::DestroyIcon(icon);
    for (HBITMAP bitmap : w->bitmaps) ::DeleteObject(bitmap);
    if (w->large_font != nullptr) ::DeleteObject(w->large_font);
    // The modal loop of this window looks at the model; wake it.
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
}

void Win32Backend::RunModal(Dialog& dialog) {
    MSG msg;
    while (!dialog.Ended() && windows_.count(&dialog) != 0) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // A quit request ends every loop; the outer ones see it too.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            dialog.EndDialog(kIdCancel);
            break;
        }
        if (got < 0) break;
        Dispatch(&msg);
    }
}

void Win32Backend::EndModal(Dialog& /*dialog*/) { ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0); }

void Win32Backend::PumpEvents() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        Dispatch(&msg);
    }
}

void Win32Backend::Dispatch(void* m) {
    MSG& msg = *static_cast<MSG*>(m);
    if (PreTranslate(&msg)) return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

// Keys and mouse input of our windows meet the model before any control.
// Returns true when the message is done with.
bool Win32Backend::PreTranslate(void* m) {
    MSG& msg = *static_cast<MSG*>(m);
    if (msg.hwnd == nullptr) return false;
    // The innermost window of ours that holds the target (a page in a sheet).
    Window* w = nullptr;
    for (HWND h = msg.hwnd; h != nullptr; h = ::GetParent(h)) {
        if ((w = WindowOfHandle(h)) != nullptr) break;
        if (!(::GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD)) break;
    }
    if (w == nullptr) return false;
    Dialog& d = *w->dialog;
    const UINT type = msg.message;
    const bool keyboard = type >= WM_KEYFIRST && type <= WM_KEYLAST;
    const bool mouse = type >= WM_MOUSEFIRST && type <= WM_MOUSELAST;
    if ((keyboard || mouse) && !d.AcceptsInput()) return true;
    const HWND hwnd = w->hwnd;
    auto control_of = [w](HWND h) {
        for (; h != nullptr && h != w->hwnd; h = ::GetParent(h)) {
            auto it = w->control_ids.find(h);
            if (it != w->control_ids.end()) return it->second;
        }
        return 0;
    };
    switch (type) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN: {
            const bool alt = type == WM_SYSKEYDOWN && (msg.lParam & (1 << 29)) != 0;
            const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;
            const bool shift = ::GetKeyState(VK_SHIFT) < 0;
            if (msg.wParam == VK_TAB && !alt) {
                InputEvent e = InputEvent::Key(kVkTab);
                e.ctrl = ctrl;
                e.shift = shift;
                if (ctrl) {
                    d.Deliver(e);
                    return true;
                }
                if (shift) {
                    // Backwards through the tab stops; the control's focus
                    // notification tells the model.
                    HWND next = ::GetNextDlgTabItem(hwnd, ::GetFocus(), TRUE);
                    if (next != nullptr) ::SetFocus(next);
                    return true;
                }
                d.Deliver(e);
                return true;
            }
            if (ctrl && !alt) return false;  // the editing keys of the control
            const int vk = VirtualKeyOf(msg.wParam);
            if (vk == 0) return false;
            if (vk == ' ' && alt) return false;  // Alt+Space opens the system menu
            if (vk == ' ' && !alt) return false;  // Space presses the focused button itself
            const bool consumed = d.Deliver(InputEvent::Key(vk, alt));
            return consumed || vk == kVkReturn || vk == kVkEscape;
        }
        case WM_CHAR:
            // Enter and Esc were the model's; the control must not beep for them.
            return msg.wParam == '\r' || msg.wParam == 0x1B;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK: {
            POINT at{static_cast<short>(LOWORD(msg.lParam)), static_cast<short>(HIWORD(msg.lParam))};
            ::MapWindowPoints(msg.hwnd, hwnd, &at, 1);
            RECT unit{0, 0, 4, 8};
            ::MapDialogRect(hwnd, &unit);
            InputEvent e;
            e.kind = type == WM_RBUTTONDBLCLK ? InputKind::RightButtonDoubleClick : InputKind::RightButtonDown;
            e.point = {at.x * 4 / std::max<LONG>(1, unit.right), at.y * 8 / std::max<LONG>(1, unit.bottom)};
            d.Deliver(e);
            return true;
        }
        case WM_MOUSEMOVE:
            if (msg.hwnd != hover_) {
                HideToolTip();
                hover_ = msg.hwnd;
                TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, msg.hwnd, HOVER_DEFAULT};
                ::TrackMouseEvent(&track);
            }
            return false;
        case WM_MOUSEHOVER: {
            const int id = control_of(msg.hwnd);
            if (id != 0 && id != kStaticId) {
                InputEvent e;
                e.kind = InputKind::MouseHover;
                e.control = id;
                d.Deliver(e);
            }
            return false;
        }
        case WM_MOUSELEAVE:
            if (msg.hwnd == hover_) {
                hover_ = nullptr;
                HideToolTip();
            }
            return false;
        default:
            return false;
    }
}

void Win32Backend::HideToolTip() {
    if (tip_owner_ == nullptr) return;
    if (Window* w = WindowOfHandle(tip_owner_); w != nullptr && w->tooltip != nullptr) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.hwnd = w->hwnd;
        tool.uId = 1;
        ::SendMessageW(w->tooltip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    }
    tip_owner_ = nullptr;
}

void Win32Backend::ShowToolTip(Dialog& dialog, int control, const std::string& text) {
    auto it = windows_.find(&dialog);
    if (it == windows_.end() || text.empty() || ControlOf(dialog, control) == nullptr) return;
    Window& w = *it->second;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = w.hwnd;
    tool.uId = 1;
    std::wstring wide = Widen(text);
    tool.lpszText = wide.data();
    if (w.tooltip == nullptr) {
        w.tooltip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                      0, 0, 0, 0, w.hwnd, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        if (w.tooltip == nullptr) return;
        tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
        ::SendMessageW(w.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        ::SendMessageW(w.tooltip, TTM_SETMAXTIPWIDTH, 0, 400);
    }
    ::SendMessageW(w.tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    POINT at;
    ::GetCursorPos(&at);
    ::SendMessageW(w.tooltip, TTM_TRACKPOSITION, 0, MAKELPARAM(at.x + 12, at.y + 20));
    ::SendMessageW(w.tooltip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    tip_owner_ = w.hwnd;
}

long long Win32Backend::DialogMessage(Window& w, unsigned message, unsigned long long wparam, long long lparam) {
    Dialog& d = *w.dialog;
    const HWND hwnd = w.hwnd;
    switch (message) {
        case WM_COMMAND: {
            if (w.syncing || lparam == 0) return TRUE;
            const int id = static_cast<int>(static_cast<short>(LOWORD(wparam)));
            const int code = HIWORD(wparam);
            auto it = w.index.find(id);
            if (it == w.index.end()) return TRUE;
            const ControlState& c = d.Controls()[it->second];
            const HWND h = reinterpret_cast<HWND>(lparam);
            InputEvent e;
            e.control = id;
            bool resync = false;
            switch (c.tpl.kind) {
                case ControlKind::Button:
                case ControlKind::CheckBox:
                case ControlKind::RadioButton:
                    if (code == BN_CLICKED) {
                        e.kind = InputKind::Click;
                        resync = c.tpl.kind != ControlKind::Button;  // the model owns the check
                    } else if (code == BN_SETFOCUS) {
                        e.kind = InputKind::FocusChanged;
                    } else {
                        return TRUE;
                    }
                    break;
                case ControlKind::Edit:
                    if (code == EN_CHANGE) {
                        e = InputEvent::TextEditedIn(id, WindowText(h));
                        resync = true;
                    } else if (code == EN_SETFOCUS) {
                        e.kind = InputKind::FocusChanged;
                    } else {
                        return TRUE;
                    }
                    break;
                case ControlKind::DropList:
                case ControlKind::DropDown:
                    if (code == CBN_SELCHANGE) {
                        e = InputEvent::SelectionIn(id, static_cast<int>(::SendMessageW(h, CB_GETCURSEL, 0, 0)));
                        resync = true;
                    } else if (code == CBN_EDITCHANGE) {
                        e = InputEvent::TextEditedIn(id, WindowText(h));
                        resync = true;
                    } else if (code == CBN_SETFOCUS) {
                        e.kind = InputKind::FocusChanged;
                    } else {
                        return TRUE;
                    }
                    break;
                default:
                    return TRUE;
            }
            const bool consumed = d.Deliver(e);
            // The handler may have closed the window: look it up again.
            if (Window* again = WindowOfHandle(hwnd); again != nullptr && (resync || !consumed))
                if (e.kind != InputKind::FocusChanged) Resync(*again, id);
            return TRUE;
        }
        case WM_NOTIFY: {
            const NMHDR* n = reinterpret_cast<const NMHDR*>(lparam);
            if (w.syncing || n == nullptr || n->code != TCN_SELCHANGE) return FALSE;
            const int id = static_cast<int>(n->idFrom);
            const bool consumed = d.Deliver(InputEvent::SelectionIn(id, TabCtrl_GetCurSel(n->hwndFrom)));
            if (Window* again = WindowOfHandle(hwnd); again != nullptr && !consumed) Resync(*again, id);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC: {
            // A label with a colour of its own: its text in that colour on
            // the dialog's background.
            auto it = w.control_ids.find(reinterpret_cast<HWND>(lparam));
            const ControlState* c = it == w.control_ids.end() ? nullptr : d.FindControl(it->second);
            if (c == nullptr || c->tpl.kind != ControlKind::Label || c->text_color == kNoColor) return FALSE;
            HDC dc = reinterpret_cast<HDC>(wparam);
            const Color rgb = c->text_color;
            ::SetTextColor(dc, RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
            ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<long long>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_CLOSE: {
            InputEvent e;
            e.kind = InputKind::Close;
            d.Deliver(e);
            return TRUE;
        }
        case WM_SYSCOMMAND: {
            const int command = static_cast<int>(wparam & 0xFFF0);
            if (command == kScClose) {
                InputEvent e;
                e.kind = InputKind::Close;
                d.Deliver(e);
                return TRUE;
            }
            if (command == static_cast<int>(SC_KEYMENU) || command == static_cast<int>(SC_MOUSEMENU)) return FALSE;
            InputEvent e;
            e.kind = InputKind::SysCommand;
            e.command = static_cast<int>(wparam);
            d.Deliver(e);
            // Moving, sizing and minimizing are the system's to carry out.
            static constexpr int kStandard[] = {kScRestore, kScMove, kScSize, kScMinimize, kScMaximize};
            const bool standard =
                std::find(std::begin(kStandard), std::end(kStandard), command) != std::end(kStandard);
            return standard ? FALSE : TRUE;
        }
        case WM_DROPFILES: {
            HDROP drop = reinterpret_cast<HDROP>(wparam);
            InputEvent e;
            e.kind = InputKind::DropFiles;
            const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
            for (UINT i = 0; i < count; ++i) {
                std::wstring name(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
                ::DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size()));
                name.resize(name.size() - 1);
                e.files.push_back(Narrow(name));
            }
            ::DragFinish(drop);
            if (!e.files.empty()) d.Deliver(e);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

namespace {

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
        return FALSE;  // the model gives the focus
    }
    auto* w = reinterpret_cast<Win32Backend::Window*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (w == nullptr || g_backend == nullptr || g_backend->WindowOfHandle(hwnd) != w) return FALSE;
    const long long result = g_backend->DialogMessage(*w, message, wparam, lparam);
    if (result != 0 && (message == WM_COMMAND || message == WM_NOTIFY || message == WM_SYSCOMMAND)) {
        ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 0);
    }
    return static_cast<INT_PTR>(result);
}

}  // namespace

void Win32Backend::OnDialogChanged(Dialog& dialog, const Change& change) {
    auto it = windows_.find(&dialog);
    if (it == windows_.end() || it->second->hwnd == nullptr) return;
    Window& w = *it->second;
    if (w.accepts_files != dialog.AcceptsFiles()) {
        w.accepts_files = dialog.AcceptsFiles();
        ::DragAcceptFiles(w.hwnd, w.accepts_files);
    }
    if (change.control != 0) {
        if (change.kind == ChangeKind::DefaultButton) {
            for (std::size_t k = 0; k < w.controls.size(); ++k) ApplyControl(w, k, ChangeKind::DefaultButton);
            return;
        }
        auto i = w.index.find(change.control);
        if (i == w.index.end()) return;
        if (change.kind == ChangeKind::Focus) {
            HWND h = w.controls[i->second];
            if (h != nullptr && ::GetFocus() != h && ::IsWindowVisible(w.hwnd)) {
                w.syncing = true;
                ::SetFocus(h);
                if (dialog.Controls()[i->second].IsEdit()) ::SendMessageW(h, EM_SETSEL, 0, -1);
                w.syncing = false;
            }
            return;
        }
        ApplyControl(w, i->second, change.kind);
        return;
    }
    switch (change.kind) {
        case ChangeKind::Caption:
            ::SetWindowTextW(w.hwnd, Widen(dialog.GetWindowText()).c_str());
            break;
        case ChangeKind::WindowEnabled:
            ::EnableWindow(w.hwnd, dialog.IsWindowEnabled());
            // An owner enabled again after its modal window went takes the
            // activation back, which the system gave to no one while it was
            // disabled.
            if (dialog.IsWindowEnabled() && !dialog.IsChild() && ::IsWindowVisible(w.hwnd) &&
                ::GetActiveWindow() == nullptr)
                ::SetForegroundWindow(w.hwnd);
            break;
        case ChangeKind::WindowVisible:
            if (dialog.IsWindowVisible()) {
                ::ShowWindow(w.hwnd, dialog.IsChild() ? SW_SHOWNA : SW_SHOW);
                if (!dialog.IsChild()) ::SetForegroundWindow(w.hwnd);
                if (HWND f = ControlOf(dialog, dialog.GetFocus())) {
                    w.syncing = true;
                    ::SetFocus(f);
                    w.syncing = false;
                }
                ::UpdateWindow(w.hwnd);
            } else {
                ::ShowWindow(w.hwnd, SW_HIDE);
            }
            break;
        case ChangeKind::WindowGeometry:
            ApplyGeometry(w);
            break;
        case ChangeKind::WindowIcon: {
            HICON big = LoadIconResource(dialog.Icon(), ::GetSystemMetrics(SM_CXICON));
            HICON small = LoadIconResource(dialog.Icon(), ::GetSystemMetrics(SM_CXSMICON));
            for (HICON icon : {big, small})
                if (icon != nullptr && dialog.Icon() < kIconHand) w.icons.push_back(icon);
            ::SendMessageW(w.hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
            ::SendMessageW(w.hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
            break;
        }
        case ChangeKind::BringToTop:
            ::SetForegroundWindow(w.hwnd);
            ::BringWindowToTop(w.hwnd);
            break;
        case ChangeKind::SystemMenu:
            ApplySystemMenu(w);
            break;
        case ChangeKind::DefaultButton:
            for (std::size_t k = 0; k < w.controls.size(); ++k) ApplyControl(w, k, ChangeKind::DefaultButton);
            break;
        case ChangeKind::Focus:
            if (dialog.GetFocus() == 0) {
                HWND f = ::GetFocus();
                if (f != nullptr && ::IsChild(w.hwnd, f)) {
                    w.syncing = true;
                    ::SetFocus(w.hwnd);
                    w.syncing = false;
                }
            }
            break;
        default:
            break;
    }
}

Rect Win32Backend::ScreenRect() {
    RECT area{0, 0, 1024, 768};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    // Dialog units of the windows' font, measured on a window of that font.
    static RECT unit = [] {
        RECT r{0, 0, 4, 8};
        DialogTemplate probe;
        probe.font = "ＭＳ Ｐゴシック";
        probe.font_size = 10;
        probe.style = kPopup;
        Dialog model(probe);
        TemplateWriter writer;
        HWND h = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), BuildTemplate(writer, model), nullptr,
                                              [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
        if (h != nullptr) {
            ::MapDialogRect(h, &r);
            ::DestroyWindow(h);
        }
        return r;
    }();
    const LONG bx = std::max<LONG>(1, unit.right);
    const LONG by = std::max<LONG>(1, unit.bottom);
    return {static_cast<int>(area.left * 4 / bx), static_cast<int>(area.top * 8 / by),
            static_cast<int>(area.right * 4 / bx), static_cast<int>(area.bottom * 8 / by)};
}

int Win32Backend::MessageBox(const MessageBoxRequest& request) {
    HWND owner = request.owner != nullptr ? WindowOf(*request.owner) : nullptr;
    UINT type = MB_SETFOREGROUND;
    switch (request.buttons) {
        case MessageButtons::Ok: type |= MB_OK; break;
        case MessageButtons::OkCancel: type |= MB_OKCANCEL; break;
        case MessageButtons::YesNo: type |= MB_YESNO; break;
    }
    switch (request.icon) {
        case MessageIcon::Information: type |= MB_ICONINFORMATION; break;
        case MessageIcon::Exclamation: type |= MB_ICONEXCLAMATION; break;
        case MessageIcon::Stop: type |= MB_ICONSTOP; break;
        case MessageIcon::Question: type |= MB_ICONQUESTION; break;
        case MessageIcon::None: break;
    }
    if (owner == nullptr) type |= MB_TASKMODAL;
    HideToolTip();
    const int answer = ::MessageBoxW(owner, Widen(request.text).c_str(), Widen(request.caption).c_str(), type);
    switch (answer) {
        case IDCANCEL: return request.buttons == MessageButtons::OkCancel ? kIdCancel : kIdOk;
        case IDYES: return kIdYes;
        case IDNO: return kIdNo;
        default: return request.buttons == MessageButtons::YesNo ? kIdNo : kIdOk;
    }
}

std::optional<std::string> Win32Backend::FileDialog(const FileDialogRequest& request) {
    // "description|pattern|...||" with the separators as the system wants them.
    std::wstring filter = Widen(request.filter);
    for (wchar_t& c : filter)
        if (c == L'|') c = L'\0';
    filter.push_back(L'\0');
    // The start folder may be given as a file's path: then its folder is
    // used, and the file is not preselected.
    std::wstring dir = Widen(request.initial_dir);
    const DWORD attributes = dir.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(dir.c_str());
    if (!dir.empty() && (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))) {
        const std::size_t slash = dir.find_last_of(L"\\/");
        dir = slash == std::wstring::npos ? std::wstring() : dir.substr(0, slash);
    }
    std::vector<wchar_t> name(32768, L'\0');
    const std::wstring initial = Widen(request.initial_name);
    if (initial.size() < name.size()) std::copy(initial.begin(), initial.end(), name.begin());
    const std::wstring extension = Widen(request.default_extension);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = request.owner != nullptr ? WindowOf(*request.owner) : nullptr;
    ofn.lpstrFilter = request.filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
    ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    // A save dialog always takes new names.
    if ((request.flags & kFileMustExist) && !request.save) ofn.Flags |= OFN_FILEMUSTEXIST;
    if (request.flags & kOverwritePrompt) ofn.Flags |= OFN_OVERWRITEPROMPT;
    if (request.flags & kHideReadOnly) ofn.Flags |= OFN_HIDEREADONLY;
    if (request.flags & kNoNetworkButton) ofn.Flags |= OFN_NONETWORKBUTTON;
    HideToolTip();
    const BOOL ok = request.save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
    if (!ok) return std::nullopt;
    return Narrow(name.data());
}

void Win32Backend::PlayWave(const std::string& path) { sys::PlayWaveFile(path); }
void Win32Backend::StopSound() { sys::StopWave(); }
void Win32Backend::Beep() { sys::SimpleBeep(); }

bool Win32Backend::OpenWithViewer(const std::string& path) {
    const HINSTANCE result = ::ShellExecuteW(nullptr, L"open", Widen(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace mirelle::ui
