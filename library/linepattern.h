#pragma once

#include "library/bytefilter.h"

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringMatcher>
#include <QStringView>

struct LineMatch
{
    int number; // 1 is the synopsis, as in the file
    QStringView text; // without its line break
};

// The terminal tool's pattern: decides which lines of a snippet match, line
// by line as grep does. For a plain string it can often answer from the
// file's bytes without decoding. (The Find window's words are SnippetQuery.)
class LinePattern
{
public:
    struct Options
    {
        QString pattern;
        bool ignoreCase = false;
        bool fixed = false; // a plain string, not a regular expression
        bool word = false;  // only where it stands as a whole word
    };

    explicit LinePattern(const Options &options);

    // Why the pattern cannot be used, or an empty string.
    QString error() const;

    enum class Verdict { No, Yes, Decode };
    // Whether the file's text matches, judged from its raw bytes where that
    // is exact; Decode when only the decoded text can tell.
    Verdict quickVerdict(const QByteArray &fileBytes) const;

    bool matchesLine(QStringView line) const;
    // The lines that match. Lines on which the regular-expression engine
    // gave up (its backtracking limit) go to `gaveUp` by number: they are
    // neither a match nor a sure miss.
    QList<LineMatch> matchingLines(QStringView text, QList<int> *gaveUp) const;

private:
    enum class LineVerdict { No, Yes, GaveUp };
    LineVerdict judgeLine(QStringView line) const;
    // Where the next hit starts, or -1; `gaveUp` when the engine could not tell.
    qsizetype findFrom(QStringView text, qsizetype from, bool *gaveUp) const;

    bool m_useRegex;
    QStringMatcher m_text;
    QRegularExpression m_regex;
    // The pattern's bytes, usable on the raw file when case matters.
    ByteFilter m_bytes;
    bool m_bytesDecide = false; // a byte hit is a match, not just a candidate
};
