#pragma once

#include "library/bytefilter.h"
#include "library/snippetfile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <utility>

// What the Find window types: plain words that must all occur somewhere in a
// snippet's name, synopsis or body, in any order. Smart case, as editors do:
// a query in lower case ignores case, one with a capital letter does not.
class SnippetQuery
{
public:
    explicit SnippetQuery(const QString &text);

    bool isEmpty() const { return m_words.isEmpty(); }
    const QStringList &words() const { return m_words; }
    Qt::CaseSensitivity caseSensitivity() const { return m_case; }

    // Better ranks sort first; None means some word occurs nowhere.
    enum class Rank { Name, Synopsis, Body, None };

    struct Match
    {
        Rank rank = Rank::None;
        // The first body line holding a word, and where the words stand in it.
        QString bodyLine;
        QList<std::pair<qsizetype, qsizetype>> highlights; // start, length
    };

    // False only when the raw file cannot match: an ASCII word that is in
    // neither the name nor the bytes of a file in UTF-8 or its 8-bit
    // fallback, where ASCII stands for itself. Saves decoding most files.
    bool mayMatch(QStringView name, const QByteArray &fileBytes) const;

    Match match(QStringView name, const SnippetText &text) const;

    // Where the words stand in `line`, sorted, overlaps merged.
    QList<std::pair<qsizetype, qsizetype>> highlightsIn(QStringView line) const;

private:
    bool occursIn(QStringView text, const QString &word) const;

    QStringList m_words;
    Qt::CaseSensitivity m_case = Qt::CaseInsensitive;
    // For each word: its bytes, sought in a file's raw bytes.
    QList<ByteFilter> m_wordFilters;
};
