// The desktop front end's dialog, controls and drawing over Qt Widgets.
#include "platform/desktop.h"

#include <QApplication>
#include <QEventLoop>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <new>
#include <vector>

namespace {

// Window and control styles beyond those the platform header names.
constexpr uint32_t style_disabled = 0x08000000;
constexpr uint32_t style_tab_stop = 0x00010000;
constexpr uint32_t style_horizontal_scroll = 0x00100000;
constexpr uint32_t edit_style_right = 0x0002;
constexpr uint32_t extended_style_client_edge = 0x00000200;
constexpr uint32_t extended_style_static_edge = 0x00020000;

// A new edit control's text limit, as on the handheld.
constexpr int32_t default_text_limit = 30000;

// The shell's title bar, in pixels at scale 1.
constexpr int32_t title_bar_height = 26;

// Bitmaps larger than this are refused rather than allocated.
constexpr int64_t largest_bitmap_bytes = int64_t{64} << 20;

// Rounds like the handheld's multiply-then-divide helper: to nearest, halves away from zero.
int32_t mul_div(int32_t value, int32_t multiplier, int32_t divisor) {
    int64_t product = int64_t{value} * multiplier;
    int64_t half = divisor / 2;
    return static_cast<int32_t>(product >= 0 ? (product + half) / divisor : -((-product + half) / divisor));
}

QString from_wide(const char16_t* text) { return text == nullptr ? QString() : QString::fromUtf16(text); }

}  // namespace

Rect dialog_units_to_pixels(int32_t x, int32_t y, int32_t width, int32_t height, int32_t scale) {
    int32_t left = mul_div(x, dialog_base_unit_x, 4);
    int32_t top = mul_div(y, dialog_base_unit_y, 8);
    int32_t right = left + mul_div(width, dialog_base_unit_x, 4);
    int32_t bottom = top + mul_div(height, dialog_base_unit_y, 8);
    return Rect{left * scale, top * scale, right * scale, bottom * scale};
}

namespace {

// The scale for a window of `width` x `height` pixels at scale 1.
int32_t screen_scale_for(int32_t width, int32_t height) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return 1;
    int32_t scale = static_cast<int32_t>(std::lround(screen->logicalDotsPerInch() / 96.0));
    scale = std::clamp(scale, 1, desktop_scale_maximum);
    const QSize room = screen->availableSize();
    while (scale > 1 && (width * scale > room.width() || height * scale > room.height())) --scale;
    return scale;
}

}  // namespace

int32_t screen_scale() {
    // The viewer's dialog: 317 x 272 pixels below the shell's title bar.
    Rect dialog = dialog_units_to_pixels(0, 0, 181, 136, 1);
    return screen_scale_for(dialog.right, dialog.bottom + title_bar_height);
}

// ---------------------------------------------------------------------------
// Records

struct DesktopPlatform::Bitmap {
    int32_t width;
    int32_t height;  // rows, always positive
    bool top_down;
    int32_t pitch;   // bytes a row, a multiple of 4
    std::unique_ptr<uint8_t[]> pixels;
};

struct DesktopPlatform::Context {
    enum Kind { Screen, Window, Memory } kind;
    WindowHandle window;  // the window of a Window context
    BitmapHandle selected;
};

namespace {

class DialogArea;
class ShellWindow;

}  // namespace

struct DesktopPlatform::Dialog {
    struct Control {
        DialogControlTemplate layout;
        WindowHandle handle;
        QWidget* widget;  // owned by the window
        int32_t text_limit;
    };

    WindowHandle handle{};
    DialogProcedure procedure = nullptr;
    DialogTemplate layout{};
    int32_t scale = 1;
    std::unique_ptr<ShellWindow> window;  // owns every widget below
    DialogArea* area = nullptr;
    QPushButton* done = nullptr;
    std::vector<Control> controls;
    QPushButton* forward_button = nullptr;  // the button labelled ">>>"
    QPushButton* back_button = nullptr;     // the button labelled "<<<"

    bool ended = false;
    intptr_t result = -1;
    QEventLoop* loop = nullptr;
    bool setting_text = false;

    // Painting: set while the dialog widget's paint event runs.
    bool in_paint_event = false;
    std::unique_ptr<QPainter> painter;
    DrawContext paint_context{};
    QRect paint_rect;  // in widget pixels
    bool invalid = false;

