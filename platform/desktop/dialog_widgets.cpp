// The widgets a dialog template becomes.
#include "platform/desktop/dialog_widgets.h"

#include "platform/desktop/text_box.h"
#include "platform/platform.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace {

Qt::Alignment edit_alignment(uint32_t style) {
    if (style & edit_style_centre) return Qt::AlignHCenter;
    if (style & edit_style_right) return Qt::AlignRight;
    return Qt::AlignLeft;
}

}  // namespace

uint16_t control_class(const DialogControlTemplate& c) {
    if (c.class_ordinal != 0) return c.class_ordinal;
    const QString name = QString::fromStdU16String(c.class_name);
    if (name.compare(QLatin1String("button"), Qt::CaseInsensitive) == 0) return control_class_button;
    if (name.compare(QLatin1String("edit"), Qt::CaseInsensitive) == 0) return control_class_edit;
    if (name.compare(QLatin1String("static"), Qt::CaseInsensitive) == 0) return control_class_static;
    return 0;
}

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
                auto* edit = new TextBox(parent);
                edit->setAcceptRichText(false);
                edit->setReadOnly((c.style & edit_style_read_only) != 0);
                edit->setTabChangesFocus(true);
                QTextOption option = edit->document()->defaultTextOption();
                option.setAlignment(edit_alignment(c.style));
                option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
                edit->document()->setDefaultTextOption(option);
                edit->setLineWrapMode((c.style & style_horizontal_scroll) ? QTextEdit::NoWrap : QTextEdit::WidgetWidth);
                // The box grows with the window, so a scroll bar shows only
                // while the text needs one.
                edit->setVerticalScrollBarPolicy((c.style & style_vertical_scroll) ? Qt::ScrollBarAsNeeded
                                                                                   : Qt::ScrollBarAlwaysOff);
                edit->setHorizontalScrollBarPolicy((c.style & style_horizontal_scroll) ? Qt::ScrollBarAsNeeded
                                                                                       : Qt::ScrollBarAlwaysOff);
                if (!framed) edit->setFrameStyle(QFrame::NoFrame);
                edit->set_text(text);
                return edit;
            } else {
                auto* edit = new QLineEdit(text, parent);
                edit->setReadOnly((c.style & edit_style_read_only) != 0);
                edit->setAlignment(edit_alignment(c.style) | Qt::AlignVCenter);
                edit->setFrame(framed);
                edit->setMaxLength(desktop_default_text_limit);
                return edit;
            }
        case control_class_static:
            return new QLabel(text, parent);
        default:
            return new QWidget(parent);
    }
}
