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

QWidget* make_control(const DialogControl& control, QWidget* parent) {
    const DialogControlTemplate& c = control.layout;
    const QString text = QString::fromStdU16String(control.text);
    const bool framed = (c.style & style_border) != 0 ||
                        (c.extended_style & (extended_style_client_edge | extended_style_static_edge)) != 0;
    switch (control.control_class) {
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
                edit->setMaxLength(control.text_limit);
                return edit;
            }
        case control_class_static:
            return new QLabel(text, parent);
        default:
            return new QWidget(parent);
    }
}