    Control* control_by_id(int32_t id) {
        for (Control& c : controls)
            if (c.layout.id == id) return &c;
        return nullptr;
    }
    Control* control_by_widget(const QObject* widget) {
        for (Control& c : controls)
            if (c.widget == widget) return &c;
        return nullptr;
    }
};

namespace {

// The client area of the dialog: draws through the dialog procedure.
class DialogArea : public QWidget {
public:
    DialogArea(DesktopPlatform& platform, DesktopPlatform::Dialog& dialog, QWidget* parent)
        : QWidget(parent), platform_(platform), dialog_(dialog) {
        // The toolkit erases the background before every paint event, which
        // is what the default procedure's erase would do.
        setAutoFillBackground(true);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        dialog_.paint_rect = event->rect();
        platform_.deliver_paint(dialog_);
    }

private:
    DesktopPlatform& platform_;
    DesktopPlatform::Dialog& dialog_;
};

// The top-level window: the shell's title bar above the dialog. It also
// watches every widget inside it for the keyboard shortcuts and the edit
// controls' focus changes.
class ShellWindow : public QWidget {
public:
    ShellWindow(DesktopPlatform& platform, DesktopPlatform::Dialog& dialog)
        : platform_(platform), dialog_(dialog) {}

    void watch(QWidget* widget) { widget->installEventFilter(this); }

protected:
    void closeEvent(QCloseEvent* event) override {
        // Closing the window is the done button; the dialog procedure decides.
        if (!dialog_.ended) {
            event->ignore();
            platform_.deliver_command(dialog_, command_ok, button_clicked, 0);
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
            return shortcut(watched, static_cast<QKeyEvent*>(event));
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            focus_change(watched, event->type() == QEvent::FocusIn, static_cast<QFocusEvent*>(event));
            return false;
        default:
            return false;
        }
    }

private:
    // Escape and Ctrl+Q are the done button everywhere; the step keys work
    // everywhere but in a single-line edit, where they edit the text.
    bool shortcut(QObject* watched, const QKeyEvent* key) {
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_Escape && mods == Qt::NoModifier) ||
            (key->key() == Qt::Key_Q && mods == Qt::ControlModifier)) {
            platform_.deliver_command(dialog_, command_ok, button_clicked, 0);
            return true;
        }
        // A key the line edit leaves alone (Page Up) travels on to its
        // parents; it is still typed in the edit.
        if (mods != Qt::NoModifier || dynamic_cast<QLineEdit*>(watched) != nullptr ||
            dynamic_cast<QLineEdit*>(QApplication::focusWidget()) != nullptr)
            return false;
        QPushButton* button = nullptr;
        switch (key->key()) {
        case Qt::Key_Right:
        case Qt::Key_PageDown:
        case Qt::Key_Space:
            button = dialog_.forward_button;
            break;
        case Qt::Key_Left:
        case Qt::Key_PageUp:
            button = dialog_.back_button;
            break;
        default:
            return false;
        }
        if (button == nullptr) return false;
        const DesktopPlatform::Dialog::Control* control = dialog_.control_by_widget(button);
        if (control != nullptr && button->isEnabled())
            platform_.deliver_command(dialog_, control->layout.id, button_clicked,
                                      static_cast<intptr_t>(control->handle));
        return true;
    }

    void focus_change(QObject* watched, bool gained, const QFocusEvent* event) {
        // A context menu takes the focus only for a moment.
        if (event->reason() == Qt::PopupFocusReason) return;
        const DesktopPlatform::Dialog::Control* control = dialog_.control_by_widget(watched);
        if (control == nullptr || control->layout.class_ordinal != control_class_edit) return;
        platform_.deliver_command(dialog_, control->layout.id, gained ? edit_set_focus : edit_kill_focus,
                                  static_cast<intptr_t>(control->handle));
    }

    DesktopPlatform& platform_;
    DesktopPlatform::Dialog& dialog_;
};

// The font of the dialog: the template's face when the system has it, in
// the size whose line fills the character cell the base units assume.
QFont dialog_font(const DialogTemplate& layout, int32_t scale) {
    QFont font = QApplication::font();
    const QString face = QString::fromStdU16String(layout.font_name);
    if (!face.isEmpty() && QFontDatabase::families().contains(face, Qt::CaseInsensitive)) font.setFamily(face);
    const int32_t cell = dialog_base_unit_y * scale;
    for (int32_t pixels = cell; pixels > 6; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).height() <= cell) break;
    }
    return font;
}

