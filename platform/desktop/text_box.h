// A multi-line edit control. It wraps at word boundaries and, inside a
// long address (www.marivue.example.org, photos@marivue.example.org), at
// its punctuation, which the toolkit's line breaking would keep whole and
// then cut anywhere once it no longer fits. The extra break opportunities
// are zero-width spaces in the shown text only: text() and copies to the
// clipboard give the text without them.
#pragma once

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

private:
    QString set_;
};

// `text` with a zero-width space before each dot, at sign and slash that
// stands between a letter or digit and a letter.
QString with_address_breaks(const QString& text);
