// The Qt 6 Widgets backend: each live ui::Dialog becomes a real window built
// from its template. Dialog units become pixels with the dialog font's
// average character width and height (x * width / 4, y * height / 8, rounded
// as the classic dialog manager rounds), so the windows keep their designed
// layout.
//
// Model changes reach the widgets through the observer hook. Input goes the
// other way through Dialog::Deliver only: clicks, list choices, edited texts,
// focus changes, keys (Qt's own shortcuts and dialog keys are held back so
// that the model decides what Enter, Esc and letters do), right clicks,
// pointer rests for tooltips, dropped files and close requests. A window
// whose model is disabled takes no input but is drawn as it is, as a
// disabled owner window always looked.
#pragma once

#include <QPointer>
#include <QSize>
#include <QWidget>
#include <map>
#include <memory>

#include "ui/backend.h"
#include "ui/dialog.h"

class QEventLoop;
class QSoundEffect;

namespace mirelle::ui {

class QtBackend final : public Backend, public DialogObserver {
public:
    // Needs a running QApplication.
    QtBackend();
    ~QtBackend() override;

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
    QWidget* WindowOf(const Dialog& dialog) const;
    QWidget* ControlOf(const Dialog& dialog, int id) const;
    // The dialog's base units in pixels: average character width and height.
    QSize BaseUnits(const Dialog& dialog) const;
    // A rectangle in dialog units as pixels of that dialog.
    QRect ToPixels(const Dialog& dialog, const Rect& r) const;

    struct Window;
    // Used by the input filter.
    Window* WindowOfWidget(const QWidget* top) const;
    // The window that a widget belongs to (the innermost, for a page in a sheet).
    Window* WindowContaining(const QWidget* widget) const;
    void HandleDrop(Window& w, const std::vector<std::string>& files);
    void HandleClose(Window& w);

private:
    void BuildControls(Window& w);
    void ApplyControl(Window& w, int index, ChangeKind kind);
    void ApplyGeometry(Window& w);
    void Resync(Window& w, int id);

    std::map<const Dialog*, std::unique_ptr<Window>> windows_;
    std::unique_ptr<QObject> filter_;
    std::unique_ptr<QSoundEffect> sound_;
};

// The picture of a resource or system icon number (0: none), at `size`.
QPixmap ResourcePixmap(int resource, QSize size);

}  // namespace mirelle::ui