// The control class of a template entry: its ordinal, or the predefined
// class a name stands for.
uint16_t control_class(const DialogControlTemplate& c) {
    if (c.class_ordinal != 0) return c.class_ordinal;
    const QString name = QString::fromStdU16String(c.class_name);
    if (name.compare(QLatin1String("button"), Qt::CaseInsensitive) == 0) return control_class_button;
    if (name.compare(QLatin1String("edit"), Qt::CaseInsensitive) == 0) return control_class_edit;
    if (name.compare(QLatin1String("static"), Qt::CaseInsensitive) == 0) return control_class_static;
    return 0;
}

Qt::Alignment edit_alignment(uint32_t style) {
    if (style & edit_style_centre) return Qt::AlignHCenter;
    if (style & edit_style_right) return Qt::AlignRight;
    return Qt::AlignLeft;
}

// One widget for one template control; a class the front end does not know
// becomes an empty widget that only holds its place.
QWidget* make_control(const DialogControlTemplate& c, QWidget* parent) {
    const QString text = QString::fromStdU16String(c.text);
    const bool framed = (c.style & style_border) != 0 ||
                        (c.extended_style & (extended_style_client_edge | extended_style_static_edge)) != 0;
    switch (control_class(c)) {
    case control_class_button: {
        auto* button = new QPushButton(text, parent);
        button->setAutoDefault(false);
        return button;
    }
    case control_class_edit:
        if (c.style & edit_style_multi_line) {
            auto* edit = new QTextEdit(parent);
            edit->setAcceptRichText(false);
            edit->setReadOnly((c.style & edit_style_read_only) != 0);
            edit->setTabChangesFocus(true);
            QTextOption option = edit->document()->defaultTextOption();
            option.setAlignment(edit_alignment(c.style));
            option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            edit->document()->setDefaultTextOption(option);
            edit->setLineWrapMode((c.style & style_horizontal_scroll) ? QTextEdit::NoWrap : QTextEdit::WidgetWidth);
            edit->setVerticalScrollBarPolicy((c.style & style_vertical_scroll) ? Qt::ScrollBarAlwaysOn
                                                                               : Qt::ScrollBarAlwaysOff);
            edit->setHorizontalScrollBarPolicy((c.style & style_horizontal_scroll) ? Qt::ScrollBarAlwaysOn
                                                                                   : Qt::ScrollBarAlwaysOff);
            if (!framed) edit->setFrameStyle(QFrame::NoFrame);
            edit->setPlainText(text);
            return edit;
        } else {
            auto* edit = new QLineEdit(text, parent);
            edit->setReadOnly((c.style & edit_style_read_only) != 0);
            edit->setAlignment(edit_alignment(c.style) | Qt::AlignVCenter);
            edit->setFrame(framed);
            edit->setMaxLength(default_text_limit);
            return edit;
        }
    case control_class_static:
        return new QLabel(text, parent);
    default:
        return new QWidget(parent);
    }
}

// The shell's title bar: the caption at the left, the done button at the right.
QWidget* make_title_bar(const QString& caption, const QFont& font, int32_t scale, QPushButton** done) {
    auto* bar = new QWidget;
    bar->setFixedHeight(title_bar_height * scale);
    bar->setAutoFillBackground(true);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, QColor(0x1F, 0x3A, 0x6E));
    palette.setColor(QPalette::WindowText, Qt::white);
    bar->setPalette(palette);

    QFont bold = font;
    bold.setBold(true);
    auto* title = new QLabel(caption, bar);
    title->setFont(bold);

    auto* button = new QPushButton(QStringLiteral("ok"), bar);
    button->setFont(bold);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    button->setFixedSize(30 * scale, 20 * scale);
    button->setToolTip(QStringLiteral("Done (Esc)"));
    button->hide();  // until the shell is asked for it

    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6 * scale, 0, 3 * scale, 0);
    row->addWidget(title);
    row->addStretch(1);
    row->addWidget(button);
    *done = button;
    return bar;
}

}  // namespace

