#include "ui/qt/qt_window_backend.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSoundEffect>
#include <QStyle>
#include <QTabWidget>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/qt/qt_backend.h"

// Resources of a static library must be registered by hand.
static void InitMirelleResources() { Q_INIT_RESOURCE(mirelle_icons); }

namespace mirelle::ui {

namespace {

// Pixels of a dialog-unit value, rounded as the dialog manager's MulDiv does.
int Scale(int value, int base, int divisor) {
    long long n = static_cast<long long>(value) * base;
    return static_cast<int>(n >= 0 ? (n + divisor / 2) / divisor : -((-n + divisor / 2) / divisor));
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The classic dialog fonts do not exist here; the desktop's sans serif font
// takes their place at the same pixel size (points at 96 dots per inch).
QFont DialogFont(const DialogTemplate& tpl) {
    QFont font = QApplication::font();
    const QString family = Q(tpl.font);
    if (!family.isEmpty() && QFontDatabase::families().contains(family)) font.setFamily(family);
    int points = tpl.font_size > 0 ? tpl.font_size : 9;
    // The classic "10" of these templates is a small font: 13 pixels high.
    font.setPixelSize(static_cast<int>(std::lround(points * 96.0 / 72.0)));
    return font;
}

// A large label's font: the dialog font, bold, at twice its height.
QFont LargeFont(const QFont& dialog_font) {
    QFont font = dialog_font;
    font.setPixelSize(dialog_font.pixelSize() * 2);
    font.setBold(true);
    return font;
}

// The text of a static control as it is drawn: "&&" is an ampersand, a
// single '&' underlines the next letter.
QString LabelRichText(const std::string& text, bool& rich) {
    QString plain;
    QString html;
    rich = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            if (text[i + 1] == '&') {
                plain += '&';
                html += "&amp;";
                ++i;
                continue;
            }
            // The mnemonic letter (a whole UTF-8 sequence).
            std::size_t len = 1;
            unsigned char u = static_cast<unsigned char>(text[i + 1]);
            if (u >= 0xF0) len = 4;
            else if (u >= 0xE0) len = 3;
            else if (u >= 0xC0) len = 2;
            QString letter = Q(text.substr(i + 1, len));
            plain += letter;
            html += "<u>" + letter.toHtmlEscaped() + "</u>";
            rich = true;
            i += len;
            continue;
        }
        if (text[i] == '\r') continue;
        std::size_t j = i;
        while (j < text.size() && text[j] != '&' && text[j] != '\r') ++j;
        QString part = Q(text.substr(i, j - i));
        plain += part;
        html += part.toHtmlEscaped().replace('\n', "<br>");
        i = j - 1;
    }
    return rich ? html : plain;
}

// A button whose text may wrap gets a line break when it does not fit.
QString ButtonText(const std::string& text, bool multi_line, const QFont& font, int width) {
    QString t = Q(text);
    if (!multi_line) return t;
    QString shown = t;
    shown.replace("&&", "\x01").remove('&').replace("\x01", "&");
    QFontMetrics fm(font);
    if (fm.horizontalAdvance(shown) + 8 <= width) return t;
    // Break at the blank nearest the middle.
    int best = -1;
    for (int i = 0; i < t.size(); ++i)
        if (t[i] == ' ' && (best < 0 || std::abs(i - t.size() / 2) < std::abs(best - t.size() / 2))) best = i;
    if (best < 0) return t;
    t[best] = '\n';
    return t;
}

int VirtualKey(const QKeyEvent* e) {
    const int k = e->key();
    if (k >= Qt::Key_A && k <= Qt::Key_Z) return 'A' + (k - Qt::Key_A);
    if (k >= Qt::Key_0 && k <= Qt::Key_9) return '0' + (k - Qt::Key_0);
    switch (k) {
        case Qt::Key_Return:
        case Qt::Key_Enter: return kVkReturn;
        case Qt::Key_Escape: return kVkEscape;
        case Qt::Key_F4: return kVkF4;
        case Qt::Key_Backspace: return kVkBack;
        case Qt::Key_Space: return ' ';
        default: return 0;
    }
}

}  // namespace

QPixmap ResourcePixmap(int resource, QSize size) {
    QString path;
    QStyle::StandardPixmap standard = QStyle::SP_CustomBase;
    switch (resource) {
        case 0: return {};
        case 128: path = ":/mirelle/icons/mirelle.png"; break;
        case 169: path = ":/mirelle/icons/banner.png"; break;
        case kIconHand: standard = QStyle::SP_MessageBoxCritical; break;
        case kIconQuestion: standard = QStyle::SP_MessageBoxQuestion; break;
        case kIconExclamation: standard = QStyle::SP_MessageBoxWarning; break;
        case kIconAsterisk: standard = QStyle::SP_MessageBoxInformation; break;
        default: return {};
    }
    if (!path.isEmpty()) {
        QPixmap p(path);
        if (p.isNull()) return {};
        // The picture fills its control; the icon keeps its square.
        return p.scaled(size, resource == 128 ? Qt::KeepAspectRatio : Qt::IgnoreAspectRatio,
                        Qt::SmoothTransformation);
    }
    return QApplication::style()->standardIcon(standard).pixmap(size);
}

