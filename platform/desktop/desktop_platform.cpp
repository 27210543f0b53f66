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

DesktopPlatform::DesktopPlatform(int32_t scale) : scale_(std::clamp(scale, 0, command_line_scale_maximum)) {}

DesktopPlatform::~DesktopPlatform() {
    for (auto& entry : dialogs_) entry.second->model->end_with(-1);
    dialogs_.clear();
}

void DesktopPlatform::adopt_application(std::unique_ptr<QApplication> application) {
    application_ = std::move(application);
}

DesktopPlatform::Dialog* DesktopPlatform::find_dialog(WindowHandle window) const {
    auto it = dialogs_.find(static_cast<uintptr_t>(window));
    return it == dialogs_.end() ? nullptr : it->second.get();
}

DialogModel* DesktopPlatform::dialog_model(WindowHandle window) {
    Dialog* d = find_dialog(window);
    return d == nullptr ? nullptr : d->model.get();
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
    return d == nullptr ? nullptr : d->widget_of(control_id);
}

QWidget* DesktopPlatform::done_button(WindowHandle dialog) const {
    Dialog* d = find_dialog(dialog);
    return d == nullptr ? nullptr : d->done;
}

QRectF DesktopPlatform::picture_rect(WindowHandle dialog) const {
    Dialog* d = find_dialog(dialog);
    return d == nullptr ? QRectF() : d->picture_rect();
}

intptr_t DesktopPlatform::send_command(WindowHandle dialog, uint16_t control_id, uint16_t notification) {
    Dialog* d = find_dialog(dialog);
    return d == nullptr ? 0 : d->model->notify(control_id, notification);
}

void DesktopPlatform::connect_widgets(Dialog& d) {
    ShellWindow* window = d.window.get();
    DialogArea* area = d.area;
    DialogModel& model = *d.model;
    QObject::connect(window, &ShellWindow::close_requested, window,
                     [&model] { model.notify(command_ok, button_clicked); });
    QObject::connect(window, &ShellWindow::action_requested, window,
                     [this, &d](ViewerAction action) { perform(d, action); });
    QObject::connect(window, &ShellWindow::focus_changed, window, [&d, &model](QObject* widget, bool gained) {
        const DialogControl* control = d.control_of(widget);
        if (control == nullptr) return;
        if (gained)
            model.set_focus(control->layout.id);
        else if (model.focus() == control->layout.id)
            model.set_focus(-1);
    });
    QObject::connect(area, &DialogArea::paint_requested, window, [this, &d] { paint(d); });
    QObject::connect(area, &DialogArea::resized, window, [this, &d] { place_controls(d); });
    QObject::connect(area, &DialogArea::wheel_turned, window, [this, &d](int notches) {
        // A step for every notch, until one ends the dialog.
        const ViewerAction step = viewer_action(notches < 0 ? ViewerKey::WheelDown : ViewerKey::WheelUp, false);
        for (int left = std::abs(notches); left > 0 && d.model->open(); --left) perform(d, step);
    });
    QObject::connect(area, &DialogArea::picture_double_clicked, window,
                     [this, &d] { perform(d, ViewerAction::FullScreen); });
    QObject::connect(d.done, &QPushButton::clicked, window, [&model] { model.notify(command_ok, button_clicked); });
}

// The user's clicks and edits, turned into the model's notifications.
void DesktopPlatform::connect_controls(Dialog& d) {
    DialogModel& model = *d.model;
    for (size_t i = 0; i < d.widgets.size(); ++i) {
        const uint16_t id = model.controls()[i].layout.id;
        if (auto* button = dynamic_cast<QPushButton*>(d.widgets[i])) {
            QObject::connect(button, &QPushButton::clicked, d.window.get(),
                             [&model, id] { model.notify(id, button_clicked); });
        } else if (auto* line = dynamic_cast<QLineEdit*>(d.widgets[i])) {
            QObject::connect(line, &QLineEdit::textEdited, d.window.get(), [&model, line, id](const QString& text) {
                model.edited(id, text.toStdU16String());
                // Text set by the program may exceed the limit; as the user
                // shortens it, the room shrinks back to the limit.
                line->setMaxLength(model.typing_room(id));
            });
        } else if (auto* box = dynamic_cast<TextBox*>(d.widgets[i])) {
            QObject::connect(box, &QTextEdit::textChanged, d.window.get(), [&d, box, id] {
                if (d.setting_text) return;
                d.model->edited(id, box->text().replace(QLatin1String("\n"), QLatin1String("\r\n")).toStdU16String());
            });
        }
    }
}