// ---------------------------------------------------------------------------
// The platform

DesktopPlatform::DesktopPlatform(int32_t scale) : scale_(std::clamp(scale, 0, desktop_scale_maximum)) {}

DesktopPlatform::~DesktopPlatform() {
    for (auto& entry : dialogs_) entry.second->ended = true;
    dialogs_.clear();
}

void DesktopPlatform::adopt_application(std::unique_ptr<QApplication> application) {
    application_ = std::move(application);
}

DesktopPlatform::Dialog* DesktopPlatform::find_dialog(WindowHandle window) const {
    auto it = dialogs_.find(static_cast<uintptr_t>(window));
    return it == dialogs_.end() ? nullptr : it->second.get();
}

DesktopPlatform::Context* DesktopPlatform::find_context(DrawContext context) {
    auto it = contexts_.find(static_cast<uintptr_t>(context));
    return it == contexts_.end() ? nullptr : it->second.get();
}

DesktopPlatform::Bitmap* DesktopPlatform::find_bitmap(BitmapHandle bitmap) {
    auto it = bitmaps_.find(static_cast<uintptr_t>(bitmap));
    return it == bitmaps_.end() ? nullptr : it->second.get();
}

QWidget* DesktopPlatform::top_window(WindowHandle dialog) const {
    Dialog* d = find_dialog(dialog);
    return d == nullptr ? nullptr : d->window.get();
}

QWidget* DesktopPlatform::dialog_widget(WindowHandle dialog) const {
    Dialog* d = find_dialog(dialog);
    return d == nullptr ? nullptr : d->area;
}

QWidget* DesktopPlatform::control_widget(WindowHandle dialog, int32_t control_id) const {
    Dialog* d = find_dialog(dialog);
    Dialog::Control* c = d == nullptr ? nullptr : d->control_by_id(control_id);
    return c == nullptr ? nullptr : c->widget;
}

QWidget* DesktopPlatform::done_button(WindowHandle dialog) const {
    Dialog* d = find_dialog(dialog);
    return d == nullptr ? nullptr : d->done;
}

const DialogTemplate* DesktopPlatform::dialog_layout(WindowHandle dialog) const {
    Dialog* d = find_dialog(dialog);
    return d == nullptr ? nullptr : &d->layout;
}

intptr_t DesktopPlatform::send_command(WindowHandle dialog, uint16_t control_id, uint16_t notification) {
    Dialog* d = find_dialog(dialog);
    if (d == nullptr) return 0;
    Dialog::Control* c = d->control_by_id(control_id);
    return deliver_command(*d, control_id, notification, c == nullptr ? 0 : static_cast<intptr_t>(c->handle));
}

intptr_t DesktopPlatform::deliver_command(Dialog& dialog, uint16_t control_id, uint16_t notification,
                                          intptr_t source) {
    if (dialog.ended || dialog.procedure == nullptr) return 0;
    return dialog.procedure(*this, dialog.handle, message_command, make_command(control_id, notification), source);
}

void DesktopPlatform::deliver_paint(Dialog& dialog) {
    dialog.invalid = false;
    if (dialog.ended || dialog.procedure == nullptr) return;
    dialog.in_paint_event = true;
    ++paint_messages_;
    dialog.procedure(*this, dialog.handle, message_paint, 0, 0);
    // A procedure that began painting and did not end it.
    if (dialog.painter) dialog.painter->end();
    dialog.painter.reset();
    dialog.in_paint_event = false;
}

