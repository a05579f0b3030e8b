#include "library/linepattern.h"

namespace {

// As grep -F: a string holding line feeds is one string per line, any of
// which may match.
QString fixedStringsPattern(const QString &strings)
{
    QStringList parts = strings.split(QLatin1Char('\n'));
    for (QString &part : parts)
        part = QRegularExpression::escape(part);
    return parts.size() == 1 ? parts.first()
                             : QStringLiteral("(?:") + parts.join(QLatin1Char('|')) + QLatin1Char(')');
}

QString regexFor(const LinePattern::Options &options)
{
    QString pattern = options.fixed ? fixedStringsPattern(options.pattern) : options.pattern;
    // As grep -w: no word character may stand right before or after.
    if (options.word)
        pattern = QStringLiteral("(?<!\\w)(?:") + pattern + QStringLiteral(")(?!\\w)");
    return pattern;
}

} // namespace

LinePattern::LinePattern(const Options &options)
    : m_useRegex(!options.fixed || options.word || options.pattern.contains(QLatin1Char('\n')))
{
    if (m_useRegex) {
        QRegularExpression::PatternOptions flags = QRegularExpression::MultilineOption
            | QRegularExpression::UseUnicodePropertiesOption
            | QRegularExpression::DontCaptureOption;
        if (options.ignoreCase)
            flags |= QRegularExpression::CaseInsensitiveOption;
        m_regex = QRegularExpression(regexFor(options), flags);
        m_regex.optimize();
    } else {
        m_text = QStringMatcher(options.pattern,
                                options.ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive);
    }

    // Raw bytes can only rule a file out when the pattern is a literal that
    // must appear as it is typed.
    if (options.fixed && !options.ignoreCase && !options.pattern.contains(QLatin1Char('\n'))) {
        m_bytes = ByteFilter(options.pattern, Qt::CaseSensitive);
        // Lines are matched without their line break, so a pattern holding
        // a carriage return is left to the line-by-line check.
        m_bytesDecide = !options.word && !options.pattern.contains(QLatin1Char('\r'));
    }
}

QString LinePattern::error() const
{
    return m_useRegex && !m_regex.isValid() ? m_regex.errorString() : QString();
}

LinePattern::Verdict LinePattern::quickVerdict(const QByteArray &fileBytes) const
{
    switch (m_bytes.findIn(fileBytes)) {
    case ByteFilter::Found::No:
        return Verdict::No;
    case ByteFilter::Found::Yes:
        return m_bytesDecide ? Verdict::Yes : Verdict::Decode;
    case ByteFilter::Found::Unsure:
        break;
    }
    return Verdict::Decode;
}

bool LinePattern::matchesLine(QStringView line) const
{
    return judgeLine(line) == LineVerdict::Yes;
}

LinePattern::LineVerdict LinePattern::judgeLine(QStringView line) const
{
    bool gaveUp = false;
    const bool hit = findFrom(line, 0, &gaveUp) >= 0;
    return gaveUp ? LineVerdict::GaveUp : hit ? LineVerdict::Yes : LineVerdict::No;
}

qsizetype LinePattern::findFrom(QStringView text, qsizetype from, bool *gaveUp) const
{
    if (!m_useRegex)
        return m_text.indexIn(text, from);
    // A valid expression gives an invalid match only when the engine gave up.
    const QRegularExpressionMatch match = m_regex.match(text, from);
    *gaveUp = !match.isValid();
    return match.capturedStart();
}

QList<LineMatch> LinePattern::matchingLines(QStringView text, QList<int> *gaveUp) const
{
    // Search the whole text and look only at the lines a hit lands on; each
    // is then checked on its own, so a regular expression never matches
    // across a line break. Once a hit has spanned lines, or the engine has
    // given up on the whole text, the rest goes line by line: searching the
    // whole text again from each next line would take quadratic time.
    QList<LineMatch> lines;
    bool lineByLine = false;
    int number = 1;
    qsizetype lineStart = 0;
    while (lineStart < text.size()) {
        if (!lineByLine) {
            bool engineGaveUp = false;
            const qsizetype hit = findFrom(text, lineStart, &engineGaveUp);
            if (engineGaveUp) {
                lineByLine = true;
                continue;
            }
            if (hit < 0)
                break;
            for (qsizetype at = text.indexOf(u'\n', lineStart); at >= 0 && at < hit;
                 at = text.indexOf(u'\n', lineStart)) {
                ++number;
                lineStart = at + 1;
            }
            // Nothing follows the last line feed: no line is there to match.
            if (lineStart == text.size())
                break;
        }
        qsizetype lineEnd = text.indexOf(u'\n', lineStart);
        const qsizetype next = lineEnd < 0 ? text.size() : lineEnd + 1;
        if (lineEnd < 0)
            lineEnd = text.size();
        QStringView line = text.sliced(lineStart, lineEnd - lineStart);
        if (line.endsWith(u'\r'))
            line.chop(1);
        switch (judgeLine(line)) {
        case LineVerdict::Yes:
            lines.append({number, line});
            break;
        case LineVerdict::GaveUp:
            gaveUp->append(number);
            break;
        case LineVerdict::No:
            lineByLine = true; // the hit spanned lines
            break;
        }
        ++number;
        lineStart = next;
    }
    return lines;
}
