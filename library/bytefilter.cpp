#include "library/bytefilter.h"

#include <QStringConverter>

#include <algorithm>
#include <cstring>

namespace {

// Longer literals go to Qt's skip-table search; shorter ones wait for their
// rarest byte, which memchr finds at memory speed, and are compared there.
constexpr qsizetype shortLiteral = 16;

// Roughly how often a byte turns up in source text and prose.
int commonness(unsigned char c)
{
    static constexpr char letters[] = "etaoinsrhldcumfpgwybvkxjqz";
    if (c == ' ' || c == '\n' || c == '\t')
        return 100;
    if (c >= 'a' && c <= 'z')
        return 90 - int(std::strchr(letters, c) - letters);
    if (c != 0 && std::strchr("(),;.=_-\"'/*:{}<>", c))
        return 60;
    if (c >= 'A' && c <= 'Z')
        return 40;
    if (c >= '0' && c <= '9')
        return 30;
    return c < 0x80 ? 20 : 10;
}

bool isAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

ByteFilter::ByteFilter(const QString &text, Qt::CaseSensitivity cs)
{
    const QByteArray utf8 = text.toUtf8();
    m_ascii = isAscii(utf8);
    m_ignoreCase = cs == Qt::CaseInsensitive;
    if (m_ascii || !m_ignoreCase)
        m_bytes = m_ignoreCase ? lowerAscii(utf8) : utf8;
    if (m_bytes.size() > shortLiteral) {
        m_long.setPattern(m_bytes);
        return;
    }
    const auto rarest = std::min_element(m_bytes.begin(), m_bytes.end(), [](char a, char b) {
        return commonness(static_cast<unsigned char>(a)) < commonness(static_cast<unsigned char>(b));
    });
    m_rare = rarest - m_bytes.begin();
}

bool ByteFilter::occursIn(const QByteArray &haystack) const
{
    if (m_bytes.size() > shortLiteral)
        return m_long.indexIn(haystack) >= 0;
    const qsizetype length = m_bytes.size();
    if (haystack.size() < length)
        return false;
    const char rare = m_bytes.at(m_rare);
    const char *from = haystack.constData() + m_rare;
    // The rare byte of a match at the last place it fits.
    const char *last = haystack.constData() + (haystack.size() - length) + m_rare;
    while (from <= last) {
        const auto *at = static_cast<const char *>(std::memchr(from, rare, size_t(last - from + 1)));
        if (!at)
            return false;
        if (std::memcmp(at - m_rare, m_bytes.constData(), size_t(length)) == 0)
            return true;
        from = at + 1;
    }
    return false;
}

ByteFilter::Found ByteFilter::findIn(const QByteArray &fileBytes, const QByteArray &lowered) const
{
    if (!isUsable())
        return Found::Unsure;
    const auto encoding = QStringConverter::encodingForData(fileBytes);
    if (encoding && *encoding != QStringConverter::Utf8)
        return Found::Unsure;
    if (occursIn(m_ignoreCase ? lowered : fileBytes))
        return m_ascii ? Found::Yes : Found::Unsure;
    // Text beyond ASCII may still be there in Windows-1252, which is never
    // pure ASCII.
    return m_ascii || isAscii(fileBytes) ? Found::No : Found::Unsure;
}
