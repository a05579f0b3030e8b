#include "library/snippetfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

// Windows-1252 for 0x80..0x9F. The five bytes it leaves undefined map to the
// C1 controls of the same value, so every byte still decodes to a character
// of its own and nothing is lost.
const char16_t windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString decodeWindows1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte < 0xA0) ? QChar(windows1252High[byte - 0x80]) : QChar(char16_t(byte));
    }
    return text;
}

// Decoders of UTF-16 and UTF-32 hand an unpaired surrogate through as it is.
// No save could write it back, so it reads as the replacement character, as
// it would be written.
void replaceUnpairedSurrogates(QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
}

// A read takes a carriage return right before the first line feed as part
// of the line break, so a synopsis that ends in one needs a second.
QByteArray lineBreakAfter(const QString &synopsis)
{
    return synopsis.endsWith(QLatin1Char('\r')) ? QByteArrayLiteral("\r\n")
                                                  : QByteArrayLiteral("\n");
}

// Qt 6.4's QSaveFile commits even when its buffer could not be flushed, and
// a short write reports no error; so the file is written unbuffered and each
// short write is retried until the rest is written or the write fails.
bool writeAll(QSaveFile &file, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

namespace SnippetFile {

QString decode(const QByteArray &bytes)
{
    if (const auto encoding = QStringConverter::encodingForData(bytes)) {
        QStringDecoder decoder(*encoding);
        QString text = decoder(bytes);
        replaceUnpairedSurrogates(text);
        return text;
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    return utf8.hasError() ? decodeWindows1252(bytes) : text;
}

SnippetText parse(const QString &text)
{
    const qsizetype lineFeed = text.indexOf(QLatin1Char('\n'));
    if (lineFeed < 0)
        return {text, QString()};
    qsizetype synopsisEnd = lineFeed;
    if (synopsisEnd > 0 && text.at(synopsisEnd - 1) == QLatin1Char('\r'))
        --synopsisEnd;
    return {text.left(synopsisEnd), text.mid(lineFeed + 1)};
}

std::optional<SnippetText> read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parse(decode(file.readAll()));
}

bool write(const QString &path, const SnippetText &text, QString *errorString)
{
    const QFileInfo info(path);
    if (!info.exists())
        QDir().mkpath(info.absoluteDir().absolutePath());

    QSaveFile file(info.absoluteFilePath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // Field by field, so a large body is not copied once more just to
        // prepend its synopsis.
        // Text that starts with U+FEFF starts with the bytes of a byte-order
        // mark, which the next read would drop; a mark in front keeps it.
        const bool markNeeded = text.synopsis.startsWith(QChar::ByteOrderMark);
        const bool written = (!markNeeded || writeAll(file, QByteArrayLiteral("\xEF\xBB\xBF")))
            && writeAll(file, text.synopsis.toUtf8())
            && writeAll(file, lineBreakAfter(text.synopsis))
            && writeAll(file, text.body.toUtf8());
        if (written && file.commit())
            return true;
    }
    if (errorString)
        *errorString = file.errorString();
    return false;
}

} // namespace SnippetFile
