#include "ui/codeedit.h"

#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMimeData>
#include <QTextCursor>

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
