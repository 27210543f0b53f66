// The multi-line edit control.
#include "platform/desktop/text_box.h"

#include <QMimeData>
#include <QResizeEvent>
#include <QTextDocument>

namespace {

constexpr char16_t zero_width_space = 0x200B;

QString without_breaks(QString text) { return text.remove(QChar(zero_width_space)); }

}  // namespace

QString with_address_breaks(const QString& text, const QFontMetricsF& metrics, qreal line_width) {
    QString out;
    out.reserve(text.size() + text.size() / 8);
    qsizetype word_start = 0;
    while (word_start < text.size()) {
        qsizetype word_end = word_start;
        while (word_end < text.size() && !text.at(word_end).isSpace()) ++word_end;
        const QString word = text.mid(word_start, word_end - word_start);
        const bool too_wide = metrics.horizontalAdvance(word) > line_width;
        for (qsizetype i = 0; i < word.size(); ++i) {
            const QChar c = word.at(i);
            const bool punctuation = c == QLatin1Char('.') || c == QLatin1Char('@') || c == QLatin1Char('/');
            if (too_wide && punctuation && i > 0 && i + 1 < word.size() && word.at(i - 1).isLetterOrNumber() &&
                word.at(i + 1).isLetter())
                out += QChar(zero_width_space);
            out += c;
        }
        // The white space after the word, kept as it is.
        while (word_end < text.size() && text.at(word_end).isSpace()) out += text.at(word_end++);
        word_start = word_end;
    }
    return out;
}

TextBox::TextBox(QWidget* parent) : QTextEdit(parent) {}

void TextBox::set_text(const QString& text) {
    set_ = text;
    show_set_text();
}

void TextBox::show_set_text() {
    const qreal margins = 2 * document()->documentMargin();
    wrapped_width_ = viewport()->width();
    const QFontMetricsF metrics(font());
    setPlainText(with_address_breaks(set_, metrics, wrapped_width_ - margins));  // also clears the modified flag
}

void TextBox::resizeEvent(QResizeEvent* event) {
    QTextEdit::resizeEvent(event);
    // Text the user has typed stays as typed; set text is broken anew.
    if (viewport()->width() != wrapped_width_ && !document()->isModified()) show_set_text();
}

QString TextBox::text() const { return document()->isModified() ? without_breaks(toPlainText()) : set_; }

QMimeData* TextBox::createMimeDataFromSelection() const {
    QMimeData* data = QTextEdit::createMimeDataFromSelection();
    if (data != nullptr && data->hasText()) data->setText(without_breaks(data->text()));
    return data;
}