// The top-level widget of a dialog: close requests and dropped files go to
// the model.
class DialogWidget final : public QWidget {
public:
    DialogWidget(QtBackend& backend, QWidget* parent, Qt::WindowFlags flags)
        : QWidget(parent, flags), backend_(backend) {
        setAcceptDrops(true);
    }

protected:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        if (QtBackend::Window* w = backend_.WindowOfWidget(this)) backend_.HandleClose(*w);
    }
    void dragEnterEvent(QDragEnterEvent* e) override {
        if (Accepts(e->mimeData())) e->acceptProposedAction();
    }
    void dragMoveEvent(QDragMoveEvent* e) override {
        if (Accepts(e->mimeData())) e->acceptProposedAction();
    }
    void dropEvent(QDropEvent* e) override {
        QtBackend::Window* w = backend_.WindowOfWidget(this);
        if (w == nullptr || !Accepts(e->mimeData())) return;
        std::vector<std::string> files;
        for (const QUrl& url : e->mimeData()->urls())
            if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
        e->acceptProposedAction();
        backend_.HandleDrop(*w, files);
    }

private:
    bool Accepts(const QMimeData* mime);
    QtBackend& backend_;
};

struct QtBackend::Window {
    Dialog* dialog = nullptr;
    QPointer<DialogWidget> top;
    QFont font;
    int base_x = 0;  // average character width, pixels
    int base_y = 0;  // character height, pixels
    std::vector<QPointer<QWidget>> controls;  // in the order of dialog->Controls()
    std::map<int, int> index;                 // control id -> position
    std::map<const QWidget*, int> widget_control;  // widget -> control id
    std::vector<QMetaObject::Connection> connections;  // cut when the window goes
    QEventLoop* loop = nullptr;
    bool syncing = false;
};

bool DialogWidget::Accepts(const QMimeData* mime) {
    QtBackend::Window* w = backend_.WindowOfWidget(this);
    if (w == nullptr || !w->dialog->AcceptsFiles() || !w->dialog->IsWindowEnabled() || mime == nullptr) return false;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) return true;
    return false;
}

// Sees the input of every widget of every window of this backend before the
// widget does.
class InputFilter final : public QObject {
public:
    explicit InputFilter(QtBackend& backend) : backend_(backend) {}

protected:
    bool eventFilter(QObject* obj, QEvent* ev) override {
        if (!obj->isWidgetType()) return false;
        QWidget* widget = static_cast<QWidget*>(obj);
        QtBackend::Window* w = backend_.WindowContaining(widget);
        if (w == nullptr || w->top.isNull()) return false;
        Dialog& d = *w->dialog;
        const QEvent::Type type = ev->type();
        const bool input = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                           type == QEvent::MouseButtonDblClick || type == QEvent::KeyPress ||
                           type == QEvent::KeyRelease || type == QEvent::Wheel || type == QEvent::ShortcutOverride ||
                           type == QEvent::ToolTip;
        if (input && !d.AcceptsInput()) {
            if (type == QEvent::ShortcutOverride) ev->accept();
            return true;
        }
        switch (type) {
            case QEvent::ShortcutOverride:
                // No toolkit shortcut fires: the key comes as a key press.
                ev->accept();
                return true;
            case QEvent::KeyPress: {
                auto* ke = static_cast<QKeyEvent*>(ev);
                if ((ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) &&
                    (ke->modifiers() & Qt::ControlModifier)) {
                    // Ctrl+Tab and Ctrl+Shift+Tab: the model's (a property sheet's page switch).
                    InputEvent e = InputEvent::Key(kVkTab);
                    e.ctrl = true;
                    e.shift = ke->key() == Qt::Key_Backtab || (ke->modifiers() & Qt::ShiftModifier);
                    return d.Deliver(e);
                }
                if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) return false;  // focus chain
                if (ke->modifiers() & Qt::ControlModifier) return false;  // editing keys of the widget
                const int vk = VirtualKey(ke);
                if (vk == 0) return false;
                const bool alt = (ke->modifiers() & Qt::AltModifier) != 0;
                const bool consumed = d.Deliver(InputEvent::Key(vk, alt));
                return consumed || vk == kVkReturn || vk == kVkEscape;
            }
            case QEvent::FocusIn: {
                if (w->syncing) return false;
                auto it = w->widget_control.find(widget);
                if (it == w->widget_control.end() || it->second == kStaticId) return false;
                InputEvent e;
                e.kind = InputKind::FocusChanged;
                e.control = it->second;
                d.Deliver(e);
                return false;
            }
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick: {
                auto* me = static_cast<QMouseEvent*>(ev);
                if (me->button() != Qt::RightButton) return false;
                QPoint at = widget->mapTo(w->top, me->position().toPoint());
                InputEvent e;
                e.kind = type == QEvent::MouseButtonDblClick ? InputKind::RightButtonDoubleClick
                                                             : InputKind::RightButtonDown;
                e.point = {at.x() * 4 / std::max(1, w->base_x), at.y() * 8 / std::max(1, w->base_y)};
                d.Deliver(e);
                return true;
            }
            case QEvent::ToolTip: {
                // Tooltips show only when the window relays the rest to them.
                for (QWidget* p = widget; p != nullptr && p != w->top; p = p->parentWidget()) {
                    auto it = w->widget_control.find(p);
                    if (it == w->widget_control.end() || it->second == kStaticId) continue;
                    InputEvent e;
                    e.kind = InputKind::MouseHover;
                    e.control = it->second;
                    d.Deliver(e);
                    break;
                }
                return true;
            }
            default:
                return false;
        }
    }

