// The desktop front end's controls: their texts and limits, kept by the
// dialog model and shown by the widgets, and the input panel.
#include "platform/desktop/desktop_platform.h"

#include "platform/desktop/desktop_dialog.h"
#include "platform/desktop/text_box.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

bool DesktopPlatform::set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) {
    Dialog* d = find_dialog(dialog);
    if (!DialogPlatform::set_control_text(dialog, control_id, text)) return false;
    QString value = QString::fromStdU16String(d->model->find_control(control_id)->text);
    QWidget* widget = d->widget_of(control_id);
    d->setting_text = true;
    if (auto* edit = dynamic_cast<TextBox*>(widget)) {
        value.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        edit->set_text(value);
    } else if (auto* line = dynamic_cast<QLineEdit*>(widget)) {
        // The program's text is not cut to the user's limit.
        line->setMaxLength(d->model->typing_room(control_id));
        line->setText(value);
    } else if (auto* button = dynamic_cast<QPushButton*>(widget)) {
        button->setText(value);
    } else if (auto* label = dynamic_cast<QLabel*>(widget)) {
        label->setText(value);
    }
    d->setting_text = false;
    return true;
}

bool DesktopPlatform::set_control_text_limit(WindowHandle dialog, int32_t control_id, int32_t limit) {
    Dialog* d = find_dialog(dialog);
    if (!DialogPlatform::set_control_text_limit(dialog, control_id, limit)) return false;
    if (auto* line = dynamic_cast<QLineEdit*>(d->widget_of(control_id)))
        line->setMaxLength(d->model->typing_room(control_id));
    return true;
}

bool DesktopPlatform::show_input_panel(int32_t show) {
    // The toolkit raises the system's on-screen keyboard where there is one;
    // the physical keyboard works either way.
    QInputMethod* input = QGuiApplication::inputMethod();
    if (show)
        input->show();
    else
        input->hide();
    input_panel_raised_ = show != 0;
    return true;
}
