#include "library/snippetquery.h"

#include <algorithm>

namespace {

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// A body line is shown on one row; a minified file's only line is cut to the
// stretch around the first hit.
constexpr qsizetype longestShownLine = 240;
constexpr qsizetype contextBeforeHit = 40;

const std::array<uchar, 256> asciiLower = [] {
    std::array<uchar, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[c] = uchar(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    return table;
}();

// The line around a body hit as one row shows it: trimmed, and a long line
// cut to the stretch around the hit.
QString shownLine(QStringView untrimmed, qsizetype hit)
{
    QStringView line = untrimmed.trimmed();
    if (line.size() > longestShownLine) {
        const qsizetype hitInLine = hit - (line.data() - untrimmed.data());
        const qsizetype from = std::max<qsizetype>(0, hitInLine - contextBeforeHit);
        line = line.sliced(from, std::min(longestShownLine, line.size() - from));
    }
    return line.toString();
}

// "go/" or "Go/Net/": the place a word narrows to, if it is one.
std::optional<QStringList> placeIn(const QString &word)
{
    if (word.size() < 2 || !word.endsWith(QLatin1Char('/')))
        return std::nullopt;
    const QStringList parts = word.chopped(1).split(QLatin1Char('/'));
    if (parts.size() > 2 || parts.contains(QString()))
        return std::nullopt;
    return parts;
}

} // namespace

SnippetQuery::SnippetQuery(const QString &text)
{
    for (const QString &word : text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const std::optional<QStringList> place = placeIn(word);
        if (!place) {
            m_words.append(word);
            continue;
        }
        m_language = place->at(0);
        m_category = place->size() > 1 ? place->at(1) : QString();
    }
    // A place is any case: only the words searched for decide.
    const bool anyCapital = std::any_of(m_words.begin(), m_words.end(), [](const QString &word) {
        return std::any_of(word.begin(), word.end(), [](QChar c) { return c.isUpper(); });
    });
    m_case = anyCapital ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (const QString &word : std::as_const(m_words))
        m_wordFilters.append(ByteFilter(word, m_case));
    m_phrase = m_words.join(QLatin1Char(' '));
    for (const QString &word : std::as_const(m_words)) {
        m_wordUtf8.append(word.toUtf8());
        if (isAscii(word)) {
            const QByteArray bytes = word.toLatin1();
            m_wordBytes.append(m_case == Qt::CaseSensitive ? bytes : bytes.toLower());
        } else {
            m_wordBytes.append(std::nullopt);
            m_needsDecoding = m_needsDecoding || m_case == Qt::CaseInsensitive;
        }
        if (m_case == Qt::CaseSensitive)
            continue;
        FoldedWord folded;
        folded.lower = m_wordUtf8.last().toLower();
        const qsizetype length = folded.lower.size();
        folded.skip.fill(length);
        for (qsizetype i = 0; i + 1 < length; ++i) {
            const uchar c = uchar(folded.lower.at(i));
            folded.skip[c] = length - 1 - i;
            if (c >= 'a' && c <= 'z')
                folded.skip[c - ('a' - 'A')] = length - 1 - i;
        }
        m_folded.append(folded);
    }
}

bool SnippetQuery::isInPlace(QStringView language, QStringView category) const
{
    if (m_language.isNull())
        return true;
    return language.compare(m_language, Qt::CaseInsensitive) == 0
        && (m_category.isNull() || category.compare(m_category, Qt::CaseInsensitive) == 0);
}

int SnippetQuery::nameOrderOf(QStringView name) const
{
    if (m_phrase.isEmpty())
        return 2;
    if (name.compare(m_phrase, m_case) == 0)
        return 0;
    return name.startsWith(m_phrase, m_case) ? 1 : 2;
}

qsizetype SnippetQuery::indexInBytes(qsizetype word, const QByteArray &body) const
{
    if (m_case == Qt::CaseSensitive)
        return body.indexOf(m_wordUtf8.at(word));
    const FoldedWord &folded = m_folded.at(word);
    const qsizetype length = folded.lower.size();
    const auto *text = reinterpret_cast<const uchar *>(body.constData());
    const auto *sought = reinterpret_cast<const uchar *>(folded.lower.constData());
    const qsizetype last = length - 1;
    for (qsizetype at = 0; at + length <= body.size(); at += folded.skip[text[at + last]]) {
        if (asciiLower[text[at + last]] != sought[last])
            continue;
        qsizetype i = 0;
        while (i < last && asciiLower[text[at + i]] == sought[i])
            ++i;
        if (i == last)
            return at;
    }
    return -1;
}

template <typename BodyHit>
SnippetQuery::Match SnippetQuery::rankWords(QStringView name, QStringView synopsis,
                                            const BodyHit &bodyHit, qsizetype *firstBodyHit) const
{
    Match result;
    *firstBodyHit = -1;
    if (m_words.isEmpty()) {
        result.rank = Rank::Name;
        return result;
    }
    bool inName = false;
    bool inSynopsis = false;
    for (qsizetype i = 0; i < m_words.size(); ++i) {
        const bool here = occursIn(name, i);
        const bool there = occursIn(synopsis, i);
        const qsizetype hit = bodyHit(i);
        if (!here && !there && hit < 0) {
            *firstBodyHit = -1;
            return result;
        }
        inName = inName || here;
        inSynopsis = inSynopsis || there;
        if (hit >= 0 && (*firstBodyHit < 0 || hit < *firstBodyHit))
            *firstBodyHit = hit;
    }
    result.rank = inName ? Rank::Name : inSynopsis ? Rank::Synopsis : Rank::Body;
    if (inName)
        result.nameOrder = nameOrderOf(name);
    return result;
}

SnippetQuery::Match SnippetQuery::matchHeld(QStringView name, QStringView synopsis,
                                            const QByteArray &body) const
{
    if (m_needsDecoding)
        return match(name, SnippetText{synopsis.toString(), QString::fromUtf8(body)});
    qsizetype firstBodyHit = -1;
    Match result = rankWords(
        name, synopsis, [&](qsizetype word) { return indexInBytes(word, body); }, &firstBodyHit);
    if (firstBodyHit >= 0) {
        // Only the hit's line is decoded.
        const qsizetype start = body.lastIndexOf('\n', firstBodyHit) + 1;
        qsizetype end = body.indexOf('\n', firstBodyHit);
        if (end < 0)
            end = body.size();
        const QString line = QString::fromUtf8(body.constData() + start, end - start);
        const qsizetype hit = QString::fromUtf8(body.constData() + start, firstBodyHit - start).size();
        result.bodyLine = shownLine(line, hit);
        result.highlights = highlightsIn(result.bodyLine);
    }
    return result;
}

bool SnippetQuery::occursIn(QStringView text, const QString &word) const
{
    return text.indexOf(word, 0, m_case) >= 0;
}

bool SnippetQuery::occursIn(QStringView text, qsizetype word) const
{
    // An ASCII word in an ASCII name or synopsis: folded by table. Elsewhere
    // Unicode's folding decides (the Kelvin sign is a "k").
    if (m_case == Qt::CaseSensitive || !m_wordBytes.at(word) || !isAscii(text))
        return occursIn(text, m_words.at(word));
    const QByteArray &sought = m_folded.at(word).lower;
    const qsizetype length = sought.size();
    const char16_t *chars = text.utf16();
    for (qsizetype at = 0; at + length <= text.size(); ++at) {
        qsizetype i = 0;
        while (i < length && asciiLower[uchar(chars[at + i])] == uchar(sought.at(i)))
            ++i;
        if (i == length)
            return true;
    }
    return false;
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
    qsizetype firstBodyHit = -1;
    Match result = rankWords(
        name, text.synopsis,
        [&](qsizetype word) { return text.body.indexOf(m_words.at(word), 0, m_case); },
        &firstBodyHit);
    if (firstBodyHit >= 0) {
        const QStringView body(text.body);
        const qsizetype start = body.lastIndexOf(u'\n', firstBodyHit) + 1;
        qsizetype end = body.indexOf(u'\n', firstBodyHit);
        if (end < 0)
            end = body.size();
        result.bodyLine = shownLine(body.sliced(start, end - start), firstBodyHit - start);
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