intptr_t DesktopPlatform::dialog_box_indirect(ModuleHandle, const uint8_t* template_bytes, uint32_t template_size,
                                              WindowHandle, DialogProcedure procedure, intptr_t init_argument) {
    auto owned = std::make_unique<Dialog>();
    Dialog& d = *owned;
    d.model = DialogModel::from_template(*this, WindowHandle{next_handle_}, procedure, template_bytes, template_size);
    if (d.model == nullptr) return -1;
    // The dialog's handle and its controls' after it.
    next_handle_ += 1 + d.model->controls().size();
    const WindowHandle handle = d.model->handle();

    d.window = std::make_unique<ShellWindow>();
    ShellWindow& window = *d.window;
    window.setWindowTitle(QString::fromStdU16String(d.model->layout().caption));
    window.setWindowIcon(icon_from_resources(111));
    d.units = dialog_units_of(window.font());

    d.area = new DialogArea(&window);
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(d.area);
    d.done = new QPushButton(QStringLiteral("ok"), d.area);
    d.done->setFocusPolicy(Qt::NoFocus);
    d.done->setAutoDefault(false);
    d.done->setToolTip(QStringLiteral("Close the viewer (Escape)"));
    d.done->hide();  // until the shell is asked for it
    connect_widgets(d);

    for (const DialogControl& c : d.model->controls()) {
        QWidget* widget = make_control(c, d.area);
        widget->setVisible((c.layout.style & style_visible) != 0);
        widget->setEnabled((c.layout.style & style_disabled) == 0);
        widget->setFocusPolicy((c.layout.style & style_tab_stop) ? Qt::StrongFocus : Qt::ClickFocus);
        d.widgets.push_back(widget);
    }
    connect_controls(d);
    window.watch(&window);
    for (QWidget* child : window.findChildren<QWidget*>()) window.watch(child);

    dialogs_[static_cast<uintptr_t>(handle)] = std::move(owned);
    d.model->initialise(init_argument);

    if (d.model->open()) {
        window.setMinimumSize(smallest_dialog_size(d.model->layout(), d.units, d.model->has_done_button()));
        window.resize(first_window_size(d));
        place_controls(d);
        window.show();
        window.activateWindow();
        if (QWidget* focus = d.widget_of(d.model->focus())) focus->setFocus(Qt::OtherFocusReason);
        if (on_dialog_shown)
            QTimer::singleShot(0, &window, [this, &d, handle] {
                if (d.model->open() && on_dialog_shown) on_dialog_shown(*this, handle);
            });
        QEventLoop loop;
        d.loop = &loop;
        if (d.model->open()) loop.exec();
        d.loop = nullptr;
    }

    const intptr_t result = d.model->open() ? -1 : d.model->result();
    d.model->end_with(result);  // no more messages while the widgets go
    d.window->dialog_ended();
    d.window->hide();
    forget_window_contexts(handle);
    dialogs_.erase(static_cast<uintptr_t>(handle));
    note_dialog_result(result);
    return result;
}

bool DesktopPlatform::end_dialog(WindowHandle dialog, intptr_t result) {
    Dialog* d = find_dialog(dialog);
    if (!DialogPlatform::end_dialog(dialog, result)) return false;
    d->window->dialog_ended();
    if (d->loop != nullptr) d->loop->quit();
    return true;
}

bool DesktopPlatform::shell_init_dialog(const ShellDialogInit& request) {
    Dialog* d = find_dialog(request.window);
    if (!DialogPlatform::shell_init_dialog(request)) return false;
    d->done->setVisible(d->model->has_done_button());
    place_controls(*d);
    // The dialog already fills the window, and there is no menu bar to hide.
    if ((request.mask & shell_init_mask_flags) && (request.flags & shell_init_sip_down)) show_input_panel(0);
    return true;
}

QSize DesktopPlatform::first_window_size(const Dialog& d) const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize available = screen == nullptr ? QSize(800, 600) : screen->availableSize();
    // Room for the window manager's frame and title bar.
    const QSize room = available - QSize(16, 64);
    const DialogTemplate& layout = d.model->layout();
    const int32_t picture = template_picture_size(layout).height();
    int32_t height = scale_ > 0 ? picture * scale_ : available.height() / 3;
    QSize size = dialog_size_for_picture(layout, d.units, height, d.model->has_done_button());
    while (height > picture && (size.width() > room.width() || size.height() > room.height())) {
        height -= std::max(1, height / 20);
        size = dialog_size_for_picture(layout, d.units, height, d.model->has_done_button());
    }
    return size;
}

void DesktopPlatform::place_controls(Dialog& d) {
    d.placed = layout_dialog(d.model->layout(), d.units, d.area->size(), d.model->has_done_button());
    d.area->set_picture_area(d.placed.picture_area);
    for (size_t i = 0; i < d.widgets.size() && i < d.placed.controls.size(); ++i)
        d.widgets[i]->setGeometry(d.placed.controls[i]);
    d.done->setGeometry(d.placed.done);
    d.area->update();
}

void DesktopPlatform::perform(Dialog& d, ViewerAction action) {
    if (send_viewer_command(*d.model, action)) return;
    QWidget* search = nullptr;
    for (QWidget* widget : d.widgets)
        if (search == nullptr && dynamic_cast<QLineEdit*>(widget) != nullptr && widget->isEnabled()) search = widget;
    if (action == ViewerAction::Search && search != nullptr) search->setFocus(Qt::ShortcutFocusReason);
    // Leaving the search box: the picture takes the focus; the box keeps its text.
    if (action == ViewerAction::LeaveSearch) d.area->setFocus(Qt::ShortcutFocusReason);
    if (action == ViewerAction::FullScreen) {
        if (d.window->isFullScreen())
            d.window->showNormal();
        else
            d.window->showFullScreen();
    }
}
