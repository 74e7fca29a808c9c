// The Windows backend: each live ui::Dialog becomes a real dialog, built in
// memory as an extended dialog template (the template's font, size and
// controls, in dialog units) and created by the system's dialog manager with
// CreateDialogIndirectParam. Modal windows run a message loop of the
// backend's own, so that every key passes the model first.
//
// Model changes reach the controls through the observer hook. Input goes the
// other way through Dialog::Deliver only: control notifications (clicks,
// edited texts, chosen entries, focus), the dialog keys (Enter, Esc, Tab,
// Ctrl+Tab, Alt with a letter, Alt+F4) taken from the message loop before
// the control sees them, right clicks, pointer rests for tooltips, dropped
// files, the close box and the system menu. Check boxes and radio buttons are
// of the kind that does not check itself: the model owns their state.
//
// The header holds no <windows.h>: its macros (MessageBox, CreateWindow)
// would rename the Backend's members.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "ui/backend.h"
#include "ui/dialog.h"

struct HWND__;

namespace mirelle::ui {

class Win32Backend final : public Backend, public DialogObserver {
public:
    Win32Backend();
    ~Win32Backend() override;

    // --- Backend ---
    bool CreateWindow(Dialog& dialog, Dialog* owner, bool modal) override;
    void DestroyWindow(Dialog& dialog) override;
    void RunModal(Dialog& dialog) override;
    void EndModal(Dialog& dialog) override;
    void PumpEvents() override;
    Rect ScreenRect() override;
    int MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> FileDialog(const FileDialogRequest& request) override;
    void PlayWave(const std::string& path) override;
    void StopSound() override;
    void Beep() override;
    bool OpenWithViewer(const std::string& path) override;
    void ShowToolTip(Dialog& dialog, int control, const std::string& text) override;

    // --- DialogObserver ---
    void OnDialogChanged(Dialog& dialog, const Change& change) override;

    // --- for tests and screenshots ---
    HWND__* WindowOf(const Dialog& dialog) const;
    HWND__* ControlOf(const Dialog& dialog, int id) const;
    // The face name the dialog template was built with (the template's own
    // when the system has it).
    static std::string FaceFor(const DialogTemplate& tpl);

    struct Window;
    // The message handling of the dialogs and the loops (internal).
    Window* WindowOfHandle(HWND__* hwnd) const;
    bool PreTranslate(void* msg);
    long long DialogMessage(Window& w, unsigned message, unsigned long long wparam, long long lparam);

private:
    void Dispatch(void* msg);
    void BindControls(Window& w);
    void ApplyControl(Window& w, std::size_t index, ChangeKind kind);
    void ApplyGeometry(Window& w);
    void ApplySystemMenu(Window& w);
    void Resync(Window& w, int id);
    void HideToolTip();

    std::map<const Dialog*, std::unique_ptr<Window>> windows_;
    std::map<HWND__*, Window*> by_handle_;
    HWND__* hover_ = nullptr;     // the window the pointer rests on
    HWND__* tip_owner_ = nullptr; // the dialog whose tooltip is up
};

}  // namespace mirelle::ui
