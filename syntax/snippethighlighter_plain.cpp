#include "syntax/snippethighlighter.h"

#include <QTextDocument>

// Built without the grammars: the body stays plain text.

struct SnippetHighlighter::Private
{
    QString language;
};

SnippetHighlighter::SnippetHighlighter(QTextDocument *, VisibleBlocks, QObject *parent)
    : QSyntaxHighlighter(parent)
    , d(std::make_unique<Private>())
{
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

void SnippetHighlighter::restyleVisible() {}
void SnippetHighlighter::refreshColours(const QPalette &) {}

int SnippetHighlighter::handedToWorker() const
{
    return 0;
}

void SnippetHighlighter::setWindowBudgetForTesting(uint64_t) {}

void SnippetHighlighter::prepare(const QStringList &) {}

QStringList SnippetHighlighter::languages()
{
    return {};
}

void SnippetHighlighter::textChanged(int, int, int) {}
void SnippetHighlighter::catchUp() {}
void SnippetHighlighter::restyle() {}
void SnippetHighlighter::highlightBlock(const QString &) {}