private:
    QtBackend& backend_;
};

std::unique_ptr<Backend> CreateQtBackend(int& argc, char** argv, const char* error_line) {
    static const char* s_error = nullptr;
    static std::string s_held;  // the toolkit's warnings while it starts
    s_error = error_line;
    if (QApplication::instance() == nullptr) {
        // The toolkit aborts when it cannot reach the window system; say it
        // in one line and end with status 1 instead. Its own warnings of the
        // start are held back until it is known to have started.
        QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& msg) {
                if (type == QtFatalMsg) {
                    std::fprintf(stderr, "%s\n", s_error != nullptr ? s_error : "mirelle: cannot open a display");
                    std::fflush(stderr);
                    std::_Exit(1);
                }
                if (type != QtDebugMsg && type != QtInfoMsg) s_held += msg.toStdString() + "\n";
            });
        static QApplication* app = new QApplication(argc, argv);  // lives as long as the process
        (void)app;
        qInstallMessageHandler(previous);
        std::fputs(s_held.c_str(), stderr);
        s_held.clear();
    }
    return std::make_unique<QtBackend>();
}

QtBackend::QtBackend() {
    InitMirelleResources();
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(ResourcePixmap(128, QSize(64, 64))));
    filter_ = std::make_unique<InputFilter>(*this);
    qApp->installEventFilter(filter_.get());
}

QtBackend::~QtBackend() {
    if (qApp != nullptr) qApp->removeEventFilter(filter_.get());
    for (auto& [dialog, w] : windows_) {
        const_cast<Dialog*>(dialog)->SetObserver(nullptr);
        delete w->top.data();
    }
    windows_.clear();
}

QtBackend::Window* QtBackend::WindowContaining(const QWidget* widget) const {
    // The nearest window of ours: a property page is a window inside its
    // sheet. The search ends at the first top-level window, so a message box
    // or file dialog owned by one of ours keeps its own input.
    for (const QWidget* p = widget; p != nullptr; p = p->parentWidget()) {
        if (Window* w = WindowOfWidget(p)) return w;
        if (p->isWindow()) return nullptr;
    }
    return nullptr;
}

QtBackend::Window* QtBackend::WindowOfWidget(const QWidget* top) const {
    if (top == nullptr) return nullptr;
    for (const auto& [dialog, w] : windows_)
        if (w->top == top) return w.get();
    return nullptr;
}

QWidget* QtBackend::WindowOf(const Dialog& dialog) const {
    auto it = windows_.find(&dialog);
    return it == windows_.end() ? nullptr : it->second->top.data();
}

QWidget* QtBackend::ControlOf(const Dialog& dialog, int id) const {
    auto it = windows_.find(&dialog);
    if (it == windows_.end()) return nullptr;
    auto i = it->second->index.find(id);
    return i == it->second->index.end() ? nullptr : it->second->controls[static_cast<std::size_t>(i->second)].data();
}

QSize QtBackend::BaseUnits(const Dialog& dialog) const {
    auto it = windows_.find(&dialog);
    return it == windows_.end() ? QSize() : QSize(it->second->base_x, it->second->base_y);
}

QRect QtBackend::ToPixels(const Dialog& dialog, const Rect& r) const {
    QSize b = BaseUnits(dialog);
    int left = Scale(r.left, b.width(), 4);
    int top = Scale(r.top, b.height(), 8);
    return QRect(left, top, Scale(r.Width(), b.width(), 4), Scale(r.Height(), b.height(), 8));
}

