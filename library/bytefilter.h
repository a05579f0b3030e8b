#pragma once

#include <QByteArray>
#include <QByteArrayMatcher>
#include <QString>

// A literal sought in a snippet file's raw bytes, to rule the file out before
// decoding it. The answers hold for every encoding the reader takes: UTF-16
// and UTF-32 are left to the decoded text; in UTF-8 and in the Windows-1252
// fallback for stray bytes, ASCII stands for itself and never occurs inside
// a multi-byte sequence.
class ByteFilter
{
public:
    ByteFilter() = default;
    // Any text where case matters; ASCII text only where it does not, since
    // other letters change their bytes with their case.
    ByteFilter(const QString &text, Qt::CaseSensitivity cs);

    bool isUsable() const { return !m_bytes.isEmpty(); }
    bool ignoresCase() const { return m_ignoreCase; }

    enum class Found {
        No,     // the decoded text cannot hold it
        Yes,    // the decoded text holds it (an ASCII literal)
        Unsure, // only the decoded text can tell
    };
    // `lowered`: the file's bytes with ASCII in lower case, when this filter
    // ignores case (lowerAscii(), made once for all filters of a query).
    Found findIn(const QByteArray &fileBytes, const QByteArray &lowered = QByteArray()) const;

    static QByteArray lowerAscii(const QByteArray &bytes) { return bytes.toLower(); }

private:
    bool occursIn(const QByteArray &haystack) const;

    QByteArray m_bytes;
    qsizetype m_rare = 0; // where in m_bytes its rarest byte stands
    QByteArrayMatcher m_long;
    bool m_ascii = false;
    bool m_ignoreCase = false;
};
