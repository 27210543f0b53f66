// The desktop front end's controls: their texts and limits, and the input
// panel.
#include "platform/desktop/desktop_platform.h"

#include "platform/desktop/desktop_dialog.h"
#include "platform/desktop/dialog_widgets.h"
#include "platform/desktop/text_box.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace {

QString from_wide(const char16_t* text) { return text == nullptr ? QString() : QString::fromUtf16(text); }

}  // namespace

bool DesktopPlatform::set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) {
    Dialog* d = find_dialog(dialog);
    Dialog::Control* c = d == nullptr ? nullptr : d->control_by_id(control_id);
    if (c == nullptr) return false;
    QString value = from_wide(text);
    d->setting_text = true;
    if (auto* edit = dynamic_cast<TextBox*>(c->widget)) {
        value.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        edit->set_text(value);
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

int32_t DesktopPlatform::get_control_text(WindowHandle dialog, int32_t control_id, char16_t* buffer, int32_t limit) {
    if (buffer == nullptr || limit < 0) return 0;
    buffer[0] = 0;
    Dialog* d = find_dialog(dialog);
    Dialog::Control* c = d == nullptr ? nullptr : d->control_by_id(control_id);
    if (c == nullptr) return 0;
    QString value;
    if (auto* edit = dynamic_cast<TextBox*>(c->widget)) {
        value = edit->text();
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
    c->text_limit = limit > 0 ? limit : desktop_default_text_limit;
    if (auto* line = dynamic_cast<QLineEdit*>(c->widget))
        line->setMaxLength(std::max<int>(c->text_limit, static_cast<int>(line->text().size())));
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
