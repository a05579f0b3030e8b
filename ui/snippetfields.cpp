#include "ui/snippetfields.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

namespace {

bool usesCrlfThroughout(const QString &body)
{
    const qsizetype pairs = body.count(QLatin1String("\r\n"));
    return pairs > 0 && pairs == body.count(QLatin1Char('\n'))
        && pairs == body.count(QLatin1Char('\r'));
}

// Besides CR LF, QTextDocument also breaks the paragraph at a lone carriage
// return, at U+2029 and at its two frame markers; each comes back as a line
// feed.
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
// take all the memory there is. Such a line shows its beginning, read-only.
constexpr qsizetype longestEditableSynopsis = 1024 * 1024;
constexpr qsizetype shownOfALongerSynopsis = 32767; // QLineEdit's own default limit

qsizetype documentLines(const QString &body)
{
    qsizetype lines = 1;
    const qsizetype size = body.size();
    const QChar *text = body.constData();
    for (qsizetype i = 0; i < size; ++i) {
        // A carriage return before a line feed is part of that one break.
        if (text[i] == QLatin1Char('\n')
            || (isDocumentBreak(text[i]) && !(i + 1 < size && text[i + 1] == QLatin1Char('\n'))))
            ++lines;
    }
    return lines;
}

} // namespace

SnippetFields::SnippetFields(QLineEdit *synopsis, QTextEdit *body)
    : m_synopsis(synopsis)
    , m_body(body)
{
}

QString SnippetFields::whyNotEditable(const SnippetText &text)
{
    const qsizetype lines = documentLines(text.body);
    if (lines <= mostLines)
        return QString();
    return QCoreApplication::translate("SnippetFields",
                                       "it has %1 lines, more than the %2 the editor can take "
                                       "without holding the window up")
        .arg(lines)
        .arg(mostLines);
}

void SnippetFields::show(const SnippetText &text)
{
    setEditable(true);
    const bool editable = text.synopsis.size() <= longestEditableSynopsis;
    const QString shown = editable ? text.synopsis : text.synopsis.left(shownOfALongerSynopsis);
    m_wholeSynopsis = editable ? std::nullopt : std::optional(text.synopsis);
    m_synopsis->setReadOnly(!editable);
    // The default limit would cut a long first line, and the next save would
    // then shorten the stored synopsis.
    if (shown.size() > m_synopsis->maxLength())
        m_synopsis->setMaxLength(int(shown.size()));
    m_synopsis->setText(shown);

    m_crlfBody = usesCrlfThroughout(text.body);
    // Only the rare body that the document would change is kept twice.
    m_bodyAsRead = survivesTheDocument(text.body) ? std::nullopt : std::optional(text.body);
    if (m_crlfBody)
        m_body->setPlainText(QString(text.body).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    else
        m_body->setPlainText(text.body);
    m_bodySavedEdited = false;
    setUnmodified();
}

void SnippetFields::clear()
{
    m_crlfBody = false;
    m_bodyAsRead.reset();
    m_body->clear();
    m_wholeSynopsis.reset();
    m_synopsis->clear();
    m_bodySavedEdited = false;
    setUnmodified();
    setEditable(true);
}

void SnippetFields::showUnloadable(const QString &reason)
{
    clear();
    setEditable(false);
    m_body->setPlaceholderText(reason);
}

void SnippetFields::setEditable(bool editable)
{
    m_synopsis->setReadOnly(!editable);
    m_body->setReadOnly(!editable);
    m_body->setPlaceholderText(QString());
}

SnippetText SnippetFields::textToSave()
{
    // Pasted text brings its line breaks along; a file holds one synopsis line.
    if (m_synopsis->isModified()) {
        QString line = m_synopsis->text();
        line.replace(QLatin1String("\r\n"), QLatin1String(" "));
        for (QChar &c : line) {
            if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator
                || c == QChar::ParagraphSeparator)
                c = QLatin1Char(' ');
        }
        if (line != m_synopsis->text()) {
            m_synopsis->setText(line);
            // setText() clears the flag, and the save may yet fail.
            m_synopsis->setModified(true);
        }
    }
    return current();
}

bool SnippetFields::isModified() const
{
    return m_synopsis->isModified() || m_body->document()->isModified();
}

void SnippetFields::setUnmodified()
{
    m_synopsis->setModified(false);
    m_body->document()->setModified(false);
}

void SnippetFields::markSaved()
{
    m_bodySavedEdited = m_bodySavedEdited || m_body->document()->isModified();
    setUnmodified();
}

SnippetText SnippetFields::current() const
{
    return {currentSynopsis(), currentBody()};
}

QString SnippetFields::currentSynopsis() const
{
    const QString shown = m_synopsis->text();
    if (m_wholeSynopsis && shown == m_wholeSynopsis->left(shownOfALongerSynopsis))
        return *m_wholeSynopsis;
    return shown;
}

QString SnippetFields::currentBody() const
{
    // toPlainText() would also turn no-break spaces into plain ones.
    QString text = m_body->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    if (m_bodyAsRead && asTheDocumentShowsIt(*m_bodyAsRead) == text)
        return *m_bodyAsRead;
    // Shift+Enter types U+2028. Compilers, grep and diff would see one line
    // holding a stray character, so an edited body gets a real line break;
    // one that came from the file untouched keeps its own.
    if (m_body->document()->isModified() || m_bodySavedEdited)
        text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    if (m_crlfBody)
        text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}
