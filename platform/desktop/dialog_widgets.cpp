// The widgets a dialog template becomes.
#include "platform/desktop/dialog_widgets.h"

#include "platform/desktop/text_box.h"
#include "platform/platform.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QValidator>
#include <QWidget>

namespace {

// Refuses an edit that would leave half a character: the toolkit cuts what
// is typed at the length limit in UTF-16 units, even between the halves of
// a surrogate pair.
class WholeCharacters : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (qsizetype i = 0; i < input.size(); ++i) {
            if (input.at(i).isHighSurrogate() && i + 1 < input.size() && input.at(i + 1).isLowSurrogate())
                ++i;
            else if (input.at(i).isSurrogate())
                return Invalid;
        }
        return Acceptable;
    }
};

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
                edit->setValidator(new WholeCharacters(edit));
                return edit;
            }
        case control_class_static:
            return new QLabel(text, parent);
        default:
            return new QWidget(parent);
    }
}