intptr_t DesktopPlatform::dialog_box_indirect(ModuleHandle, const uint8_t* template_bytes, uint32_t template_size,
                                              WindowHandle, DialogProcedure procedure, intptr_t init_argument) {
    if (procedure == nullptr || template_bytes == nullptr) return -1;
    auto owned = std::make_unique<Dialog>();
    Dialog& d = *owned;
    if (!parse_dialog_template(template_bytes, template_size, &d.layout)) return -1;
    d.handle = WindowHandle{new_handle()};
    d.procedure = procedure;

    const Rect client = dialog_units_to_pixels(0, 0, d.layout.width, d.layout.height, 1);
    d.scale = scale_ > 0 ? scale_ : screen_scale_for(client.right, client.bottom + title_bar_height);
    scale_ = d.scale;
    const QFont font = dialog_font(d.layout, d.scale);
    const QString caption = QString::fromStdU16String(d.layout.caption);

    d.window = std::make_unique<ShellWindow>(*this, d);
    ShellWindow& window = *d.window;
    window.setWindowTitle(caption);
    window.setWindowIcon(icon_from_resources(111));
    window.setFont(font);

    QWidget* bar = make_title_bar(caption, font, d.scale, &d.done);
    d.area = new DialogArea(*this, d, &window);
    d.area->setFixedSize(client.right * d.scale, client.bottom * d.scale);
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->setSizeConstraint(QLayout::SetFixedSize);
    column->addWidget(bar);
    column->addWidget(d.area);
    QObject::connect(d.done, &QPushButton::clicked, &window,
                     [this, &d] { deliver_command(d, command_ok, button_clicked, 0); });

    for (const DialogControlTemplate& c : d.layout.controls) {
        QWidget* widget = make_control(c, d.area);
        const Rect r = dialog_units_to_pixels(c.x, c.y, c.width, c.height, d.scale);
        widget->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
        widget->setVisible((c.style & style_visible) != 0);
        widget->setEnabled((c.style & style_disabled) == 0);
        widget->setFocusPolicy((c.style & style_tab_stop) ? Qt::StrongFocus : Qt::ClickFocus);
        d.controls.push_back(Dialog::Control{c, WindowHandle{new_handle()}, widget, default_text_limit});
    }
    for (Dialog::Control& c : d.controls) {
        const uint16_t id = c.layout.id;
        if (auto* button = dynamic_cast<QPushButton*>(c.widget)) {
            QObject::connect(button, &QPushButton::clicked, &window, [this, &d, id] {
                Dialog::Control* control = d.control_by_id(id);
                deliver_command(d, id, button_clicked, control ? static_cast<intptr_t>(control->handle) : 0);
            });
            if (button->text() == QLatin1String(">>>")) d.forward_button = button;
            if (button->text() == QLatin1String("<<<")) d.back_button = button;
        } else if (auto* line = dynamic_cast<QLineEdit*>(c.widget)) {
            QObject::connect(line, &QLineEdit::textEdited, &window, [this, &d, id] {
                Dialog::Control* control = d.control_by_id(id);
                auto* edit = static_cast<QLineEdit*>(control->widget);
                // Text set by the program may exceed the limit; as the user
                // shortens it, the room shrinks back to the limit.
                edit->setMaxLength(std::max<int>(control->text_limit, static_cast<int>(edit->text().size())));
                deliver_command(d, id, edit_change, static_cast<intptr_t>(control->handle));
            });
        } else if (auto* text = dynamic_cast<QTextEdit*>(c.widget)) {
            QObject::connect(text, &QTextEdit::textChanged, &window, [this, &d, id] {
                if (d.setting_text) return;
                Dialog::Control* control = d.control_by_id(id);
                deliver_command(d, id, edit_change, static_cast<intptr_t>(control->handle));
            });
        }
    }
    window.watch(&window);
    for (QWidget* child : window.findChildren<QWidget*>()) window.watch(child);

    dialogs_[static_cast<uintptr_t>(d.handle)] = std::move(owned);

    Dialog::Control* first_tab_stop = nullptr;
    for (Dialog::Control& c : d.controls) {
        const uint32_t s = c.layout.style;
        if ((s & style_tab_stop) && (s & style_visible) && !(s & style_disabled)) {
            first_tab_stop = &c;
            break;
        }
    }
    const intptr_t set_default_focus =
        procedure(*this, d.handle, message_init_dialog,
                  first_tab_stop ? static_cast<uintptr_t>(first_tab_stop->handle) : 0, init_argument);

    if (!d.ended) {
        window.show();
        window.activateWindow();
        if (set_default_focus != 0 && first_tab_stop != nullptr)
            first_tab_stop->widget->setFocus(Qt::OtherFocusReason);
        if (on_dialog_shown)
            QTimer::singleShot(0, &window, [this, &d] {
                if (!d.ended && on_dialog_shown) on_dialog_shown(*this, d.handle);
            });
        QEventLoop loop;
        d.loop = &loop;
        if (!d.ended) loop.exec();
        d.loop = nullptr;
    }

    const intptr_t result = d.ended ? d.result : -1;
    d.ended = true;  // no more messages while the widgets go
    d.window->hide();
    for (auto it = contexts_.begin(); it != contexts_.end();) {
        if (it->second->kind == Context::Window && it->second->window == d.handle) it = contexts_.erase(it);
        else ++it;
    }
    dialogs_.erase(static_cast<uintptr_t>(d.handle));
    return result;
}

