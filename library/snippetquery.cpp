#include "library/snippetquery.h"

#include <algorithm>

namespace {

// A body line is shown on one row; a minified file's only line is cut to the
// stretch around the first hit.
constexpr qsizetype longestShownLine = 240;
constexpr qsizetype contextBeforeHit = 40;

} // namespace

SnippetQuery::SnippetQuery(const QString &text)
    : m_words(text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts))
{
    const bool anyCapital =
        std::any_of(text.begin(), text.end(), [](QChar c) { return c.isUpper(); });
    m_case = anyCapital ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (const QString &word : std::as_const(m_words))
        m_wordFilters.append(ByteFilter(word, m_case));
}

bool SnippetQuery::occursIn(QStringView text, const QString &word) const
{
    return text.indexOf(word, 0, m_case) >= 0;
}

bool SnippetQuery::mayMatch(QStringView name, const QByteArray &fileBytes) const
{
    QByteArray lowered;
    for (qsizetype i = 0; i < m_words.size(); ++i) {
        const ByteFilter &filter = m_wordFilters.at(i);
        if (!filter.isUsable() || occursIn(name, m_words.at(i)))
            continue;
        if (filter.ignoresCase() && lowered.isNull())
            lowered = ByteFilter::lowerAscii(fileBytes);
        if (filter.findIn(fileBytes, lowered) == ByteFilter::Found::No)
            return false;
    }
    return true;
}

SnippetQuery::Match SnippetQuery::match(QStringView name, const SnippetText &text) const
{
    Match result;
    if (m_words.isEmpty()) {
        result.rank = Rank::Name;
        return result;
    }
    bool inName = false;
    bool inSynopsis = false;
    qsizetype firstBodyHit = -1;
    for (const QString &word : m_words) {
        const bool here = occursIn(name, word);
        const bool there = occursIn(text.synopsis, word);
        const qsizetype hit = text.body.indexOf(word, 0, m_case);
        if (!here && !there && hit < 0)
            return result;
        inName = inName || here;
        inSynopsis = inSynopsis || there;
        if (hit >= 0 && (firstBodyHit < 0 || hit < firstBodyHit))
            firstBodyHit = hit;
    }
    result.rank = inName ? Rank::Name : inSynopsis ? Rank::Synopsis : Rank::Body;

    if (firstBodyHit >= 0) {
        const QStringView body(text.body);
        const qsizetype start = body.lastIndexOf(u'\n', firstBodyHit) + 1;
        qsizetype end = body.indexOf(u'\n', firstBodyHit);
        if (end < 0)
            end = body.size();
        QStringView line = body.sliced(start, end - start).trimmed();
        if (line.size() > longestShownLine) {
            const qsizetype hitInLine = firstBodyHit - (line.data() - body.data());
            const qsizetype from = std::max<qsizetype>(0, hitInLine - contextBeforeHit);
            line = line.sliced(from, std::min(longestShownLine, line.size() - from));
        }
        result.bodyLine = line.toString();
        result.highlights = highlightsIn(result.bodyLine);
    }
    return result;
}

QList<std::pair<qsizetype, qsizetype>> SnippetQuery::highlightsIn(QStringView line) const
{
    QList<std::pair<qsizetype, qsizetype>> spans;
    for (const QString &word : m_words) {
        for (qsizetype at = line.indexOf(word, 0, m_case); at >= 0;
             at = line.indexOf(word, at + word.size(), m_case))
            spans.append({at, word.size()});
    }
    std::sort(spans.begin(), spans.end());
    QList<std::pair<qsizetype, qsizetype>> merged;
    for (const auto &[start, length] : std::as_const(spans)) {
        if (!merged.isEmpty() && start <= merged.last().first + merged.last().second) {
            auto &last = merged.last();
            last.second = std::max(last.second, start + length - last.first);
        } else {
            merged.append({start, length});
        }
    }
    return merged;
}
