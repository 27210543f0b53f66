// The multi-line edit control.
#include "platform/desktop/text_box.h"

#include <QMimeData>
#include <QTextDocument>

namespace {

constexpr char16_t zero_width_space = 0x200B;

QString without_breaks(QString text) { return text.remove(QChar(zero_width_space)); }

}  // namespace

QString with_address_breaks(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool punctuation = c == QLatin1Char('.') || c == QLatin1Char('@') || c == QLatin1Char('/');
        if (punctuation && i > 0 && i + 1 < text.size() && text.at(i - 1).isLetterOrNumber() &&
            text.at(i + 1).isLetter())
            out += QChar(zero_width_space);
        out += c;
    }
    return out;
}

TextBox::TextBox(QWidget* parent) : QTextEdit(parent) {}

void TextBox::set_text(const QString& text) {
    set_ = text;
    setPlainText(with_address_breaks(text));  // also clears the modified flag
}

QString TextBox::text() const { return document()->isModified() ? without_breaks(toPlainText()) : set_; }

QMimeData* TextBox::createMimeDataFromSelection() const {
    QMimeData* data = QTextEdit::createMimeDataFromSelection();
    if (data != nullptr && data->hasText()) data->setText(without_breaks(data->text()));
    return data;
}
