// The Windows backend with real dialogs (run under Wine with a virtual X
// server by scripts/test-windows): windows built from their templates, worked
// with window messages as the system delivers input. Screenshots of every
// window go to test-artifacts/*.bmp of the build folder.
// <windows.h> first, without its macros that rename the backend's members.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <dlgs.h>
#undef MessageBox
#undef CreateWindow
#undef GetWindowText
#undef SetWindowText
#undef GetDlgItemText
#undef SetDlgItemText

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/windows/about_dlg.h"
#include "app/windows/check_sum_dlg.h"
#include "app/windows/control_ids.h"
#include "app/windows/history_dlg.h"
#include "app/windows/progress_dlg.h"
#include "app/windows/station_dlg.h"
#include "app/windows/writer_dlg.h"
#include "platform/win32/wide_text.h"
#include "ui/win32/win32_backend.h"
#include "scenario/main_window_fixture.h"
#include "support/program_folder.h"
#include "support/progress_looks.h"
#include "support/station_looks.h"

namespace mirelle::test {

namespace {

namespace fs = std::filesystem;
using ui::ControlKind;

ui::Win32Backend& Backend() {
    static ui::Win32Backend backend;
    return backend;
}

// Every pending message, so that what was posted has arrived.
void Pump() { Backend().PumpEvents(); }

// The window as the screen shows it, as a 24-bit BMP.
void SaveShot(HWND hwnd, const std::string& name) {
    ASSERT_NE(hwnd, nullptr);
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Pump();
    RECT r;
    ::GetWindowRect(hwnd, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(mem, bitmap);
    ::BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(mem, old);
    BITMAPINFOHEADER info{sizeof(info), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const int stride = (w * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<std::size_t>(stride) * h);
    ::GetDIBits(mem, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    BITMAPFILEHEADER file{0x4D42, 0, 0, 0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    const fs::path dir = fs::path(MIRELLE_BINARY_DIR) / "test-artifacts";
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof(file));
    out.write(reinterpret_cast<const char*>(&info), sizeof(info));
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    EXPECT_TRUE(out.good()) << name;
}

// A control's rectangle in its dialog's client pixels.
RECT ClientRectOf(HWND control) {
    RECT r;
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// As the dialog manager places a control: position and size each mapped.
RECT Pixels(HWND dialog, int x, int y, int cx, int cy) {
    RECT r{x, y, cx, cy};
    ::MapDialogRect(dialog, &r);
    return {r.left, r.top, r.left + r.right, r.top + r.bottom};
}

std::string TextOf(HWND hwnd) {
    wchar_t buf[512] = {};
    ::GetWindowTextW(hwnd, buf, 512);
    return sys::Narrow(buf);
}

// What a window shows is whole: every control that shows lies wholly inside
// the client area or wholly below it (the progress window leaves its lower
// controls out by its height), and its text fits it, as its font draws it.
// Child dialogs (a sheet's page) are looked at the same way.
void ExpectControlsWhole(HWND dialog, const std::string& name) {
    RECT client;
    ::GetClientRect(dialog, &client);
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!::IsWindowVisible(child)) continue;
        wchar_t klass_text[32] = {};
        ::GetClassNameW(child, klass_text, 32);
        const std::wstring klass = klass_text;
        const std::string what = name + ": " + sys::Narrow(klass) + " \"" + TextOf(child) + "\"";
        const RECT r = ClientRectOf(child);
        if (r.top >= client.bottom) continue;  // left out by the window's height
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right && r.bottom <= client.bottom)
            << what << " at " << r.left << "," << r.top << "-" << r.right << "," << r.bottom << " in "
            << client.right << "x" << client.bottom;
        if (klass == L"#32770") {
            ExpectControlsWhole(child, name);
            continue;
        }
        const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(child, GWL_STYLE));
        const LONG cx = r.right - r.left, cy = r.bottom - r.top;
        LONG room_x = 0, room_y = cy;
        bool wraps = false;
        if (klass == L"Static") {
            const DWORD type = style & SS_TYPEMASK;
            if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP) continue;
            room_x = cx;
            wraps = type != SS_LEFTNOWORDWRAP;
        } else if (klass == L"Button") {
            const DWORD type = style & BS_TYPEMASK;
            wraps = (style & BS_MULTILINE) != 0;
            if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
                room_x = cx - 6;  // the raised edges and the focus frame
                room_y = cy - 4;
            } else if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
                       type == BS_AUTORADIOBUTTON) {
                room_x = cx - ::GetSystemMetrics(SM_CXMENUCHECK) - 4;
            } else {
                continue;
            }
        } else {
            continue;
        }
        const std::wstring text = sys::Widen(TextOf(child));
        if (text.empty()) continue;
        HDC dc = ::GetDC(child);
        HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(child, WM_GETFONT, 0, 0)));
        RECT need{0, 0, room_x, 0};
        ::DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | (wraps ? DT_WORDBREAK : DT_SINGLELINE));
        ::SelectObject(dc, old);
        ::ReleaseDC(child, dc);
        EXPECT_LE(need.right, room_x) << what << " needs " << need.right << " pixels of width";
        EXPECT_LE(need.bottom, room_y) << what << " needs " << need.bottom << " pixels of height";
    }
}

// The client area is the model's window rectangle, mapped with the window's font.
void ExpectClientOf(HWND dialog, const ui::Rect& model, const std::string& name) {
    RECT client;
    ::GetClientRect(dialog, &client);
    const RECT want = Pixels(dialog, 0, 0, model.Width(), model.Height());
    EXPECT_EQ(client.right, want.right) << name;
    EXPECT_EQ(client.bottom, want.bottom) << name;
}

// Runs `open`, which runs a window of its own (modal); `look` sees that
// window once it came to the front and its first messages are done, then
// `close` ends it.
struct Look {
    HWND owner = nullptr;
    HWND seen = nullptr;
    int ticks = 0;
    std::function<void(HWND)> look;
    std::function<void(HWND)> close;
};
Look* g_look = nullptr;

void OpenAndLook(HWND owner, const std::function<void()>& open, const std::function<void(HWND)>& look,
                 const std::function<void(HWND)>& close, const std::string& name) {
    Look l{owner, nullptr, 0, look, close};
    g_look = &l;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
        if (g_look == nullptr) return;
        HWND front = ::GetForegroundWindow();
        if (front == nullptr || front == g_look->owner) return;
        // Three ticks in front: a file dialog has filled its list by then.
        if (++g_look->ticks < 3) return;
        ::KillTimer(nullptr, id);
        g_look->seen = front;
        g_look->look(front);
        g_look->close(front);
    });
    open();
    ::KillTimer(nullptr, timer);
    g_look = nullptr;
    EXPECT_NE(l.seen, nullptr) << "no window came up for " << name;
}

