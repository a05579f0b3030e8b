#pragma once

#include <QTextEdit>

class SnippetHighlighter;

// The body editor: plain text in, plain text out. Pasted or dropped rich
// text arrives as its text only, copied text leaves without the editor's
// fonts and colours, and a tab is four spaces of the editor's font wide.
// No Q_OBJECT: it adds no signals, slots or properties, so it keeps
// QTextEdit's meta-object and class name.
class CodeEdit : public QTextEdit
{
public:
    explicit CodeEdit(QWidget *parent = nullptr);

    // `desktopFixed` where its glyphs are all one width; otherwise, at its
    // size, a fixed-width face that this system has. Some desktops (Wine's
    // among them) resolve their "fixed" font to a proportional face.
    static QFont fixedWidthFont(const QFont &desktopFixed);
    // Judged by glyph widths: some fixed faces do not declare themselves so.
    static bool hasFixedWidths(const QFont &font);

protected:
    QMimeData *createMimeDataFromSelection() const override;
    void changeEvent(QEvent *event) override;

private:
    void updateTabStop();
};

// A highlighter for `editor`'s text, its child, that colours what scrolls
// into view and follows the editor's palette.
SnippetHighlighter *attachHighlighter(QTextEdit *editor);
