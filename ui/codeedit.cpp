#include "ui/codeedit.h"

#include "syntax/snippethighlighter.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
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
    setFont(fixedWidthFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)));
    updateTabStop();
}

QFont CodeEdit::fixedWidthFont(const QFont &desktopFixed)
{
    if (hasFixedWidths(desktopFixed))
        return desktopFixed;
    const auto inFamily = [&desktopFixed](const QString &family) {
        QFont font = desktopFixed;
        font.setFamilies({family});
        font.setStyleHint(QFont::TypeWriter);
        return font;
    };
#ifdef Q_OS_WIN
    const QStringList preferred = {QStringLiteral("Consolas"), QStringLiteral("Courier New")};
#else
    const QStringList preferred = {QStringLiteral("DejaVu Sans Mono"),
                                   QStringLiteral("Noto Sans Mono"),
                                   QStringLiteral("Liberation Mono"), QStringLiteral("Monospace"),
                                   QStringLiteral("Courier New")};
#endif
    for (const QString &family : preferred) {
        const QFont font = inFamily(family);
        if (hasFixedWidths(font))
            return font;
    }
    // Any face that is fixed, those that say so first.
    QStringList families = QFontDatabase::families();
    std::stable_partition(families.begin(), families.end(),
                          [](const QString &family) { return QFontDatabase::isFixedPitch(family); });
    for (const QString &family : families) {
        const QFont font = inFamily(family);
        if (QFontInfo(font).family() == family && hasFixedWidths(font))
            return font;
    }
    return desktopFixed;
}

bool CodeEdit::hasFixedWidths(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const qreal width = metrics.horizontalAdvance(QLatin1Char('m'));
    for (const QChar c : QStringLiteral("iW.0_|"))
        if (qAbs(metrics.horizontalAdvance(c) - width) > 0.01)
            return false;
    return width > 0;
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