Rect QtBackend::ScreenRect() {
    QScreen* screen = QGuiApplication::primaryScreen();
    QRect g = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // Measured with the dialog font; all templates use the same size.
    DialogTemplate probe;
    probe.font_size = 10;
    QFontMetricsF fm(DialogFont(probe));
    int bx = static_cast<int>(std::lround(fm.horizontalAdvance(
                 "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52.0));
    int by = static_cast<int>(std::ceil(fm.height()));
    return {g.left() * 4 / bx, g.top() * 8 / by, g.right() * 4 / bx, g.bottom() * 8 / by};
}

bool QtBackend::CreateWindow(Dialog& dialog, Dialog* owner, bool modal) {
    (void)modal;
    auto w = std::make_unique<Window>();
    w->dialog = &dialog;
    const DialogTemplate& tpl = dialog.Template();
    w->font = DialogFont(tpl);
    QFontMetricsF fm(w->font);
    w->base_x = static_cast<int>(std::lround(fm.horizontalAdvance(
                    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52.0));
    w->base_y = static_cast<int>(std::ceil(fm.height()));

    Qt::WindowFlags flags = Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    flags |= (owner == nullptr && (tpl.style & kMinimizeBox)) ? Qt::Window : Qt::Dialog;
    if (tpl.style & kSystemMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (tpl.style & kMinimizeBox) flags |= Qt::WindowMinimizeButtonHint;
    if (tpl.style & kMaximizeBox) flags |= Qt::WindowMaximizeButtonHint;
    QWidget* parent = owner != nullptr ? WindowOf(*owner) : nullptr;
    // A child window (a property page) is a plain widget inside its owner.
    if (dialog.IsChild() && parent != nullptr) flags = Qt::Widget;
    w->top = new DialogWidget(*this, parent, flags);
    w->top->setFont(w->font);
    w->top->setWindowTitle(Q(dialog.GetWindowText()));
    if (dialog.Icon() != 0) w->top->setWindowIcon(QIcon(ResourcePixmap(dialog.Icon(), QSize(64, 64))));
    Window& ref = *w;
    windows_[&dialog] = std::move(w);
    BuildControls(ref);
    ApplyGeometry(ref);
    dialog.SetObserver(this);
    return true;
}

void QtBackend::BuildControls(Window& w) {
    Dialog& d = *w.dialog;
    const auto& controls = d.Controls();
    w.controls.clear();
    w.index.clear();
    w.widget_control.clear();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlState& c = controls[i];
        const ControlTemplate& t = c.tpl;
        QWidget* widget = nullptr;
        const int id = t.id;
        switch (t.kind) {
            case ControlKind::GroupBox: {
                // The frame runs through the middle of the title, as a
                // classic group box draws it.
                auto* group = new QGroupBox(w.top);
                const int half = QFontMetrics(w.font).height() / 2;
                group->setStyleSheet(QString("QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                                             " margin-top: %1px; }"
                                             "QGroupBox::title { subcontrol-origin: margin; left: %2px;"
                                             " padding: 0 2px; }")
                                         .arg(half)
                                         .arg(w.base_x));
                widget = group;
                break;
            }
            case ControlKind::Label: {
                auto* label = new QLabel(w.top);
                label->setWordWrap(!(t.style & kSunken));
                // One-line labels sit in the middle of their height, level
                // with the edit or list beside them; taller ones start at the top.
                const Qt::Alignment vertical = t.cy <= 14 ? Qt::AlignVCenter : Qt::AlignTop;
                label->setAlignment(((t.style & kCentered) ? Qt::AlignHCenter : Qt::AlignLeft) | vertical);
                if (t.style & kSunken) {
                    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                    label->setIndent(3);
                }
                widget = label;
                break;
            }
            case ControlKind::Edit: {
                if (t.style & kMultiLine) {
                    // A read-only listing: lines in a fixed-width font that
                    // keep their columns, scrolled both ways.
                    auto* text = new QPlainTextEdit(w.top);
                    text->setReadOnly(true);
                    text->setLineWrapMode(QPlainTextEdit::NoWrap);
                    widget = text;
                    break;
                }
                auto* edit = new QLineEdit(w.top);
                edit->setReadOnly(t.style & kReadOnly);
                if (t.style & kCentered) edit->setAlignment(Qt::AlignCenter);
                if (t.style & kReadOnly) {
                    QPalette pal = edit->palette();
                    pal.setColor(QPalette::Base, pal.color(QPalette::Window));
                    edit->setPalette(pal);
                }
                w.connections.push_back(QObject::connect(edit, &QLineEdit::textEdited, edit, [this, &w, id](const QString& text) {
                    if (!w.dialog->Deliver(InputEvent::TextEditedIn(id, text.toStdString()))) Resync(w, id);
                }));
                widget = edit;
                break;
            }
            case ControlKind::Button: {
                auto* button = new QPushButton(w.top);
                button->setAutoDefault(false);
                w.connections.push_back(QObject::connect(button, &QPushButton::clicked, button,
                                 [&w, id] { w.dialog->Deliver(InputEvent::ClickOn(id)); }));
                widget = button;
                break;
            }
            case ControlKind::CheckBox:
            case ControlKind::RadioButton: {
                QAbstractButton* button = t.kind == ControlKind::CheckBox
                                              ? static_cast<QAbstractButton*>(new QCheckBox(w.top))
                                              : static_cast<QAbstractButton*>(new QRadioButton(w.top));
                button->setAutoExclusive(false);
                w.connections.push_back(QObject::connect(button, &QAbstractButton::clicked, button, [this, &w, id] {
                    w.dialog->Deliver(InputEvent::ClickOn(id));
                    Resync(w, id);  // the model owns the check state
                }));
                widget = button;
                break;
            }
            case ControlKind::DropList:
            case ControlKind::DropDown: {
                auto* combo = new QComboBox(w.top);
                combo->setEditable(t.kind == ControlKind::DropDown);
                combo->setMaxVisibleItems(std::max(3, t.cy / 10));
                w.connections.push_back(QObject::connect(combo, &QComboBox::activated, combo, [this, &w, id](int index) {
                    if (!w.dialog->Deliver(InputEvent::SelectionIn(id, index))) Resync(w, id);
                }));
                if (combo->lineEdit() != nullptr) {
                    w.connections.push_back(QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, combo,
                                     [this, &w, id](const QString& text) {
                                         if (!w.dialog->Deliver(InputEvent::TextEditedIn(id, text.toStdString()))) Resync(w, id);
                                     }));
                }
                widget = combo;
                break;
            }
            case ControlKind::Picture:
            case ControlKind::Icon: {
                auto* label = new QLabel(w.top);
                label->setAlignment(Qt::AlignCenter);
                if (t.style & kSunken) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                widget = label;
                break;
            }
            case ControlKind::Progress: {
                auto* bar = new QProgressBar(w.top);
                bar->setTextVisible(false);
                widget = bar;
                break;
            }
            case ControlKind::Tab: {
                // The tab strip and the frame; a property sheet's pages are
                // windows of their own laid over the frame.
                auto* tabs = new QTabWidget(w.top);
                tabs->setFocusPolicy(Qt::TabFocus);
                w.connections.push_back(QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [this, &w, id](int index) {
                    if (w.syncing || index < 0) return;
                    if (!w.dialog->Deliver(InputEvent::SelectionIn(id, index))) Resync(w, id);
                }));
                widget = tabs;
                break;
            }
        }
        if (qobject_cast<QPlainTextEdit*>(widget)) {
            // A listing: the window's font size in a fixed-width face (some
            // platforms answer the fixed-font query with a proportional one).
            QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            if (!QFontInfo(fixed).fixedPitch()) fixed.setFamily("Monospace");
            fixed.setStyleHint(QFont::TypeWriter);
            fixed.setFixedPitch(true);
            fixed.setPointSizeF(w.font.pointSizeF());
            widget->setFont(fixed);
        } else if (t.kind == ControlKind::Label && (t.style & kLargeText)) {
            widget->setFont(LargeFont(w.font));
        } else {
            widget->setFont(w.font);
        }
        widget->setAcceptDrops(false);  // files dropped anywhere go to the window
        if (!c.TakesFocus() && (t.style & kNoTabStop)) widget->setFocusPolicy(Qt::ClickFocus);
        QRect px = ToPixels(d, {t.x, t.y, t.x + t.cx, t.y + t.cy});
        if (c.IsList()) px.setHeight(std::min(px.height(), widget->sizeHint().height()));
        if (t.kind == ControlKind::Icon) px.setSize(QSize(32, 32));  // icons take their own size
        widget->setGeometry(px);
        w.controls.emplace_back(widget);
        w.widget_control[widget] = id;
        if (id != kStaticId) w.index[id] = static_cast<int>(i);
        for (ChangeKind k : {ChangeKind::Text, ChangeKind::Items, ChangeKind::Selection, ChangeKind::Check,
                             ChangeKind::Enabled, ChangeKind::Visible, ChangeKind::TextLimit, ChangeKind::Progress,
                             ChangeKind::ControlIcon, ChangeKind::DefaultButton, ChangeKind::TextColor})
            ApplyControl(w, static_cast<int>(i), k);
    }
    // Keys and focus move in template order.
    QWidget* previous = nullptr;
    for (auto& p : w.controls) {
        if (p.isNull() || p->focusPolicy() == Qt::NoFocus) continue;
        if (previous != nullptr) QWidget::setTabOrder(previous, p);
        previous = p;
    }
}

void QtBackend::ApplyControl(Window& w, int index, ChangeKind kind) {
    const ControlState& c = w.dialog->Controls()[static_cast<std::size_t>(index)];
    QWidget* widget = w.controls[static_cast<std::size_t>(index)].data();
    if (widget == nullptr) return;
    w.syncing = true;
    const ControlTemplate& t = c.tpl;
    switch (kind) {
        case ChangeKind::Text:
            if (auto* g = qobject_cast<QGroupBox*>(widget)) {
                g->setTitle(Q(c.text));
            } else if (t.kind == ControlKind::Label) {
                auto* label = static_cast<QLabel*>(widget);
                bool rich = false;
                QString shown = LabelRichText(c.text, rich);
                label->setTextFormat(rich ? Qt::RichText : Qt::PlainText);
                label->setText(shown);
                if (w.top->isVisible()) label->repaint();  // status texts show at once
            } else if (auto* e = qobject_cast<QLineEdit*>(widget)) {
                if (e->text() != Q(c.text)) e->setText(Q(c.text));
            } else if (auto* p = qobject_cast<QPlainTextEdit*>(widget)) {
                QString text = Q(c.text);
                text.remove(QLatin1Char('\r'));
                if (p->toPlainText() != text) p->setPlainText(text);
            } else if (auto* b = qobject_cast<QPushButton*>(widget)) {
                b->setText(ButtonText(c.text, t.style & kMultiLine, w.font, widget->width()));
            } else if (auto* a = qobject_cast<QAbstractButton*>(widget)) {
                a->setText(Q(c.text));
            } else if (auto* cb = qobject_cast<QComboBox*>(widget)) {
                if (cb->isEditable() && cb->currentText() != Q(c.text)) cb->setEditText(Q(c.text));
            }
            break;
        case ChangeKind::Items:
            if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
                while (tabs->count() > 0) {
                    QWidget* pane = tabs->widget(0);
                    tabs->removeTab(0);
                    delete pane;
                }
                for (const std::string& item : c.items) tabs->addTab(new QWidget, Q(item));
                if (c.selection >= 0) tabs->setCurrentIndex(c.selection);
            }
            if (auto* cb = qobject_cast<QComboBox*>(widget)) {
                cb->clear();
                for (const std::string& item : c.items) cb->addItem(Q(item));
                cb->setCurrentIndex(c.selection);
            }
            break;
        case ChangeKind::Selection:
            if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
                if (c.selection >= 0) tabs->setCurrentIndex(c.selection);
            }
            if (auto* cb = qobject_cast<QComboBox*>(widget)) {
                cb->setCurrentIndex(c.selection);
                if (cb->isEditable()) cb->setEditText(Q(c.text));
            }
            break;
        case ChangeKind::Check:
            if (auto* a = qobject_cast<QAbstractButton*>(widget)) {
                if (a->isCheckable() || t.kind != ControlKind::Button) a->setChecked(c.check != 0);
            }
            break;
        case ChangeKind::Enabled:
            widget->setEnabled(c.enabled);
            break;
        case ChangeKind::Visible:
            widget->setVisible(c.visible);
            break;
        case ChangeKind::TextLimit:
            if (auto* e = qobject_cast<QLineEdit*>(widget)) e->setMaxLength(c.text_limit > 0 ? c.text_limit : 32767);
            break;
        case ChangeKind::Progress:
            if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
                int lo = std::min(c.range_lower, c.range_upper);
                int hi = std::max(c.range_lower, c.range_upper);
                if (hi == lo) hi = lo + 1;  // an empty range would make a busy indicator
                bar->setRange(lo, hi);
                bar->setValue(std::clamp(c.position, lo, hi));
            }
            break;
        case ChangeKind::ControlIcon:
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                if (t.kind == ControlKind::Picture || t.kind == ControlKind::Icon) {
                    QSize size = t.kind == ControlKind::Icon ? QSize(32, 32) : widget->size() - QSize(4, 4);
                    label->setPixmap(ResourcePixmap(c.icon, size));
                }
            }
            break;
        case ChangeKind::DefaultButton:
            if (auto* b = qobject_cast<QPushButton*>(widget)) b->setDefault(c.is_default);
            break;
        case ChangeKind::TextColor:
            if (t.kind == ControlKind::Label) {
                QPalette pal = widget->palette();
                pal.setColor(QPalette::WindowText, c.text_color == kNoColor
                                                       ? QApplication::palette().color(QPalette::WindowText)
                                                       : QColor::fromRgb(c.text_color));
                widget->setPalette(pal);
            }
            break;
        default:
            break;
    }
    w.syncing = false;
}

