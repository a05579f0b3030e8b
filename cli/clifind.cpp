#include "cli/clifind.h"

#include "library/platform.h"

#include <QStringConverter>

#include <algorithm>

namespace {

bool isAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

QString regexFor(const FindOptions &options)
{
    QString pattern = options.fixed ? QRegularExpression::escape(options.pattern) : options.pattern;
    // As grep -w: no word character may stand right before or after.
    if (options.word)
        pattern = QStringLiteral("(?<!\\w)(?:") + pattern + QStringLiteral(")(?!\\w)");
    return pattern;
}

} // namespace

SnippetMatcher::SnippetMatcher(const FindOptions &options)
    : m_useRegex(!options.fixed || options.word)
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
    if (options.fixed && !options.ignoreCase && !options.pattern.isEmpty()) {
        const QByteArray utf8 = options.pattern.toUtf8();
        m_bytesUsable = true;
        // ASCII bytes stand for the same characters in UTF-8 and in the
        // Windows-1252 fallback, and never occur inside a multi-byte sequence.
        m_bytesAreAscii = isAscii(utf8);
        // Lines are matched without their line break, so a pattern holding
        // one is left to the line-by-line check.
        m_bytesDecide = !options.word && m_bytesAreAscii && !utf8.contains('\n')
            && !utf8.contains('\r');
        m_patternBytes = utf8;
    }
}

QString SnippetMatcher::error() const
{
    return m_useRegex && !m_regex.isValid() ? m_regex.errorString() : QString();
}

SnippetMatcher::Verdict SnippetMatcher::quickVerdict(const QByteArray &fileBytes) const
{
    if (!m_bytesUsable)
        return Verdict::Decode;
    // UTF-16 and UTF-32 need decoding; a UTF-8 mark does not change the bytes.
    const auto encoding = QStringConverter::encodingForData(fileBytes);
    if (encoding && *encoding != QStringConverter::Utf8)
        return Verdict::Decode;

    if (containsPatternBytes(fileBytes))
        return m_bytesDecide ? Verdict::Yes : Verdict::Decode;
    // Not found: exact for an ASCII pattern; a pattern beyond ASCII may still
    // match a Windows-1252 file, which is never pure ASCII.
    return m_bytesAreAscii || isAscii(fileBytes) ? Verdict::No : Verdict::Decode;
}

bool SnippetMatcher::containsPatternBytes(const QByteArray &bytes) const
{
    return Platform::containsBytes(bytes, m_patternBytes);
}

bool SnippetMatcher::matchesLine(QStringView line) const
{
    return findFrom(line, 0) >= 0;
}

qsizetype SnippetMatcher::findFrom(QStringView text, qsizetype from) const
{
    return m_useRegex ? m_regex.match(text, from).capturedStart() : m_text.indexIn(text, from);
}

QList<LineMatch> SnippetMatcher::matchingLines(QStringView text) const
{
    // Search the whole text and look only at the lines a hit lands on; each
    // is then checked on its own, so a regular expression never matches
    // across a line break.
    QList<LineMatch> lines;
    int number = 1;
    qsizetype lineStart = 0;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype hit = findFrom(text, from);
        if (hit < 0)
            break;
        for (qsizetype at = text.indexOf(u'\n', lineStart); at >= 0 && at < hit;
             at = text.indexOf(u'\n', lineStart)) {
            ++number;
            lineStart = at + 1;
        }
        qsizetype lineEnd = text.indexOf(u'\n', lineStart);
        const qsizetype next = lineEnd < 0 ? text.size() + 1 : lineEnd + 1;
        if (lineEnd < 0)
            lineEnd = text.size();
        QStringView line = text.sliced(lineStart, lineEnd - lineStart);
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (matchesLine(line))
            lines.append({number, line});
        from = next;
    }
    return lines;
}