void CloseBox(HWND w) { ::PostMessageW(w, WM_CLOSE, 0, 0); }
void Press(HWND w, int id) {
    ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(w, id)));
}

// A small window with the controls the rules are about.
class ProbeDialog : public ui::Dialog {
public:
    ProbeDialog()
        : Dialog({500, "Probe", "MS Shell Dlg", 8, 170, 80, ui::kPopup | ui::kCaption | ui::kSystemMenu | ui::kVisible,
                  {{ui::kStaticId, ControlKind::Label, "&Name:", 5, 7, 30, 10, 0},
                   {101, ControlKind::Edit, "", 40, 5, 80, 14, ui::kBorder},
                   {102, ControlKind::Button, "&Run", 5, 30, 50, 14, 0},
                   {103, ControlKind::Button, "&Stop", 60, 30, 50, 14, ui::kDisabled},
                   {104, ControlKind::CheckBox, "&Keep", 5, 50, 60, 10, 0},
                   {ui::kIdOk, ControlKind::Button, "OK", 115, 60, 50, 14, ui::kDefaultButton}}}) {}
    std::vector<int> clicks;
    int oks = 0;
    std::vector<std::string> dropped;
    ui::ToolTipCtrl tips;

protected:
    bool OnInitDialog() override {
        DragAcceptFiles(true);
        tips.Create(this);
        tips.AddTool(102, "Runs it");
        tips.Activate(true);
        return true;
    }
    bool PreTranslateMessage(ui::InputEvent& event) override {
        tips.RelayEvent(event);
        return false;
    }
    bool OnCommand(int id, int code) override {
        if (code == ui::kBnClicked) clicks.push_back(id);
        return false;
    }
    void OnOK() override { ++oks; }
    void OnDropFiles(const std::vector<std::string>& files) override { dropped = files; }
};

class Win32BackendTest : public ProgramFolderTest {
protected:
    Win32BackendTest() : ProgramFolderTest("mirelle-win32-") {}
    void SetUp() override {
        ProgramFolderTest::SetUp();
        ui::SetActiveBackend(&Backend());
    }
    void TearDown() override {
        ui::SetActiveBackend(nullptr);
        ProgramFolderTest::TearDown();
    }
};

TEST_F(Win32BackendTest, MainWindowIsBuiltFromItsTemplateInDialogUnits) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    AppEnvironment env;
    env.executable_path = Dir() + "mirelle.exe";
    env.program_dir = Dir();
    CWriterDlg dlg(env);
    ui::SetMainWindow(&dlg);
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(true);
    Pump();
    HWND hwnd = Backend().WindowOf(dlg);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(TextOf(hwnd), dlg.GetWindowText());
    RECT client;
    ::GetClientRect(hwnd, &client);
    const RECT size = Pixels(hwnd, 0, 0, dlg.Template().cx, dlg.Template().cy);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    // Every control with an id sits where its template puts it; a list's
    // height is its closed height, so only its width counts.
    int checked = 0;
    for (const ui::ControlTemplate& t : dlg.Template().controls) {
        if (t.id == ui::kStaticId || t.kind == ControlKind::Icon) continue;
        HWND control = Backend().ControlOf(dlg, t.id);
        ASSERT_NE(control, nullptr) << t.id;
        EXPECT_EQ(::GetDlgCtrlID(control), t.id);
        const RECT want = Pixels(hwnd, t.x, t.y, t.cx, t.cy);
        const RECT got = ClientRectOf(control);
        EXPECT_EQ(got.left, want.left) << t.id;
        EXPECT_EQ(got.top, want.top) << t.id;
        EXPECT_EQ(got.right, want.right) << t.id;
        if (t.kind != ControlKind::DropList && t.kind != ControlKind::DropDown) {
            EXPECT_EQ(got.bottom, want.bottom) << t.id;
        }
        ++checked;
    }
    EXPECT_GT(checked, 20);
    // The model's state is on the controls.
    EXPECT_EQ(TextOf(Backend().ControlOf(dlg, idc::kFullOperation)), "&Full Operation(D+E+B+P)");
    EXPECT_EQ(::IsWindowEnabled(Backend().ControlOf(dlg, idc::kCopy)) != 0, dlg.IsControlEnabled(idc::kCopy));
    EXPECT_EQ(::SendMessageW(Backend().ControlOf(dlg, idc::kTarget), CB_GETCOUNT, 0, 0), dlg.GetCount(idc::kTarget));
    // The About command in the system menu, Size and Maximize gone from it.
    HMENU menu = ::GetSystemMenu(hwnd, FALSE);
    EXPECT_EQ(::GetMenuState(menu, SC_SIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_NE(::GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_NE(::GetMenuState(menu, idc::kAboutCommand, MF_BYCOMMAND), static_cast<UINT>(-1));
    SaveShot(hwnd, "win32_main_window.bmp");

    // The customize sheet, opened with its button, shot while its modal loop runs and closed.
    static HWND s_main = nullptr;
    static int s_tabs = -1;
    s_main = hwnd;
    s_tabs = -1;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR id, DWORD) {
        HWND sheet = ::GetForegroundWindow();
        if (sheet == nullptr || sheet == s_main) return;
        ::KillTimer(nullptr, id);
        HWND tabs = ::FindWindowExW(sheet, nullptr, WC_TABCONTROLW, nullptr);
        s_tabs = tabs != nullptr ? TabCtrl_GetItemCount(tabs) : 0;
        SaveShot(sheet, "win32_customize_sheet.bmp");
        // The second tab, chosen as a click on it tells the sheet.
        if (tabs != nullptr) {
            TabCtrl_SetCurSel(tabs, 1);
            NMHDR n{tabs, static_cast<UINT_PTR>(::GetDlgCtrlID(tabs)), static_cast<UINT>(TCN_SELCHANGE)};
            ::SendMessageW(sheet, WM_NOTIFY, n.idFrom, reinterpret_cast<LPARAM>(&n));
            SaveShot(sheet, "win32_customize_sheet_tooltips.bmp");
        }
        ::PostMessageW(sheet, WM_CLOSE, 0, 0);
    });
    ::SendMessageW(Backend().ControlOf(dlg, idc::kSetEnvironment), BM_CLICK, 0, 0);
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(s_tabs, 2);  // Sound and Tooltips
    EXPECT_TRUE(dlg.IsWindowEnabled());
    EXPECT_EQ(::GetActiveWindow(), hwnd);  // back to the main window
    dlg.DestroyWindow();
    EXPECT_FALSE(::IsWindow(hwnd));
    ui::SetMainWindow(nullptr);
}