void QtBackend::Resync(Window& w, int id) {
    auto it = w.index.find(id);
    if (it == w.index.end()) return;
    for (ChangeKind k : {ChangeKind::Text, ChangeKind::Selection, ChangeKind::Check}) ApplyControl(w, it->second, k);
}

void QtBackend::ApplyGeometry(Window& w) {
    Rect r = w.dialog->GetWindowRect();
    QRect px = ToPixels(*w.dialog, r);
    w.top->setFixedSize(px.size());
    w.top->move(px.topLeft());
}

void QtBackend::DestroyWindow(Dialog& dialog) {
    auto it = windows_.find(&dialog);
    if (it == windows_.end()) return;
    std::unique_ptr<Window> w = std::move(it->second);
    windows_.erase(it);
    dialog.SetObserver(nullptr);
    for (const QMetaObject::Connection& c : w->connections) QObject::disconnect(c);
    if (w->loop != nullptr) w->loop->exit();
    if (!w->top.isNull()) {
        w->top->hide();
        // Its child windows (message boxes, modal dialogs) are gone by now;
        // deleting later keeps a widget alive while its own signal runs.
        w->top->setParent(nullptr);
        w->top->deleteLater();
    }
}

void QtBackend::RunModal(Dialog& dialog) {
    auto it = windows_.find(&dialog);
    if (it == windows_.end() || dialog.Ended()) return;
    QEventLoop loop;
    it->second->loop = &loop;
    loop.exec(QEventLoop::DialogExec);
    auto again = windows_.find(&dialog);
    if (again != windows_.end()) again->second->loop = nullptr;
}