bool DesktopPlatform::end_dialog(WindowHandle dialog, intptr_t result) {
    Dialog* d = find_dialog(dialog);
    if (d == nullptr || d->ended) return false;
    d->ended = true;
    d->result = result;
    if (d->loop != nullptr) d->loop->quit();
    return true;
}

bool DesktopPlatform::shell_init_dialog(const ShellDialogInit& request) {
    Dialog* d = find_dialog(request.window);
    if (d == nullptr || !(request.mask & shell_init_mask_flags)) return false;
    d->done->setVisible((request.flags & shell_init_done_button) != 0);
    // The dialog already fills the window below the title bar, and there is
    // no menu bar to hide.
    if (request.flags & shell_init_sip_down) show_input_panel(0);
    return true;
}

intptr_t DesktopPlatform::default_window_procedure(WindowHandle window, uint32_t message, uintptr_t, intptr_t) {
    // Painting: the toolkit has already erased the background, so validating
    // is all that is left.
    if (message == message_paint) {
        if (Dialog* d = find_dialog(window)) d->invalid = false;
    }
    return 0;
}

bool DesktopPlatform::set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) {
    Dialog* d = find_dialog(dialog);
    Dialog::Control* c = d == nullptr ? nullptr : d->control_by_id(control_id);
    if (c == nullptr) return false;
    QString value = from_wide(text);
    d->setting_text = true;
    if (auto* edit = dynamic_cast<QTextEdit*>(c->widget)) {
        value.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        edit->setPlainText(value);
    } else if (auto* line = dynamic_cast<QLineEdit*>(c->widget)) {
        // The program's text is not cut to the user's limit.
        line->setMaxLength(std::max<int>(c->text_limit, static_cast<int>(value.size())));
        line->setText(value);
    } else if (auto* button = dynamic_cast<QPushButton*>(c->widget)) {
        button->setText(value);
    } else if (auto* label = dynamic_cast<QLabel*>(c->widget)) {
        label->setText(value);
    }
    d->setting_text = false;
    return true;
}

int32_t DesktopPlatform::get_control_text(WindowHandle dialog, int32_t control_id, char16_t* buffer,
                                          int32_t limit) {
    if (buffer == nullptr || limit < 0) return 0;
    buffer[0] = 0;
    Dialog* d = find_dialog(dialog);
    Dialog::Control* c = d == nullptr ? nullptr : d->control_by_id(control_id);
    if (c == nullptr) return 0;
    QString value;
    if (auto* edit = dynamic_cast<QTextEdit*>(c->widget)) {
        value = edit->toPlainText();
        value.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    } else if (auto* line = dynamic_cast<QLineEdit*>(c->widget)) {
        value = line->text();
    } else if (auto* button = dynamic_cast<QPushButton*>(c->widget)) {
        value = button->text();
    } else if (auto* label = dynamic_cast<QLabel*>(c->widget)) {
        value = label->text();
    }
    const int32_t count = std::min<int32_t>(limit, static_cast<int32_t>(value.size()));
    for (int32_t i = 0; i < count; ++i) buffer[i] = value.at(i).unicode();
    buffer[count] = 0;
    return count;
}

bool DesktopPlatform::set_control_text_limit(WindowHandle dialog, int32_t control_id, int32_t limit) {
    Dialog* d = find_dialog(dialog);
    Dialog::Control* c = d == nullptr ? nullptr : d->control_by_id(control_id);
    if (c == nullptr || c->layout.class_ordinal != control_class_edit) return false;
    c->text_limit = limit > 0 ? limit : default_text_limit;
    if (auto* line = dynamic_cast<QLineEdit*>(c->widget))
        line->setMaxLength(std::max<int>(c->text_limit, static_cast<int>(line->text().size())));
    return true;
}

