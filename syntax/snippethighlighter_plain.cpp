#include "syntax/snippethighlighter.h"

#include <QTextEdit>

// Built without the grammars: the body stays plain text.

struct SnippetHighlighter::Private
{
    QString language;
};

SnippetHighlighter::SnippetHighlighter(QTextEdit *editor)
    : QSyntaxHighlighter(static_cast<QObject *>(nullptr))
    , d(std::make_unique<Private>())
{
    setParent(editor);
}

SnippetHighlighter::~SnippetHighlighter() = default;

void SnippetHighlighter::setLanguage(const QString &language)
{
    d->language = language;
}

QString SnippetHighlighter::language() const
{
    return d->language;
}

bool SnippetHighlighter::isReady() const
{
    return false;
}

void SnippetHighlighter::prepare(const QStringList &) {}

QStringList SnippetHighlighter::languages()
{
    return {};
}

void SnippetHighlighter::textChanged(int, int, int) {}
void SnippetHighlighter::catchUp() {}
void SnippetHighlighter::restyle(bool) {}
void SnippetHighlighter::highlightBlock(const QString &) {}

bool SnippetHighlighter::eventFilter(QObject *watched, QEvent *event)
{
    return QSyntaxHighlighter::eventFilter(watched, event);
}