void QtBackend::EndModal(Dialog& dialog) {
    auto it = windows_.find(&dialog);
    if (it != windows_.end() && it->second->loop != nullptr) it->second->loop->exit();
}

void QtBackend::PumpEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtBackend::HandleDrop(Window& w, const std::vector<std::string>& files) {
    if (files.empty()) return;
    InputEvent e;
    e.kind = InputKind::DropFiles;
    e.files = files;
    w.dialog->Deliver(e);
}

void QtBackend::HandleClose(Window& w) {
    InputEvent e;
    e.kind = InputKind::Close;
    w.dialog->Deliver(e);
}

void QtBackend::OnDialogChanged(Dialog& dialog, const Change& change) {
    auto it = windows_.find(&dialog);
    if (it == windows_.end() || it->second->top.isNull()) return;
    Window& w = *it->second;
    if (change.control != 0) {
        auto i = w.index.find(change.control);
        if (change.kind == ChangeKind::DefaultButton) {
            for (std::size_t k = 0; k < w.controls.size(); ++k)
                ApplyControl(w, static_cast<int>(k), ChangeKind::DefaultButton);
            return;
        }
        if (change.kind == ChangeKind::Focus) {
            if (i != w.index.end()) {
                QWidget* widget = w.controls[static_cast<std::size_t>(i->second)].data();
                if (widget != nullptr && !widget->hasFocus()) {
                    w.syncing = true;
                    widget->setFocus(Qt::OtherFocusReason);
                    w.syncing = false;
                }
            }
            return;
        }
        if (i != w.index.end()) ApplyControl(w, i->second, change.kind);
        return;
    }
    switch (change.kind) {
        case ChangeKind::Caption:
            w.top->setWindowTitle(Q(dialog.GetWindowText()));
            break;
        case ChangeKind::WindowVisible:
            if (dialog.IsWindowVisible()) {
                w.top->show();
                w.top->raise();
                if (!dialog.IsChild()) w.top->activateWindow();
                if (QWidget* f = ControlOf(dialog, dialog.GetFocus())) {
                    w.syncing = true;
                    f->setFocus(Qt::OtherFocusReason);
                    w.syncing = false;
                }
            } else {
                w.top->hide();
            }
            break;
        case ChangeKind::WindowGeometry:
            ApplyGeometry(w);
            break;
        case ChangeKind::WindowIcon:
            w.top->setWindowIcon(QIcon(ResourcePixmap(dialog.Icon(), QSize(64, 64))));
            break;
        case ChangeKind::BringToTop:
            w.top->raise();
            w.top->activateWindow();
            break;
        case ChangeKind::DefaultButton:
            for (std::size_t k = 0; k < w.controls.size(); ++k)
                ApplyControl(w, static_cast<int>(k), ChangeKind::DefaultButton);
            break;
        case ChangeKind::Focus:
            // Only a widget of this very window loses the focus (a page's
            // widgets are inside its sheet's window too).
            if (dialog.GetFocus() == 0) {
                QWidget* f = QApplication::focusWidget();
                if (f != nullptr && WindowContaining(f) == &w) {
                    w.syncing = true;
                    f->clearFocus();
                    w.syncing = false;
                }
            }
            break;
        default:
            // The enabled state of the window is kept by the input filter; the
            // system menu belongs to the window manager here.
            break;
    }
}