bool DesktopPlatform::show_input_panel(int32_t show) {
    // The toolkit raises the system's on-screen keyboard where there is one;
    // the physical keyboard works either way.
    QInputMethod* input = QGuiApplication::inputMethod();
    if (show) input->show();
    else input->hide();
    input_panel_raised_ = show != 0;
    return true;
}

DrawContext DesktopPlatform::get_screen_context(WindowHandle window) {
    if (window != null_window && find_dialog(window) == nullptr) return null_context;
    const uintptr_t handle = new_handle();
    contexts_[handle] = std::make_unique<Context>(
        Context{window == null_window ? Context::Screen : Context::Window, window, null_bitmap});
    return DrawContext{handle};
}

DrawContext DesktopPlatform::create_compatible_context(DrawContext context) {
    if (find_context(context) == nullptr) return null_context;
    const uintptr_t handle = new_handle();
    contexts_[handle] = std::make_unique<Context>(Context{Context::Memory, null_window, null_bitmap});
    return DrawContext{handle};
}

BitmapHandle DesktopPlatform::create_dib_section(DrawContext context, const BitmapInfoHeader* header,
                                                 uint32_t colour_use, uint8_t** pixels, uintptr_t mapping,
                                                 uint32_t offset) {
    if (pixels != nullptr) *pixels = nullptr;
    if (pixels == nullptr || header == nullptr || find_context(context) == nullptr) return null_bitmap;
    if (header->header_size != sizeof(BitmapInfoHeader) || header->width <= 0 || header->height == 0 ||
        header->height == INT32_MIN || header->planes != 1 || header->bits_per_pixel != 24 ||
        header->compression != 0 || colour_use != dib_rgb_colours || mapping != 0 || offset != 0)
        return null_bitmap;
    const int64_t rows = header->height < 0 ? -int64_t{header->height} : header->height;
    const int64_t pitch = (int64_t{header->width} * 3 + 3) / 4 * 4;
    if (pitch * rows > largest_bitmap_bytes) return null_bitmap;

    auto bitmap = std::make_unique<Bitmap>();
    bitmap->width = header->width;
    bitmap->height = static_cast<int32_t>(rows);
    bitmap->top_down = header->height < 0;
    bitmap->pitch = static_cast<int32_t>(pitch);
    bitmap->pixels.reset(new (std::nothrow) uint8_t[static_cast<size_t>(pitch * rows)]());
    if (!bitmap->pixels) return null_bitmap;
    *pixels = bitmap->pixels.get();
    const uintptr_t handle = new_handle();
    bitmaps_[handle] = std::move(bitmap);
    return BitmapHandle{handle};
}

BitmapHandle DesktopPlatform::select_object(DrawContext context, BitmapHandle bitmap) {
    Context* c = find_context(context);
    if (c == nullptr || c->kind != Context::Memory || find_bitmap(bitmap) == nullptr) return null_bitmap;
    const BitmapHandle previous = c->selected;
    c->selected = bitmap;
    return previous;
}

DrawContext DesktopPlatform::begin_paint(WindowHandle window, PaintInfo* info) {
    Dialog* d = find_dialog(window);
    if (info != nullptr) *info = PaintInfo{null_context, 0, Rect{0, 0, 0, 0}};
    if (d == nullptr) return null_context;
    d->invalid = false;
    // Outside its paint event a widget cannot be drawn on: the toolkit
    // delivers a paint message for that soon enough.
    if (!d->in_paint_event) return null_context;
    if (d->paint_context == null_context || find_context(d->paint_context) == nullptr) {
        const uintptr_t handle = new_handle();
        contexts_[handle] = std::make_unique<Context>(Context{Context::Window, window, null_bitmap});
        d->paint_context = DrawContext{handle};
    }
    if (!d->painter) d->painter = std::make_unique<QPainter>(d->area);
    if (info != nullptr) {
        const QRect r = d->paint_rect;
        const int32_t s = d->scale;
        info->context = d->paint_context;
        info->erase = 0;  // already erased by the toolkit
        info->paint_rect = Rect{r.left() / s, r.top() / s, (r.right() + s) / s, (r.bottom() + s) / s};
    }
    return d->paint_context;
}

bool DesktopPlatform::end_paint(WindowHandle window, const PaintInfo*) {
    Dialog* d = find_dialog(window);
    if (d == nullptr) return false;
    if (d->painter) d->painter->end();
    d->painter.reset();
    return true;
}

