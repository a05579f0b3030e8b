#include "ui/snippetfields.h"

#include <QLineEdit>
#include <QTextDocument>
#include <QTextEdit>
#include <QVariant>

namespace {

// QTextDocument turns every carriage return into a paragraph break, so a body
// with Windows line breaks is shown with plain ones and gets its carriage
// returns back when it is saved.
const char crlfProperty[] = "quilloryCrlfBody";

bool usesCrlfThroughout(const QString &body)
{
    const qsizetype pairs = body.count(QLatin1String("\r\n"));
    return pairs > 0 && pairs == body.count(QLatin1Char('\n'))
        && pairs == body.count(QLatin1Char('\r'));
}

} // namespace

namespace SnippetFields {

void show(QLineEdit *synopsis, QTextEdit *body, const SnippetText &text)
{
    // The default limit would cut a long first line, and the next save would
    // then shorten the stored synopsis.
    if (text.synopsis.size() > synopsis->maxLength())
        synopsis->setMaxLength(int(qMin<qsizetype>(text.synopsis.size(), INT_MAX)));
    synopsis->setText(text.synopsis);

    const bool crlf = usesCrlfThroughout(text.body);
    body->setProperty(crlfProperty, crlf);
    if (crlf)
        body->setPlainText(QString(text.body).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    else
        body->setPlainText(text.body);
}

void clear(QLineEdit *synopsis, QTextEdit *body)
{
    body->setProperty(crlfProperty, false);
    body->clear();
    synopsis->clear();
}

SnippetText current(const QLineEdit *synopsis, const QTextEdit *body)
{
    // toPlainText() would also turn no-break spaces into plain ones.
    QString text = body->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    if (body->property(crlfProperty).toBool())
        text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return {synopsis->text(), text};
}

} // namespace SnippetFields
