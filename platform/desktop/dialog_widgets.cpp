// The widgets a dialog template becomes.
#include "platform/desktop/dialog_widgets.h"

#include "platform/desktop/dialog_units.h"
#include "platform/platform.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QWidget>

namespace {

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

}  // namespace

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
                edit->setMaxLength(desktop_default_text_limit);
                return edit;
            }
        case control_class_static:
            return new QLabel(text, parent);
        default:
            return new QWidget(parent);
    }
}

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