bool DesktopPlatform::block_copy(DrawContext destination, int32_t x, int32_t y, int32_t width, int32_t height,
                                 DrawContext source, int32_t source_x, int32_t source_y, uint32_t raster) {
    Context* from = find_context(source);
    Context* to = find_context(destination);
    if (from == nullptr || to == nullptr || raster != raster_source_copy || width <= 0 || height <= 0) return false;
    const Bitmap* bitmap = from->kind == Context::Memory ? find_bitmap(from->selected) : nullptr;
    if (bitmap == nullptr) return false;

    // The part of the request that lies inside the source bitmap.
    const QRect wanted(source_x, source_y, width, height);
    const QRect part = wanted.intersected(QRect(0, 0, bitmap->width, bitmap->height));
    if (part.isEmpty()) return true;
    const int32_t dx = x + (part.left() - source_x);
    const int32_t dy = y + (part.top() - source_y);

    if (to->kind == Context::Window) {
        Dialog* d = find_dialog(to->window);
        if (d == nullptr || !d->painter || !d->painter->isActive()) return false;
        QImage frame(bitmap->pixels.get(), bitmap->width, bitmap->height, bitmap->pitch, QImage::Format_BGR888);
        if (!bitmap->top_down) frame = frame.mirrored(false, true);
        // Nearest-neighbour enlargement keeps every pixel a sharp square.
        const int32_t s = d->scale;
        const QImage scaled =
            frame.copy(part).scaled(part.width() * s, part.height() * s, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        d->painter->drawImage(QPoint(dx * s, dy * s), scaled);
        ++window_copies_;
        return true;
    }
    if (to->kind == Context::Memory) {
        Bitmap* target = find_bitmap(to->selected);
        if (target == nullptr) return false;
        const QRect into = QRect(dx, dy, part.width(), part.height()).intersected(QRect(0, 0, target->width, target->height));
        std::vector<uint8_t> row(static_cast<size_t>(into.width()) * 3);
        for (int32_t r = into.top(); r <= into.bottom(); ++r) {
            const int32_t from_row = part.top() + (r - dy);
            const int32_t from_line = bitmap->top_down ? from_row : bitmap->height - 1 - from_row;
            const int32_t to_line = target->top_down ? r : target->height - 1 - r;
            const uint8_t* src = bitmap->pixels.get() + int64_t{from_line} * bitmap->pitch +
                                 int64_t{part.left() + (into.left() - dx)} * 3;
            std::copy(src, src + row.size(), row.begin());
            std::copy(row.begin(), row.end(), target->pixels.get() + int64_t{to_line} * target->pitch + int64_t{into.left()} * 3);
        }
        return true;
    }
    return false;  // the screen itself is not drawn on
}

bool DesktopPlatform::get_client_rect(WindowHandle window, Rect* rect) {
    if (rect == nullptr) return false;
    *rect = Rect{0, 0, 0, 0};
    for (const auto& entry : dialogs_) {
        const Dialog& d = *entry.second;
        const QWidget* widget = nullptr;
        if (d.handle == window) widget = d.area;
        for (const Dialog::Control& c : d.controls)
            if (c.handle == window) widget = c.widget;
        if (widget != nullptr) {
            *rect = Rect{0, 0, widget->width() / d.scale, widget->height() / d.scale};
            return true;
        }
    }
    return false;
}

bool DesktopPlatform::invalidate_rect(WindowHandle window, const Rect* rect, int32_t) {
    Dialog* d = find_dialog(window);
    if (d == nullptr) return false;
    d->invalid = true;
    // The toolkit erases whatever it repaints, so the erase flag is implied.
    if (rect == nullptr) {
        d->area->update();
    } else {
        const int32_t s = d->scale;
        d->area->update(QRect(rect->left * s, rect->top * s, (rect->right - rect->left) * s,
                              (rect->bottom - rect->top) * s));
    }
    return true;
}

bool DesktopPlatform::update_window(WindowHandle window) {
    Dialog* d = find_dialog(window);
    if (d == nullptr) return false;
    // A hidden widget is painted when it is shown.
    if (d->invalid && d->area->isVisible()) d->area->repaint();
    return true;
}

uint32_t DesktopPlatform::tick_count() {
    // The steady clock counts from the machine's start on this system.
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