TEST_F(Win32BackendTest, ClicksKeysAndTextReachTheModelAndDisabledOnesDoNot) {
    ProbeDialog probe;
    ASSERT_TRUE(probe.Create(nullptr));
    Pump();
    HWND hwnd = Backend().WindowOf(probe);
    HWND edit = Backend().ControlOf(probe, 101);
    HWND stop = Backend().ControlOf(probe, 103);
    EXPECT_FALSE(::IsWindowEnabled(stop));

    struct Step {
        const char* what;
        void (*act)(HWND hwnd, ProbeDialog& probe);
        std::vector<int> clicks;
    };
    const Step steps[] = {
        {"click on Run", [](HWND h, ProbeDialog&) { ::SendMessageW(::GetDlgItem(h, 102), BM_CLICK, 0, 0); }, {102}},
        {"click on the disabled Stop",
         [](HWND h, ProbeDialog&) { ::SendMessageW(::GetDlgItem(h, 103), BM_CLICK, 0, 0); }, {}},
        {"Alt+R", [](HWND h, ProbeDialog&) { ::PostMessageW(h, WM_SYSKEYDOWN, 'R', 1 << 29); }, {102}},
        {"Alt+S of the disabled Stop", [](HWND h, ProbeDialog&) { ::PostMessageW(h, WM_SYSKEYDOWN, 'S', 1 << 29); }, {}},
        {"click on Run in a disabled window",
         [](HWND h, ProbeDialog& p) {
             p.EnableWindow(false);
             ::SendMessageW(::GetDlgItem(h, 102), BM_CLICK, 0, 0);
             ::PostMessageW(h, WM_SYSKEYDOWN, 'R', 1 << 29);
             Pump();
             p.EnableWindow(true);
         },
         {}},
        {"Stop enabled by the model, clicked",
         [](HWND h, ProbeDialog& p) {
             p.EnableControl(103, true);
             ::SendMessageW(::GetDlgItem(h, 103), BM_CLICK, 0, 0);
         },
         {103}},
    };
    for (const Step& step : steps) {
        probe.clicks.clear();
        step.act(hwnd, probe);
        Pump();
        EXPECT_EQ(probe.clicks, step.clicks) << step.what;
    }
    EXPECT_TRUE(::IsWindowEnabled(stop));

    // The check box is the model's: a click checks it once, on the screen too.
    ::SendMessageW(Backend().ControlOf(probe, 104), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(probe.GetCheck(104), 1);
    EXPECT_EQ(::SendMessageW(Backend().ControlOf(probe, 104), BM_GETCHECK, 0, 0), BST_CHECKED);

    // Shift+Tab goes backwards through the tab stops, past a disabled one
    // and round from the first to the last, and the model follows.
    struct Back {
        int from;
        bool stop_enabled;
        int to;
    };
    const Back backs[] = {{104, true, 103}, {103, true, 102}, {101, true, ui::kIdOk}, {ui::kIdOk, true, 104},
                          {104, false, 102}};
    BYTE keys[256];
    for (const Back& b : backs) {
        probe.EnableControl(103, b.stop_enabled);
        HWND from = Backend().ControlOf(probe, b.from);
        ::SetFocus(from);
        Pump();
        ::GetKeyboardState(keys);
        keys[VK_SHIFT] |= 0x80;
        ::SetKeyboardState(keys);
        ::PostMessageW(from, WM_KEYDOWN, VK_TAB, 1);
        Pump();
        keys[VK_SHIFT] &= ~0x80;
        ::SetKeyboardState(keys);
        EXPECT_EQ(::GetFocus(), Backend().ControlOf(probe, b.to)) << b.from;
        EXPECT_EQ(probe.GetFocus(), b.to) << b.from;
    }

    // The label's mnemonic moves the focus to the edit; typing fills the
    // model; Enter goes to the model's OK.
    ::PostMessageW(hwnd, WM_SYSKEYDOWN, 'N', 1 << 29);
    Pump();
    EXPECT_EQ(probe.GetFocus(), 101);
    EXPECT_EQ(::GetFocus(), edit);
    for (char c : std::string("Ab1")) ::PostMessageW(edit, WM_CHAR, static_cast<WPARAM>(c), 1);
    Pump();
    EXPECT_EQ(probe.GetDlgItemText(101), "Ab1");
    ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
    Pump();
    EXPECT_EQ(probe.oks, 1);
    // And the model's text reaches the control.
    probe.SetDlgItemText(101, "from the model");
    EXPECT_EQ(TextOf(edit), "from the model");
    probe.DestroyWindow();
    EXPECT_FALSE(::IsWindow(hwnd));
}

TEST_F(Win32BackendTest, PointerRestsShowTooltipsAndDroppedFilesArriveAsUtf8) {
    ProbeDialog probe;
    ASSERT_TRUE(probe.Create(nullptr));
    Pump();
    HWND hwnd = Backend().WindowOf(probe);
    // The pointer resting on Run: the tooltip window shows the model's text.
    ::PostMessageW(Backend().ControlOf(probe, 102), WM_MOUSEHOVER, 0, 0);
    Pump();
    HWND tip = nullptr;
    while ((tip = ::FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) != nullptr)
        if (::IsWindowVisible(tip)) break;
    ASSERT_NE(tip, nullptr);
    wchar_t text[64] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = hwnd;
    tool.uId = 1;
    tool.lpszText = text;
    ::SendMessageW(tip, TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&tool));
    EXPECT_EQ(sys::Narrow(text), "Runs it");

    // Files dropped on the window, one with a name outside ASCII.
    const std::wstring names = std::wstring(L"C:\\a.mot") + L'\0' + L"C:\\ボード.hex" + L'\0' + L'\0';
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory);
    ::SendMessageW(hwnd, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(probe.dropped, (std::vector<std::string>{"C:\\a.mot", "C:\\ボード.hex"}));
    probe.DestroyWindow();
}

