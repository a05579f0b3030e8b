#include "ui/codeedit.h"

#include "syntax/snippethighlighter.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>

CodeEdit::CodeEdit(QWidget *parent)
    : QTextEdit(parent)
{
    setAcceptRichText(false);
    // The desktop's font for code, until the user picks one.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    updateTabStop();
}

QMimeData *CodeEdit::createMimeDataFromSelection() const
{
    // QTextEdit would add HTML, which a word processor or a mail pastes in
    // the editor's font; the plain text is also taken raw, so that no-break
    // spaces stay what they are.
    QString text = textCursor().selectedText();
    for (QChar &c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    }
    auto *data = new QMimeData;
    data->setText(text);
    return data;
}

void CodeEdit::changeEvent(QEvent *event)
{
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateTabStop();
}

void CodeEdit::updateTabStop()
{
    setTabStopDistance(4 * QFontMetricsF(font()).horizontalAdvance(QLatin1Char(' ')));
}

namespace {

// The first and last block on screen.
std::pair<int, int> visibleBlocks(const QTextEdit *editor)
{
    // Walked up from the bottom: below the laid-out part of a text the editor
    // lays out lazily, a hit test finds nothing useful.
    const QTextBlock last =
        editor->cursorForPosition(editor->viewport()->rect().bottomRight()).block();
    const int top = editor->verticalScrollBar()->value();
    QAbstractTextDocumentLayout *layout = editor->document()->documentLayout();
    // No more blocks than lines fit: while the layout grows, the scroll bar
    // can lag behind what is shown.
    int fit = editor->viewport()->height() / std::max(editor->fontMetrics().lineSpacing(), 1) + 1;
    QTextBlock first = last;
    while (first.previous().isValid() && fit-- > 0
           && layout->blockBoundingRect(first.previous()).bottom() >= top)
        first = first.previous();
    return {first.blockNumber(), last.blockNumber()};
}

// Tells the highlighter when other blocks come on screen and when the
// palette changes.
class HighlightFollower : public QObject
{
public:
    HighlightFollower(QTextEdit *editor, SnippetHighlighter *highlighter)
        : QObject(highlighter), m_editor(editor), m_highlighter(highlighter)
    {
        editor->installEventFilter(this);
        connect(editor->verticalScrollBar(), &QScrollBar::valueChanged, highlighter,
                &SnippetHighlighter::restyleVisible);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_editor) {
            if (event->type() == QEvent::PaletteChange)
                m_highlighter->refreshColours(m_editor->palette());
            else if (event->type() == QEvent::Resize || event->type() == QEvent::Show)
                m_highlighter->restyleVisible();
        }
        return false;
    }

private:
    QTextEdit *m_editor;
    SnippetHighlighter *m_highlighter;
};

} // namespace

SnippetHighlighter *attachHighlighter(QTextEdit *editor)
{
    auto *highlighter = new SnippetHighlighter(
        editor->document(), [editor] { return visibleBlocks(editor); }, editor);
    highlighter->refreshColours(editor->palette());
    new HighlightFollower(editor, highlighter);
    return highlighter;
}
