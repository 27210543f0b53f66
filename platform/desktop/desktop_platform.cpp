// The desktop front end's dialogs: built from their template as Qt
// widgets, run in their own event loop, and their messages delivered to the
// dialog procedure.
#include "platform/desktop/desktop_platform.h"

#include "platform/command_line.h"
#include "platform/desktop/desktop_dialog.h"
#include "platform/desktop/desktop_icon.h"
#include "platform/desktop/dialog_area.h"
#include "platform/desktop/dialog_units.h"
#include "platform/desktop/dialog_widgets.h"
#include "platform/desktop/text_box.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

DesktopPlatform::DesktopPlatform(int32_t scale)
    : SurfacePlatform(0, 0), scale_(std::clamp(scale, 0, command_line_scale_maximum)) {}

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

QRectF DesktopPlatform::picture_rect(WindowHandle dialog) const {
    Dialog* d = find_dialog(dialog);
    return d == nullptr ? QRectF() : d->picture_rect();
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

intptr_t DesktopPlatform::deliver_command(Dialog& dialog, uint16_t control_id, uint16_t notification, intptr_t source) {
    if (dialog.ended || dialog.procedure == nullptr) return 0;
    return dialog.procedure(*this, dialog.handle, message_command, make_command(control_id, notification), source);
}

void DesktopPlatform::connect_widgets(Dialog& d) {
    ShellWindow* window = d.window.get();
    DialogArea* area = d.area;
    QObject::connect(window, &ShellWindow::close_requested, window,
                     [this, &d] { deliver_command(d, command_ok, button_clicked, 0); });
    QObject::connect(window, &ShellWindow::action_requested, window,
                     [this, &d](ViewerAction action) { perform(d, action); });
    QObject::connect(window, &ShellWindow::focus_changed, window, [this, &d](QObject* widget, bool gained) {
        const Dialog::Control* control = d.control_by_widget(widget);
        if (control == nullptr || control->layout.class_ordinal != control_class_edit) return;
        deliver_command(d, control->layout.id, gained ? edit_set_focus : edit_kill_focus,
                        static_cast<intptr_t>(control->handle));
    });
    QObject::connect(area, &DialogArea::paint_requested, window, [this, &d](const QRect& rect) {
        d.paint_rect = rect;
        deliver_paint(d);
    });
    QObject::connect(area, &DialogArea::resized, window, [this, &d] { place_controls(d); });
    QObject::connect(area, &DialogArea::wheel_turned, window, [this, &d](int notches) {
        // A step for every notch, until one ends the dialog.
        const ViewerAction step = viewer_action(notches < 0 ? ViewerKey::WheelDown : ViewerKey::WheelUp, false);
        for (int left = std::abs(notches); left > 0 && !d.ended; --left) perform(d, step);
    });
    QObject::connect(area, &DialogArea::picture_double_clicked, window,
                     [this, &d] { perform(d, ViewerAction::FullScreen); });
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

    d.window = std::make_unique<ShellWindow>();
    ShellWindow& window = *d.window;
    window.setWindowTitle(QString::fromStdU16String(d.layout.caption));
    window.setWindowIcon(icon_from_resources(111));
    d.units = dialog_units_of(window.font());

    d.area = new DialogArea(&window);
    connect_widgets(d);
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(d.area);
    d.done = new QPushButton(QStringLiteral("ok"), d.area);
    d.done->setFocusPolicy(Qt::NoFocus);
    d.done->setAutoDefault(false);
    d.done->setToolTip(QStringLiteral("Close the viewer (Escape)"));
    d.done->hide();  // until the shell is asked for it
    QObject::connect(d.done, &QPushButton::clicked, &window,
                     [this, &d] { deliver_command(d, command_ok, button_clicked, 0); });

    for (const DialogControlTemplate& c : d.layout.controls) {
        QWidget* widget = make_control(c, d.area);
        widget->setVisible((c.style & style_visible) != 0);
        widget->setEnabled((c.style & style_disabled) == 0);
        widget->setFocusPolicy((c.style & style_tab_stop) ? Qt::StrongFocus : Qt::ClickFocus);
        d.controls.push_back(Dialog::Control{c, WindowHandle{new_handle()}, widget, desktop_default_text_limit});
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
        } else if (auto* text = dynamic_cast<TextBox*>(c.widget)) {
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
        window.setMinimumSize(smallest_dialog_size(d.layout, d.units, d.with_done));
        window.resize(first_window_size(d));
        place_controls(d);
        window.show();
        window.activateWindow();
        if (set_default_focus != 0 && first_tab_stop != nullptr) first_tab_stop->widget->setFocus(Qt::OtherFocusReason);
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
    d.window->dialog_ended();
    d.window->hide();
    forget_window_contexts(d.handle);
    dialogs_.erase(static_cast<uintptr_t>(d.handle));
    note_dialog_result(result);
    return result;
}

bool DesktopPlatform::end_dialog(WindowHandle dialog, intptr_t result) {
    Dialog* d = find_dialog(dialog);
    if (d == nullptr || d->ended) return false;
    d->ended = true;
    d->window->dialog_ended();
    d->result = result;
    if (d->loop != nullptr) d->loop->quit();
    return true;
}

bool DesktopPlatform::shell_init_dialog(const ShellDialogInit& request) {
    Dialog* d = find_dialog(request.window);
    if (d == nullptr || !(request.mask & shell_init_mask_flags)) return false;
    d->with_done = (request.flags & shell_init_done_button) != 0;
    d->done->setVisible(d->with_done);
    place_controls(*d);
    // The dialog already fills the window, and there is no menu bar to hide.
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

QSize DesktopPlatform::first_window_size(const Dialog& d) const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize available = screen == nullptr ? QSize(800, 600) : screen->availableSize();
    // Room for the window manager's frame and title bar.
    const QSize room = available - QSize(16, 64);
    const int32_t picture = template_picture_size(d.layout).height();
    int32_t height = scale_ > 0 ? picture * scale_ : available.height() / 3;
    QSize size = dialog_size_for_picture(d.layout, d.units, height, d.with_done);
    while (height > picture && (size.width() > room.width() || size.height() > room.height())) {
        height -= std::max(1, height / 20);
        size = dialog_size_for_picture(d.layout, d.units, height, d.with_done);
    }
    return size;
}

void DesktopPlatform::place_controls(Dialog& d) {
    d.placed = layout_dialog(d.layout, d.units, d.area->size(), d.with_done);
    d.area->set_picture_area(d.placed.picture_area);
    for (size_t i = 0; i < d.controls.size() && i < d.placed.controls.size(); ++i)
        d.controls[i].widget->setGeometry(d.placed.controls[i]);
    d.done->setGeometry(d.placed.done);
    d.area->update();
}

void DesktopPlatform::perform(Dialog& d, ViewerAction action) {
    const auto press = [this, &d](QPushButton* button) {
        const Dialog::Control* control = d.control_by_widget(button);
        if (control != nullptr && button->isEnabled())
            deliver_command(d, control->layout.id, button_clicked, static_cast<intptr_t>(control->handle));
    };
    QWidget* search = nullptr;
    for (const Dialog::Control& c : d.controls)
        if (search == nullptr && dynamic_cast<QLineEdit*>(c.widget) != nullptr && c.widget->isEnabled())
            search = c.widget;
    switch (action) {
        case ViewerAction::Forward:
            press(d.forward_button);
            break;
        case ViewerAction::Back:
            press(d.back_button);
            break;
        case ViewerAction::First:
            deliver_command(d, command_first_picture, button_clicked, 0);
            break;
        case ViewerAction::Last:
            deliver_command(d, command_last_picture, button_clicked, 0);
            break;
        case ViewerAction::Search:
            if (search != nullptr) search->setFocus(Qt::ShortcutFocusReason);
            break;
        case ViewerAction::LeaveSearch:
            // The picture takes the focus; the box keeps its text.
            d.area->setFocus(Qt::ShortcutFocusReason);
            break;
        case ViewerAction::Quit:
            deliver_command(d, command_ok, button_clicked, 0);
            break;
        case ViewerAction::FullScreen:
            if (d.window->isFullScreen())
                d.window->showNormal();
            else
                d.window->showFullScreen();
            break;
        case ViewerAction::None:
            break;
    }
}
