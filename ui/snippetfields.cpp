#include "ui/snippetfields.h"

#include <QLineEdit>
#include <QTextDocument>
#include <QTextEdit>
#include <QVariant>

#include <algorithm>

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

// Besides CR LF, QTextDocument also breaks the paragraph at a lone carriage
// return, at U+2029 and at its two frame markers; each comes back as a line
// feed. A body holding any of them is kept as loaded, and a save of the
// unchanged field writes it back instead of the document's version.
const char loadedBodyProperty[] = "quilloryLoadedBody";

bool isDocumentBreak(QChar c)
{
    return c == QLatin1Char('\r') || c == QChar::ParagraphSeparator || c.unicode() == 0xFDD0
        || c.unicode() == 0xFDD1;
}

bool survivesTheDocument(const QString &body)
{
    return std::none_of(body.cbegin(), body.cend(), isDocumentBreak);
}

QString asTheDocumentShowsIt(QString body)
{
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    for (QChar &c : body) {
        if (isDocumentBreak(c))
            c = QLatin1Char('\n');
    }
    return body;
}

// A line edit lays out all of its text, at some 70 bytes a character: a
// first line of many megabytes (a file of NUL bytes, a minified script) would
// take all the memory there is. Such a line shows its beginning, read-only,
// and is saved back whole.
constexpr qsizetype longestEditableSynopsis = 1024 * 1024;
constexpr qsizetype shownOfALongerSynopsis = 32767; // QLineEdit's own default limit
const char wholeSynopsisProperty[] = "quilloryWholeSynopsis";

} // namespace

namespace SnippetFields {

void show(QLineEdit *synopsis, QTextEdit *body, const SnippetText &text)
{
    const bool editable = text.synopsis.size() <= longestEditableSynopsis;
    const QString shown = editable ? text.synopsis : text.synopsis.left(shownOfALongerSynopsis);
    synopsis->setProperty(wholeSynopsisProperty, editable ? QVariant() : QVariant(text.synopsis));
    synopsis->setReadOnly(!editable);
    // The default limit would cut a long first line, and the next save would
    // then shorten the stored synopsis.
    if (shown.size() > synopsis->maxLength())
        synopsis->setMaxLength(int(shown.size()));
    synopsis->setText(shown);

    const bool crlf = usesCrlfThroughout(text.body);
    body->setProperty(crlfProperty, crlf);
    // Only the rare body that the document would change is kept twice.
    body->setProperty(loadedBodyProperty,
                      survivesTheDocument(text.body) ? QVariant() : QVariant(text.body));
    if (crlf)
        body->setPlainText(QString(text.body).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    else
        body->setPlainText(text.body);
}

void clear(QLineEdit *synopsis, QTextEdit *body)
{
    body->setProperty(crlfProperty, false);
    body->setProperty(loadedBodyProperty, QVariant());
    body->clear();
    synopsis->setProperty(wholeSynopsisProperty, QVariant());
    synopsis->setReadOnly(false);
    synopsis->clear();
}

SnippetText current(const QLineEdit *synopsis, const QTextEdit *body)
{
    QString firstLine = synopsis->text();
    const QVariant whole = synopsis->property(wholeSynopsisProperty);
    if (whole.isValid() && firstLine == whole.toString().left(shownOfALongerSynopsis))
        firstLine = whole.toString();

    // toPlainText() would also turn no-break spaces into plain ones.
    QString text = body->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    const QVariant loaded = body->property(loadedBodyProperty);
    if (loaded.isValid()) {
        QString original = loaded.toString();
        if (asTheDocumentShowsIt(original) == text)
            return {firstLine, original};
    }
    if (body->property(crlfProperty).toBool())
        text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return {firstLine, text};
}

} // namespace SnippetFields
