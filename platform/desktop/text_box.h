// A multi-line edit control. It wraps at word boundaries and, inside an
// address too long for a line of its own (www.marivue.example.org in a
// narrow box), at its punctuation, where the toolkit's line breaking would
// cut it anywhere. The extra break opportunities are zero-width spaces in
// the shown text only, placed again when the box changes width: text() and
// copies to the clipboard give the text without them.
#pragma once

#include <QFontMetricsF>
#include <QString>
#include <QTextEdit>

class QMimeData;

class TextBox : public QTextEdit {
public:
    explicit TextBox(QWidget* parent);

    void set_text(const QString& text);
    // The text as set, or as the user has edited it since.
    QString text() const;

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void show_set_text();

    QString set_;
    int wrapped_width_ = -1;  // the line width the shown text was prepared for
};

// `text` with a zero-width space before each dot, at sign and slash that
// stands between a letter or digit and a letter, in the words wider than
// `line_width` pixels of `metrics`' font.
QString with_address_breaks(const QString& text, const QFontMetricsF& metrics, qreal line_width);
