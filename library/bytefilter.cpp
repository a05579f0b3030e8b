#include "library/bytefilter.h"

#include "library/platform.h"

#include <QStringConverter>

#include <algorithm>

namespace {

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
}

ByteFilter::Found ByteFilter::findIn(const QByteArray &fileBytes, const QByteArray &lowered) const
{
    if (!isUsable())
        return Found::Unsure;
    const auto encoding = QStringConverter::encodingForData(fileBytes);
    if (encoding && *encoding != QStringConverter::Utf8)
        return Found::Unsure;
    if (Platform::containsBytes(m_ignoreCase ? lowered : fileBytes, m_bytes))
        return m_ascii ? Found::Yes : Found::Unsure;
    // Text beyond ASCII may still be there in Windows-1252, which is never
    // pure ASCII.
    return m_ascii || isAscii(fileBytes) ? Found::No : Found::Unsure;
}