int QtBackend::MessageBox(const MessageBoxRequest& request) {
    QWidget* parent = request.owner != nullptr ? WindowOf(*request.owner) : nullptr;
    QMessageBox box(parent);
    box.setWindowTitle(Q(request.caption));
    QString text = Q(request.text);
    text.remove('\r');
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (request.icon) {
        case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
        case MessageIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
        case MessageIcon::Stop: box.setIcon(QMessageBox::Critical); break;
        case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
        case MessageIcon::None: break;
    }
    QPushButton* first = nullptr;
    QPushButton* second = nullptr;
    switch (request.buttons) {
        case MessageButtons::Ok:
            first = box.addButton("OK", QMessageBox::AcceptRole);
            box.setEscapeButton(first);
            break;
        case MessageButtons::OkCancel:
            first = box.addButton("OK", QMessageBox::AcceptRole);
            second = box.addButton("Cancel", QMessageBox::RejectRole);
            box.setEscapeButton(second);
            break;
        case MessageButtons::YesNo:
            first = box.addButton("&Yes", QMessageBox::YesRole);
            second = box.addButton("&No", QMessageBox::NoRole);
            break;
    }
    box.setDefaultButton(first);
    box.exec();
    const bool took_second = second != nullptr && box.clickedButton() == second;
    switch (request.buttons) {
        case MessageButtons::Ok: return kIdOk;
        case MessageButtons::OkCancel: return took_second ? kIdCancel : kIdOk;
        case MessageButtons::YesNo: return took_second ? kIdNo : kIdYes;
    }
    return kIdOk;
}

