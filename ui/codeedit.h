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

protected:
    QMimeData *createMimeDataFromSelection() const override;
    void changeEvent(QEvent *event) override;

private:
    void updateTabStop();
};

// A highlighter for `editor`'s text, its child, that colours what scrolls
// into view and follows the editor's palette.
SnippetHighlighter *attachHighlighter(QTextEdit *editor);
