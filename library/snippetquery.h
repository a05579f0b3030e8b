#pragma once

#include "library/bytefilter.h"
#include "library/snippetfile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <optional>
#include <utility>

// What the Find window types: plain words that must all occur somewhere in a
// snippet's name, synopsis or body, in any order. Smart case, as editors do:
// a query in lower case ignores case, one with a capital letter does not.
// A word "Language/" or "Language/Category/", written in any case as the
// terminal tool writes paths, narrows the search to that place instead.
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
        // Within Rank::Name: 0 the name is the words, 1 it starts with them,
        // 2 it holds them elsewhere.
        int nameOrder = 2;
        // The first body line holding a word, and where the words stand in it.
        QString bodyLine;
        QList<std::pair<qsizetype, qsizetype>> highlights; // start, length
    };

    // False only when the raw file cannot match: an ASCII word that is in
    // neither the name nor the bytes of a file in UTF-8 or its 8-bit
    // fallback, where ASCII stands for itself. Saves decoding most files.
    bool mayMatch(QStringView name, const QByteArray &fileBytes) const;

    Match match(QStringView name, const SnippetText &text) const;
    // The same over a snippet held in memory, its body in UTF-8. Case is
    // folded by table over the bytes, never decoding unless a word beyond
    // ASCII must ignore case.
    Match matchHeld(QStringView name, QStringView synopsis, const QByteArray &body) const;

    // Whether a snippet of this language and category is in the place the
    // query narrows to; always, when it names none.
    bool isInPlace(QStringView language, QStringView category) const;

    // Where the words stand in `line`, sorted, overlaps merged.
    QList<std::pair<qsizetype, qsizetype>> highlightsIn(QStringView line) const;

private:
    bool occursIn(QStringView text, const QString &word) const;
    bool occursIn(QStringView text, qsizetype word) const;
    int nameOrderOf(QStringView name) const;
    qsizetype indexInBytes(qsizetype word, const QByteArray &body) const;
    // Every word in the name, the synopsis or the body (where `bodyHit(word)`
    // finds it), ranked by the best place; the first body hit for the line.
    template <typename BodyHit>
    Match rankWords(QStringView name, QStringView synopsis, const BodyHit &bodyHit,
                    qsizetype *firstBodyHit) const;

    // Horspool's search over bytes with ASCII folded: a byte beyond ASCII
    // never folds to an ASCII letter, so this is exact for an ASCII word in
    // UTF-8 text.
    struct FoldedWord
    {
        QByteArray lower;
        std::array<qsizetype, 256> skip{};
    };

    QStringList m_words;
    Qt::CaseSensitivity m_case = Qt::CaseInsensitive;
    // For each word: its bytes, sought in a file's raw bytes.
    QList<ByteFilter> m_wordFilters;
    // For each word: its bytes, to be found in a file's raw bytes (lower-cased
    // when case is ignored), or none for a word beyond ASCII.
    QList<std::optional<QByteArray>> m_wordBytes;
    QList<QByteArray> m_wordUtf8;
    QList<FoldedWord> m_folded; // per word when case is ignored
    bool m_needsDecoding = false; // a word beyond ASCII that ignores case
    QString m_phrase;             // the words as one name, for ranking
    QString m_language;           // null: any
    QString m_category;
};