// "description|pattern;pattern|...||" as the toolkit's name filters. Names on
// this file system are case-sensitive, so each pattern is also offered in
// capitals ("*.hex" finds FILE.HEX as well).
static QStringList NameFilters(const std::string& filter) {
    QStringList parts = Q(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        if (description.isEmpty()) break;
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            QString pattern = p.trimmed();
            if (pattern == "*.*") pattern = "*";
            patterns << pattern;
            if (pattern.toUpper() != pattern) patterns << pattern.toUpper();
        }
        // The description carries its own "(*.x;*.y)"; the toolkit reads the
        // last parenthesis, so the patterns follow in its form.
        int paren = description.lastIndexOf('(');
        if (paren > 0 && description.endsWith(')')) description = description.left(paren).trimmed();
        out << description + " (" + patterns.join(' ') + ")";
    }
    return out;
}

std::optional<std::string> QtBackend::FileDialog(const FileDialogRequest& request) {
    QWidget* parent = request.owner != nullptr ? WindowOf(*request.owner) : nullptr;
    // The start folder may be given as a file's path (Copy passes the program
    // file): then its folder is used, and the file is not preselected, so a
    // hasty Save never offers to overwrite the program file.
    QString dir = request.initial_dir.empty() ? QDir::currentPath() : Q(request.initial_dir);
    QFileInfo start(dir);
    if (!start.isDir()) dir = start.absolutePath();
    if (!QFileInfo(dir).isDir()) dir = QDir::currentPath();
    QFileDialog dialog(parent, request.save ? "Save As" : "Open", dir);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A save dialog always takes new names: "must exist" would make it
    // impossible to write a new read-out file.
    dialog.setFileMode(request.save || !(request.flags & kFileMustExist) ? QFileDialog::AnyFile
                                                                         : QFileDialog::ExistingFile);
    if (request.save && !(request.flags & kOverwritePrompt)) dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    QStringList filters = NameFilters(request.filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!request.default_extension.empty()) dialog.setDefaultSuffix(Q(request.default_extension));
    // An initial name with wildcards ("*.wav") only narrows the list, which
    // the filter already does.
    if (!request.initial_name.empty() && request.initial_name.find_first_of("*?") == std::string::npos)
        dialog.selectFile(Q(request.initial_name));
    // The list's size, type and date columns take the width of what they
    // show rather than eliding it; the name takes the rest, in a dialog
    // wide enough for all four within the screen.
    if (auto* list = dialog.findChild<QTreeView*>()) {
        QHeaderView* header = list->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(QHeaderView::ResizeToContents);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    QSize size = dialog.sizeHint().expandedTo(QSize(760, 440));
    if (QScreen* screen = QGuiApplication::primaryScreen()) size = size.boundedTo(screen->availableGeometry().size());
    dialog.resize(size);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return QFileInfo(dialog.selectedFiles().first()).absoluteFilePath().toStdString();
}

void QtBackend::PlayWave(const std::string& path) {
    if (path.empty() || !QFileInfo::exists(Q(path))) return;
    if (!sound_) sound_ = std::make_unique<QSoundEffect>();
    sound_->stop();
    sound_->setSource(QUrl::fromLocalFile(Q(path)));
    sound_->play();  // plays on while the program goes on
}

void QtBackend::StopSound() {
    if (sound_) sound_->stop();
}

void QtBackend::Beep() { QApplication::beep(); }

bool QtBackend::OpenWithViewer(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path)));
}

void QtBackend::ShowToolTip(Dialog& dialog, int control, const std::string& text) {
    QWidget* widget = ControlOf(dialog, control);
    if (widget == nullptr || text.empty()) return;
    QToolTip::showText(QCursor::pos(), Q(text), widget);
}

}  // namespace mirelle::ui