TEST_F(Win32BackendTest, ProgressWindowTakesTheHeightAndButtonOfEachMode) {
    CProgressDlg progress(CProgressDlg::kDefaultMode);
    ASSERT_TRUE(progress.Create(nullptr));
    progress.SetStatus("Full Operation -  Programming");
    progress.SetStatusIcon(ui::kIconAsterisk);
    progress.SetRange(0, 100);
    progress.SetPos(40);
    Pump();
    HWND hwnd = Backend().WindowOf(progress);
    HWND button = Backend().ControlOf(progress, idc::kProgressButton);
    HWND bar = Backend().ControlOf(progress, idc::kProgressBar);
    EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 40);
    SaveShot(hwnd, "win32_progress_window.bmp");
    struct Mode {
        int mode;
        const char* button_text;
        bool live, bar;
    };
    const Mode modes[] = {{13, "Ok", true, true}, {6, "Cancel", true, false}, {8, "", false, true}, {0, "", false, false}};
    for (const Mode& m : modes) {
        progress.SetMode(m.mode);
        Pump();
        RECT client;
        ::GetClientRect(hwnd, &client);
        EXPECT_EQ(client.bottom, Pixels(hwnd, 0, 0, 0, progress.HeightForMode(m.mode)).bottom) << m.mode;
        EXPECT_EQ(TextOf(button), m.button_text) << m.mode;
        EXPECT_EQ(::IsWindowEnabled(button) != 0, m.live) << m.mode;
        EXPECT_EQ(::IsWindowEnabled(bar) != 0, m.bar) << m.mode;
        EXPECT_TRUE(::IsWindowVisible(hwnd));
    }
    // A press of the live button is polled once.
    progress.SetMode(CProgressDlg::kModeCancel | CProgressDlg::kModeButtonLive);
    ::SendMessageW(button, BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(progress.PollCancel(), 1);
    EXPECT_EQ(progress.PollCancel(), 0);
    progress.DestroyWindow();
}

// The message box is answered by a hook that sees it come up.
int g_answer = 0;
std::string g_box_text;
LRESULT CALLBACK AnswerBox(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE && g_answer != 0) {
        HWND box = reinterpret_cast<HWND>(wparam);
        wchar_t klass[32] = {};
        ::GetClassNameW(box, klass, 32);
        if (std::wstring(klass) == L"#32770" && Backend().WindowOfHandle(box) == nullptr) {
            g_box_text = TextOf(::GetDlgItem(box, 0xFFFF));
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(g_answer, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(box, g_answer)));
            g_answer = 0;
        }
    }
    return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST_F(Win32BackendTest, MessageBoxesReturnTheButtonPressed) {
    ProbeDialog owner;
    ASSERT_TRUE(owner.Create(nullptr));
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, AnswerBox, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    struct Case {
        ui::MessageButtons buttons;
        int press;
        int result;
    };
    const Case cases[] = {{ui::MessageButtons::Ok, IDOK, ui::kIdOk},
                          {ui::MessageButtons::OkCancel, IDCANCEL, ui::kIdCancel},
                          {ui::MessageButtons::YesNo, IDNO, ui::kIdNo},
                          {ui::MessageButtons::YesNo, IDYES, ui::kIdYes}};
    for (const Case& c : cases) {
        g_answer = c.press;
        g_box_text.clear();
        const int result = ui::MessageBox(&owner, "Reset the board — ボード", "Mirelle", c.buttons,
                                          ui::MessageIcon::Question);
        EXPECT_EQ(result, c.result) << c.press;
        EXPECT_EQ(g_box_text, "Reset the board — ボード");
        EXPECT_TRUE(owner.IsWindowEnabled());
        EXPECT_TRUE(::IsWindowEnabled(Backend().WindowOf(owner)));
    }
    ::UnhookWindowsHookEx(hook);
    owner.DestroyWindow();
}

// The file dialog is answered in two steps: the CBT hook sees it come up and
// posts it a note; when the dialog's own loop takes the note from the queue,
// what the dialog posted to itself while it started is done, and the file
// name is typed in and OK or Cancel pressed. A message box that the dialog
// shows over itself is closed with OK, its text kept, so that a refused name
// fails the test instead of stopping it.
struct FileAnswer {
    std::wstring name;  // typed into the file-name field
    int press = 0;      // IDOK or IDCANCEL; 0 once answered
    std::string complaint;
};
FileAnswer g_file_answer;
bool g_answering = false;
const UINT g_answer_note = ::RegisterWindowMessageW(L"mirelle-test-answer-file-dialog");

LRESULT CALLBACK SeeFileDialog(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE && g_answering) {
        HWND dialog = reinterpret_cast<HWND>(wparam);
        wchar_t klass[32] = {};
        ::GetClassNameW(dialog, klass, 32);
        if (std::wstring(klass) == L"#32770" && Backend().WindowOfHandle(dialog) == nullptr) {
            if (g_file_answer.press != 0) {
                ::PostMessageW(dialog, g_answer_note, 0, 0);
            } else if (HWND text = ::GetDlgItem(dialog, 0xFFFF)) {
                g_file_answer.complaint = TextOf(text);
                ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                               reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
            }
        }
    }
    return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK AnswerFileDialog(int code, WPARAM wparam, LPARAM lparam) {
    const MSG& msg = *reinterpret_cast<const MSG*>(lparam);
    if (code == HC_ACTION && wparam == PM_REMOVE && msg.message == g_answer_note && g_file_answer.press != 0) {
        // The field is a combo box with an edit in explorer-style dialogs.
        HWND field = ::GetDlgItem(msg.hwnd, cmb13);
        if (field == nullptr) field = ::GetDlgItem(msg.hwnd, edt1);
        if (field != nullptr) ::SetWindowTextW(field, g_file_answer.name.c_str());
        const int press = g_file_answer.press;
        ::PostMessageW(msg.hwnd, WM_COMMAND, MAKEWPARAM(press, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(msg.hwnd, press)));
        g_file_answer.press = 0;
    }
    return ::CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST_F(Win32BackendTest, FileDialogsReturnTheChosenPathInUtf8) {
    WriteFile("blinky ボード.mot", "S9030000FC\r\n");
    ProbeDialog owner;
    ASSERT_TRUE(owner.Create(nullptr));
    HHOOK see = ::SetWindowsHookExW(WH_CBT, SeeFileDialog, nullptr, ::GetCurrentThreadId());
    HHOOK answer = ::SetWindowsHookExW(WH_GETMESSAGE, AnswerFileDialog, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(see, nullptr);
    ASSERT_NE(answer, nullptr);
    // As the program asks: Open for a program file in a folder, Save As for
    // a copy with the current program file's path as the start.
    struct Case {
        bool save;
        const char* filter;
        const char* extension;
        std::string start;
        const wchar_t* typed;
        int press;
        const char* chosen;  // the file name in the start folder; nullptr for none
    };
    const char* program_filter =
        "S format files (*.mhx;*.srec;*.cnv;*.ahx)|*.mhx;*.srec;*.cnv;*.ahx|Intel hex files (*.hex)|*.hex|"
        "all files (*.*)|*.*||";
    const char* hex_filter = "Intel Hex files (*.hex)|*.hex|all files (*.*)|*.*||";
    const Case cases[] = {
        {false, program_filter, "", Dir(), L"blinky ボード.mot", IDOK, "blinky ボード.mot"},
        {false, program_filter, "", Dir(), L"blinky ボード.mot", IDCANCEL, nullptr},
        {true, hex_filter, "hex", Dir() + "blinky ボード.mot", L"コピー", IDOK, "コピー.hex"},
        {true, hex_filter, "hex", Dir() + "blinky ボード.mot", L"copy", IDCANCEL, nullptr},
    };
    for (const Case& c : cases) {
        ui::FileDialogRequest request;
        request.save = c.save;
        request.owner = &owner;
        request.filter = c.filter;
        request.default_extension = c.extension;
        request.initial_dir = c.start;
        request.flags = c.save ? ui::kOverwritePrompt | ui::kHideReadOnly | ui::kFileMustExist | ui::kNoNetworkButton
                               : ui::kFileMustExist | ui::kHideReadOnly;
        g_file_answer = {c.typed, c.press, ""};
        g_answering = true;
        const std::optional<std::string> chosen = Backend().FileDialog(request);
        g_answering = false;
        EXPECT_EQ(g_file_answer.press, 0) << "no file dialog came up";
        EXPECT_EQ(g_file_answer.complaint, "");
        g_file_answer.press = 0;
        if (c.chosen == nullptr) {
            EXPECT_EQ(chosen, std::nullopt) << c.save;
        } else if (chosen.has_value()) {
            const fs::path path(sys::Widen(*chosen));
            EXPECT_EQ(sys::Narrow(path.filename().wstring()), c.chosen);
            std::error_code error;
            EXPECT_TRUE(fs::equivalent(path.parent_path(), DirPath(), error)) << *chosen;
        } else {
            ADD_FAILURE() << "no path from the dialog for " << c.chosen;
        }
        EXPECT_TRUE(::IsWindowEnabled(Backend().WindowOf(owner)));
    }
    ::UnhookWindowsHookEx(answer);
    ::UnhookWindowsHookEx(see);
    owner.DestroyWindow();
}

// Every window of the program, in each face it shows, holds its controls
// whole (shot as test-artifacts/win32-NAME.bmp): the main window, the
// progress window of each command and with each kind of result, the windows
// that the main window's buttons open, the customize sheet's pages, the
// message boxes and the file dialogs.
TEST_F(Win32BackendTest, EveryWindowShowsItsControlsWhole) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    WriteFile("one.mot", "S20508000001F1\r\nS9030000FC\r\n");
    // Files for the file dialogs' lists to show.
    WriteFile("blinky.mhx", "S20508000001F1\r\nS9030000FC\r\n");
    WriteFile("readout.hex", ":00000001FF\r\n");
    AppEnvironment env;
    env.executable_path = Dir() + "mirelle.exe";
    env.program_dir = Dir();
    CWriterDlg dlg(env);
    ui::SetMainWindow(&dlg);
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(true);
    dlg.m_strProgramFile = Dir() + "one.mot";
    Pump();
    HWND main = Backend().WindowOf(dlg);
    ExpectClientOf(main, dlg.GetWindowRect(), "main");
    ExpectControlsWhole(main, "main");
    SaveShot(main, "win32-main.bmp");

    {
        CProgressDlg progress(CProgressDlg::kDefaultMode);
        ASSERT_TRUE(progress.Create(&dlg));
        HWND hwnd = Backend().WindowOf(progress);
        for (const ProgressLook& look : kProgressLooks) {
            ShowLook(progress, look);
            Pump();
            const std::string name = std::string("progress-") + look.name;
            ExpectClientOf(hwnd, progress.GetWindowRect(), name);
            ExpectControlsWhole(hwnd, name);
            SaveShot(hwnd, "win32-" + name + ".bmp");
        }
        progress.DestroyWindow();
    }

    struct Modal {
        const char* name;
        int button;
        std::optional<ui::DialogTemplate> tpl;  // the sheet makes its own
    };
    const Modal modals[] = {{"checksum", idc::kCheckSum, CCheckSumDlg::Template176()},
                            {"about", idc::kVersionInfo, CAboutDlg::Template100()},
                            {"customize", idc::kSetEnvironment, std::nullopt}};
    for (const Modal& m : modals) {
        OpenAndLook(
            main, [&] { ::SendMessageW(Backend().ControlOf(dlg, m.button), BM_CLICK, 0, 0); },
            [&](HWND w) {
                if (m.tpl) ExpectClientOf(w, {0, 0, m.tpl->cx, m.tpl->cy}, m.name);
                if (m.button == idc::kCheckSum) {  // a sum in the result box
                    ::SendMessageW(::GetDlgItem(w, idc::kCheckSumButton), BM_CLICK, 0, 0);
                    EXPECT_EQ(TextOf(::GetDlgItem(w, idc::kCheckSumResult)).size(), 4u);
                }
                HWND tabs = ::FindWindowExW(w, nullptr, WC_TABCONTROLW, nullptr);
                const int pages = tabs != nullptr ? TabCtrl_GetItemCount(tabs) : 1;
                static const char* const kPageNames[] = {"-sound", "-tooltips"};
                for (int page = 0; page < pages && page < 2; ++page) {
                    if (tabs != nullptr && page > 0) {
                        TabCtrl_SetCurSel(tabs, page);
                        NMHDR n{tabs, static_cast<UINT_PTR>(::GetDlgCtrlID(tabs)), static_cast<UINT>(TCN_SELCHANGE)};
                        ::SendMessageW(w, WM_NOTIFY, n.idFrom, reinterpret_cast<LPARAM>(&n));
                    }
                    const std::string name = std::string(m.name) + (tabs != nullptr ? kPageNames[page] : "");
                    ExpectControlsWhole(w, name);
                    SaveShot(w, "win32-" + name + ".bmp");
                }
            },
            CloseBox, m.name);
    }

    struct Box {
        const char* name;
        const char* text;
        ui::MessageButtons buttons;
        ui::MessageIcon icon;
        int press;
    };
    const Box boxes[] = {
        {"question", "CRC error detected in 0xF8200\nretry?", ui::MessageButtons::YesNo, ui::MessageIcon::Question,
         IDNO},
        {"error", " No.006 Unable to open COM port.", ui::MessageButtons::Ok, ui::MessageIcon::Exclamation, IDOK},
        {"information", "Please reset the microcontroller on userboard.\nThen push OK button.",
         ui::MessageButtons::OkCancel, ui::MessageIcon::Information, IDCANCEL},
    };
    for (const Box& b : boxes) {
        OpenAndLook(
            main, [&] { ui::MessageBox(&dlg, b.text, "Flash Memory Writer", b.buttons, b.icon); },
            [&](HWND w) {
                ExpectControlsWhole(w, b.name);
                SaveShot(w, std::string("win32-message-") + b.name + ".bmp");
            },
            [&](HWND w) { Press(w, b.press); }, b.name);
    }

    // The file dialogs as Open and Copy ask; the system lays them out.
    struct File {
        const char* name;
        bool save;
        const char* filter;
        const char* extension;
    };
    const File files[] = {
        {"open-program-file", false,
         "S format files (*.mhx;*.srec;*.cnv;*.ahx)|*.mhx;*.srec;*.cnv;*.ahx|Intel hex files (*.hex)|*.hex|"
         "all files (*.*)|*.*||",
         ""},
        {"save-copy-file", true, "Intel Hex files (*.hex)|*.hex|all files (*.*)|*.*||", "hex"},
    };
    for (const File& f : files) {
        ui::FileDialogRequest request;
        request.save = f.save;
        request.owner = &dlg;
        request.filter = f.filter;
        request.default_extension = f.extension;
        request.initial_dir = Dir();
        request.flags = ui::kFileMustExist | ui::kHideReadOnly;
        if (f.save) request.flags |= ui::kOverwritePrompt;
        OpenAndLook(
            main, [&] { EXPECT_EQ(Backend().FileDialog(request), std::nullopt); },
            [&](HWND w) { SaveShot(w, std::string("win32-") + f.name + ".bmp"); },
            [](HWND w) { Press(w, IDCANCEL); }, f.name);
    }
    dlg.DestroyWindow();
    ui::SetMainWindow(nullptr);
}

// Open in the main window with "Binary (*.bin)" chosen, then the start
// address window that a binary brings up; both shot, the address typed.
HWND g_shot_main = nullptr;
int g_shot_step = 0;
bool g_shot_busy = false;  // a shot pumps messages: no second tick meanwhile
std::string g_offered;

TEST_F(Win32BackendTest, OpenOffersBinariesAndAsksTheirStartAddress) {
    WriteFile("CHIPDEF.INI", kSampleChipDef);
    WriteFile("boot.bin", std::string(16, '\x5A'));
    WriteFile("DATAFILE.TXT", "[Recent]\r\nWrite File=" + Dir() + "boot.bin\r\nWrite Offset=0x00008000\r\n");
    AppEnvironment env;
    env.executable_path = Dir() + "mirelle.exe";
    env.program_dir = Dir();
    CWriterDlg dlg(env);
    ui::SetMainWindow(&dlg);
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.ShowWindow(true);
    Pump();
    g_shot_main = Backend().WindowOf(dlg);
    g_shot_step = 0;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND top = ::GetForegroundWindow();
        if (g_shot_busy || top == nullptr || top == g_shot_main) return;
        g_shot_busy = true;
        if (g_shot_step == 0 && Backend().WindowOfHandle(top) == nullptr) {
            // The common dialog: its file type list on the binaries; the
            // file list follows by the next tick.
            HWND types = ::GetDlgItem(top, cmb1);
            if (types != nullptr) {
                ::SendMessageW(types, CB_SETCURSEL, 3, 0);
                ::SendMessageW(top, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(types));
            }
            g_shot_step = 10;
        } else if (g_shot_step >= 10 && g_shot_step < 20) {
            if (++g_shot_step < 15) {
                g_shot_busy = false;
                return;
            }
            SaveShot(top, "win32_open_dialog_binary.bmp");
            HWND field = ::GetDlgItem(top, cmb13);
            if (field == nullptr) field = ::GetDlgItem(top, edt1);
            if (field != nullptr) ::SetWindowTextW(field, L"boot.bin");
            ::PostMessageW(top, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(top, IDOK)));
            g_shot_step = 1;
        } else if (g_shot_step == 1 && Backend().WindowOfHandle(top) != nullptr) {
            HWND edit = ::GetDlgItem(top, idc::kStartAddressEdit);
            g_offered = TextOf(edit);
            SaveShot(top, "win32_start_address_dialog.bmp");
            ::SetWindowTextW(edit, L"0x9000");
            ::PostMessageW(top, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(top, IDOK)));
            g_shot_step = 2;
        }
        g_shot_busy = false;
    });
    ::SendMessageW(Backend().ControlOf(dlg, idc::kOpen), BM_CLICK, 0, 0);
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(g_shot_step, 2);
    EXPECT_EQ(g_offered, "0x00008000");
    std::ifstream in(PathOf("DATAFILE.TXT"), std::ios::binary);
    const std::string datafile((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(datafile.find("Write Offset=0x00009000"), std::string::npos) << datafile;
    dlg.DestroyWindow();
}

// The program in its running windows, as a user sees it: scripts/test-windows
// starts mirelle.exe against mirelle-sim and runs this with
// MIRELLE_CLICK_PROGRAM set (it is skipped otherwise):
//  - "click": the program was started without arguments; this presses Full
//    Operation, answers the message boxes with their first button, presses
//    Ok on the result and closes the main window;
//  - "watch": the program runs unattended; its progress window must show the
//    steps, and go when the run ends.
// The program is another process, so its windows are looked for again and
// again, each wait bounded.
struct ProgramWindows {
    DWORD process = 0;
    HWND main = nullptr;
    std::vector<HWND> others;
};

ProgramWindows FindProgramWindows(DWORD process) {
    ProgramWindows found;
    found.process = process;
    ::EnumWindows(
        [](HWND hwnd, LPARAM p) -> BOOL {
            auto& f = *reinterpret_cast<ProgramWindows*>(p);
            wchar_t klass[32] = {};
            ::GetClassNameW(hwnd, klass, 32);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            if (std::wstring(klass) != L"#32770" || !::IsWindowVisible(hwnd)) return TRUE;
            if (f.process != 0 && pid != f.process) return TRUE;
            if (::GetDlgItem(hwnd, idc::kFullOperation) != nullptr) {
                f.main = hwnd;
                f.process = pid;
            } else {
                f.others.push_back(hwnd);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::string ForeignText(HWND hwnd) {
    wchar_t buf[512] = {};
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &ignored);
    return sys::Narrow(buf);
}

// The station window of `mirelle.exe --station JOB` with two slots on COM3
// and COM4 (scripts/test-windows starts it with two simulators): Start all,
// then both tiles must show PASS with the counts 1 and 0, as read from the
// window's own texts; then the window is closed, which stops the slots.
TEST(Win32ProgramRun, StationWindowProgramsTwoSlots) {
    const char* mode = std::getenv("MIRELLE_CLICK_PROGRAM");
    if (mode == nullptr || std::string(mode) != "station") GTEST_SKIP() << "runs from scripts/test-windows";
    constexpr int kStepMs = 50;
    HWND station = nullptr;
    for (int waited = 0; waited < 60000 && station == nullptr; waited += kStepMs) {
        for (HWND w : FindProgramWindows(0).others)
            if (::GetDlgItem(w, idc::kStationStartAll) != nullptr) station = w;
        if (station == nullptr) ::Sleep(kStepMs);
    }
    ASSERT_NE(station, nullptr) << "no station window";
    ::PostMessageW(::GetDlgItem(station, idc::kStationStartAll), BM_CLICK, 0, 0);
    auto tile = [station](int slot, idc::StationTilePart part) {
        return ForeignText(::GetDlgItem(station, idc::StationTileControl(slot, part)));
    };
    std::string seen[2];
    bool done = false;
    for (int waited = 0; waited < 240000 && !done; waited += kStepMs) {
        ::Sleep(kStepMs);
        done = true;
        for (int slot = 0; slot < 2; ++slot) {
            const std::string now = tile(slot, idc::kTileState) + " / " + tile(slot, idc::kTileCounts);
            if (now != seen[slot]) std::printf("slot %d: %s\n", slot + 1, (seen[slot] = now).c_str());
            done = done && now == "PASS / Passed: 1    Failed: 0";
        }
    }
    EXPECT_TRUE(done) << "the tiles show " << seen[0] << " and " << seen[1];
    SaveShot(station, "win32_program_station.bmp");
    ::PostMessageW(station, WM_CLOSE, 0, 0);
}

TEST(Win32ProgramRun, FullOperationInTheWindows) {
    const char* mode_text = std::getenv("MIRELLE_CLICK_PROGRAM");
    const std::string mode = mode_text != nullptr ? mode_text : "";
    if (mode != "click" && mode != "watch") GTEST_SKIP() << "runs from scripts/test-windows";
    const bool click = mode == "click";
    constexpr int kStepMs = 50;
    // The program's first window: the main window, or the progress window of the unattended run.
    ProgramWindows w;
    for (int waited = 0; waited < 60000; waited += kStepMs) {
        w = FindProgramWindows(0);
        if (click ? w.main != nullptr : !w.others.empty()) break;
        ::Sleep(kStepMs);
    }
    DWORD process = w.process;
    if (!click && !w.others.empty()) ::GetWindowThreadProcessId(w.others.front(), &process);
    HWND main = w.main;
    ASSERT_TRUE(click ? main != nullptr : process != 0) << "no window of the program";
    if (click) {
        SaveShot(main, "win32_program_main_window.bmp");
        ::PostMessageW(::GetDlgItem(main, idc::kFullOperation), BM_CLICK, 0, 0);
    }
    std::vector<std::string> statuses;
    bool acknowledged = false;
    bool gone = false;
    for (int waited = 0; waited < 240000 && !acknowledged && !gone; waited += kStepMs) {
        ::Sleep(kStepMs);
        const ProgramWindows now = FindProgramWindows(process);
        gone = !click && now.others.empty();
        for (HWND other : now.others) {
            if (HWND status = ::GetDlgItem(other, idc::kStatusText)) {
                const std::string text = ForeignText(status);
                if (statuses.empty() || text != statuses.back()) {
                    statuses.push_back(text);
                    std::printf("progress: %s\n", text.c_str());
                }
                HWND button = ::GetDlgItem(other, idc::kProgressButton);
                if (click && text == "It ended normally completely" && ::IsWindowEnabled(button)) {
                    SaveShot(other, "win32_program_done.bmp");
                    ::PostMessageW(button, BM_CLICK, 0, 0);
                    acknowledged = true;
                }
            } else {
                // A message box: its text, then its first button.
                std::printf("message box: %s\n", ForeignText(::GetDlgItem(other, 0xFFFF)).c_str());
                const int first = ::GetDlgItem(other, IDOK) != nullptr ? IDOK : IDYES;
                ::PostMessageW(other, WM_COMMAND, MAKEWPARAM(first, BN_CLICKED),
                               reinterpret_cast<LPARAM>(::GetDlgItem(other, first)));
            }
        }
    }
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Full Operation -  Erasing"), statuses.end());
    if (click) {
        EXPECT_TRUE(acknowledged);
        // The progress window goes; then the main window is closed.
        for (int waited = 0; waited < 10000 && !FindProgramWindows(process).others.empty(); waited += kStepMs)
            ::Sleep(kStepMs);
        // The History window from the system menu shows the record the run has just left.
        ::PostMessageW(main, WM_SYSCOMMAND, idc::kHistoryCommand, 0);
        HWND history = nullptr;
        for (int waited = 0; waited < 10000 && history == nullptr; waited += kStepMs) {
            ::Sleep(kStepMs);
            for (HWND other : FindProgramWindows(process).others)
                if (::GetDlgItem(other, idc::kHistoryList) != nullptr) history = other;
        }
        ASSERT_NE(history, nullptr) << "no History window";
        ::Sleep(500);
        const std::string listed = ForeignText(::GetDlgItem(history, idc::kHistoryList));
        std::printf("history: %s\n", listed.c_str());
        EXPECT_NE(listed.find("COM3"), std::string::npos) << listed;
        EXPECT_NE(ForeignText(::GetDlgItem(history, idc::kHistoryTotal)).find("Total: 1 record, 1 passed"),
                  std::string::npos);
        SaveShot(history, "win32_program_history.bmp");
        ::PostMessageW(history, WM_CLOSE, 0, 0);
        for (int waited = 0; waited < 10000 && !FindProgramWindows(process).others.empty(); waited += kStepMs)
            ::Sleep(kStepMs);
        ::PostMessageW(main, WM_CLOSE, 0, 0);
    } else {
        EXPECT_TRUE(gone) << "the progress window stayed";
    }
}


// The History window in Win32: its listing keeps its columns (a fixed-width
// font in a read-only edit of several lines) and scrolls.
TEST_F(Win32BackendTest, HistoryListingKeepsItsColumns) {
    CHistoryDlg dlg(nullptr, Dir());
    ASSERT_TRUE(dlg.Create(nullptr));
    std::vector<engine::UnitRecord> shown;
    const char* texts[] = {"Full Operation completed", "\r\nERROR program", "It Erased a flash"};
    for (int n = 0; n < 30; ++n) {
        engine::UnitRecord r;
        r.start_ms = 1'796'835'855'000LL + n * 97'000LL;
        r.target = n % 4 ? "TQ4A01" : "TQ7C01";
        r.port = n % 2 ? "COM1" : "COM12";
        r.passed = n % 5 != 2;
        r.result_text = texts[r.passed ? (n % 3 == 0 ? 2 : 0) : 1];
        shown.push_back(r);
    }
    dlg.SetDlgItemText(idc::kHistoryList, CHistoryDlg::ListText(shown));
    dlg.SetDlgItemText(idc::kHistoryTotal, CHistoryDlg::TotalText(30, 24, 30));
    dlg.ShowWindow(true);
    Pump();
    HWND hwnd = Backend().WindowOf(dlg);
    HWND list = Backend().ControlOf(dlg, idc::kHistoryList);
    ASSERT_NE(list, nullptr);
    EXPECT_NE(::GetWindowLongW(list, GWL_STYLE) & ES_MULTILINE, 0);
    EXPECT_EQ(::SendMessageW(list, EM_GETLINECOUNT, 0, 0), 32);  // heading, 30 records, the empty last line
    TEXTMETRICW metrics{};
    HDC dc = ::GetDC(list);
    HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(list, WM_GETFONT, 0, 0)));
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(list, dc);
    EXPECT_EQ(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0) << "a fixed-pitch font clears this bit";
    SaveShot(hwnd, "win32_history.bmp");
    dlg.DestroyWindow();
}

// The station window at 1, 4 and 16 slots (shot as test-artifacts/
// win32-station-N.bmp): every control whole and its text fitting, no two
// tiles and no two controls of a tile on each other, each tile's state word
// drawn in its colour (as the window answers WM_CTLCOLORSTATIC) and in the
// large font.
TEST_F(Win32BackendTest, StationWindowShowsEveryTileWhole) {
    for (const auto& [slots, key] : {std::pair{1, false}, {4, false}, {16, false}, {4, true}}) {
        const std::string name = "station-" + std::to_string(slots) + (key ? "-key" : "");
        ViewedStation station;
        station.view = MixedView(slots);
        station::Job job = StationJob(slots);
        if (key) job.detection = station::Detection::kKey;
        CStationDlg window(job, station, {});
        ASSERT_TRUE(window.Create(nullptr)) << name;
        window.ShowWindow(true);
        Pump();
        HWND hwnd = Backend().WindowOf(window);
        ExpectClientOf(hwnd, window.GetWindowRect(), name);
        ExpectControlsWhole(hwnd, name);
        // Frames may hold controls; nothing else lies on anything.
        std::vector<std::pair<RECT, bool>> shown;
        for (HWND c = ::GetWindow(hwnd, GW_CHILD); c != nullptr; c = ::GetWindow(c, GW_HWNDNEXT)) {
            const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(c, GWL_STYLE));
            if (style & WS_VISIBLE) shown.emplace_back(ClientRectOf(c), (style & BS_TYPEMASK) == BS_GROUPBOX &&
                                                                         ::GetDlgCtrlID(c) % idc::kStationTileStride == 0);
        }
        for (std::size_t i = 0; i < shown.size(); ++i)
            for (std::size_t j = i + 1; j < shown.size(); ++j) {
                if (shown[i].second != shown[j].second) continue;
                RECT both;
                EXPECT_FALSE(::IntersectRect(&both, &shown[i].first, &shown[j].first))
                    << name << ": " << i << " and " << j << " overlap";
            }
        HFONT dialog_font = reinterpret_cast<HFONT>(::SendMessageW(hwnd, WM_GETFONT, 0, 0));
        for (const station::SlotView& s : station.view.slots) {
            HWND state = Backend().ControlOf(window, idc::StationTileControl(s.index, idc::kTileState));
            ASSERT_NE(state, nullptr);
            EXPECT_EQ(TextOf(state), station::StateWord(s.state)) << name << " slot " << s.index;
            HDC dc = ::GetDC(state);
            ::SendMessageW(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(state));
            const COLORREF drawn = ::GetTextColor(dc);
            ::ReleaseDC(state, dc);
            const ui::Color want = CStationDlg::StateColor(s.state);
            EXPECT_EQ(drawn, RGB(want >> 16, (want >> 8) & 0xFF, want & 0xFF)) << name << " slot " << s.index;
            EXPECT_NE(reinterpret_cast<HFONT>(::SendMessageW(state, WM_GETFONT, 0, 0)), dialog_font) << name;
        }
        RECT placed;
        ::GetWindowRect(hwnd, &placed);
        EXPECT_TRUE(placed.left >= 0 && placed.top >= 0 && placed.right <= ::GetSystemMetrics(SM_CXSCREEN) &&
                    placed.bottom <= ::GetSystemMetrics(SM_CYSCREEN))
            << name << " stands off the screen";
        SaveShot(hwnd, "win32-" + name + ".bmp");
        window.DestroyWindow();
    }
}

}  // namespace
}  // namespace mirelle::test
