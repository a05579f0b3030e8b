#include "library/snippetfile.h"

#include "library/librarypaths.h"
#include "library/platform.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <initializer_list>

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

QChar windows1252(unsigned char byte)
{
    return (byte >= 0x80 && byte < 0xA0) ? QChar(windows1252High[byte - 0x80])
                                          : QChar(char16_t(byte));
}

// The length of the well-formed UTF-8 sequence at `p`, or 0: no overlong
// forms, no surrogates, nothing beyond U+10FFFF.
int utf8SequenceLength(const unsigned char *p, const unsigned char *end)
{
    const auto continuation = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    const unsigned char lead = p[0];
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (end - p < length || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if (!continuation(p[i]))
            return 0;
    }
    return length;
}

QString decodeUtf8KeepingStrayBytes(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        if (*p < 0x80) {
            text.append(QChar(char16_t(*p++)));
            continue;
        }
        const int length = utf8SequenceLength(p, end);
        if (length == 0) {
            text.append(windows1252(*p++));
            continue;
        }
        char32_t code = *p & (0xFF >> (length + 1));
        for (int i = 1; i < length; ++i)
            code = (code << 6) | (p[i] & 0x3F);
        if (QChar::requiresSurrogates(code)) {
            text.append(QChar(QChar::highSurrogate(code)));
            text.append(QChar(QChar::lowSurrogate(code)));
        } else {
            text.append(QChar(char16_t(code)));
        }
        p += length;
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
QByteArray lineBreakAfter(const SnippetText &text)
{
    return text.crlfAfterSynopsis || text.synopsis.endsWith(QLatin1Char('\r'))
        ? QByteArrayLiteral("\r\n")
        : QByteArrayLiteral("\n");
}

QString tr(const char *text)
{
    return QCoreApplication::translate("SnippetFile", text);
}

// Not for security: only to notice that another program changed the file.
constexpr auto stampHash = QCryptographicHash::Sha1;

QByteArray hashOf(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, stampHash);
}

QString notRegularReason()
{
    return tr("not a regular file (a folder, device, pipe or socket)");
}

SnippetFile::Bytes fromPlatform(Platform::FileRead read)
{
    using SnippetFile::ReadStatus;
    switch (read.outcome) {
    case Platform::FileRead::Read:
        return {ReadStatus::Loaded, std::move(read.bytes), read.modified, QString()};
    case Platform::FileRead::Missing:
        return {ReadStatus::Missing, {}, {}, read.errorString};
    case Platform::FileRead::NotRegular:
        return {ReadStatus::NotARegularFile, {}, {}, notRegularReason()};
    case Platform::FileRead::TooLarge:
        return {ReadStatus::TooLarge, {}, {},
                tr("larger than %1 MiB, the most a snippet may hold")
                    .arg(SnippetFile::maximumSize / (1024 * 1024))};
    case Platform::FileRead::Failed:
        break;
    }
    return {ReadStatus::Unreadable, {}, {}, read.errorString};
}

SnippetFile::Stamp stampOf(const SnippetFile::Bytes &read)
{
    return {read.bytes.size(), read.modified, hashOf(read.bytes)};
}

// Why a save must not go to `path`, or an empty string when it may: only a
// regular file, or nothing at all, is ever replaced. A link counts as what it
// points to, and a link to nothing as something that is not a snippet: the
// save would create its target wherever it points.
QString reasonNotToReplace(const QFileInfo &info)
{
    if (info.isSymLink() && !info.exists())
        return tr("the name is a link to something that does not exist");
    if (info.exists() && !info.isFile())
        return tr("it is %1").arg(notRegularReason());
    return QString();
}

// Writes `parts` one after the other in place of the file, or leaves the old
// one untouched: a failed save must never cost the user the text that was
// there.
bool replaceFile(const QFileInfo &info, std::initializer_list<QByteArray> parts,
                 QString *errorString, SnippetFile::Stamp *written)
{
    if (!info.exists())
        QDir().mkpath(info.absoluteDir().absolutePath());

    QSaveFile file(info.absoluteFilePath());
    QCryptographicHash hash(stampHash);
    qint64 size = 0;
    // Qt 6.4's QSaveFile commits even when its buffer could not be flushed,
    // and a short write reports no error; so the file is written unbuffered
    // and each short write is retried until the rest is written or it fails.
    const auto put = [&](const QByteArray &bytes) {
        if (written)
            hash.addData(bytes);
        size += bytes.size();
        for (qsizetype done = 0; done < bytes.size();) {
            const qint64 count = file.write(bytes.constData() + done, bytes.size() - done);
            if (count <= 0)
                return false;
            done += count;
        }
        return true;
    };
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        && std::all_of(parts.begin(), parts.end(), put) && file.commit()) {
        if (written)
            *written = {size, QFileInfo(info.absoluteFilePath()).lastModified(), hash.result()};
        return true;
    }
    if (errorString)
        *errorString = file.errorString();
    return false;
}

// Text that starts with U+FEFF starts with the bytes of a byte-order mark,
// which the next read would drop; a mark in front keeps it.
QByteArray markFor(const QString &text)
{
    return text.startsWith(QChar::ByteOrderMark) ? QByteArrayLiteral("\xEF\xBB\xBF") : QByteArray();
}

bool changedSince(const SnippetFile::Bytes &now, const SnippetFile::Stamp &loaded)
{
    if (now.status == SnippetFile::ReadStatus::Missing)
        return false;
    if (now.status != SnippetFile::ReadStatus::Loaded || loaded.size < 0)
        return true;
    // Sizes differ: changed, whatever the time says. Same size: only the
    // bytes can tell, since a sync tool or a coarse clock may keep the time.
    return now.bytes.size() != loaded.size || hashOf(now.bytes) != loaded.hash;
}

} // namespace

namespace SnippetFile {

QString decode(const QByteArray &bytes)
{
    const auto encoding = QStringConverter::encodingForData(bytes);
    if (encoding && *encoding != QStringConverter::Utf8) {
        QStringDecoder decoder(*encoding);
        QString text = decoder(bytes);
        replaceUnpairedSurrogates(text);
        return text;
    }
    // Only the first mark is the file's; U+FEFF right after it is text.
    const QByteArrayView data = QByteArrayView(bytes).sliced(encoding ? 3 : 0);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless
                                                    | QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8(data);
    return utf8.hasError() ? decodeUtf8KeepingStrayBytes(data) : text;
}

SnippetText parse(const QString &text)
{
    const qsizetype lineFeed = text.indexOf(QLatin1Char('\n'));
    if (lineFeed < 0)
        return {text, QString()};
    const bool crlf = lineFeed > 0 && text.at(lineFeed - 1) == QLatin1Char('\r');
    return {text.left(crlf ? lineFeed - 1 : lineFeed), text.mid(lineFeed + 1), crlf};
}

Bytes readBytes(const QString &path)
{
    return fromPlatform(Platform::readRegularFile(nullptr, path, maximumSize));
}

Bytes readBytes(const Platform::OpenFolder &folder, const QString &fileName, bool listedAsRegular)
{
    return fromPlatform(Platform::readRegularFile(&folder, fileName, maximumSize, listedAsRegular));
}

ReadResult load(const QString &path)
{
    const Bytes raw = readBytes(path);
    ReadResult result;
    result.status = raw.status;
    result.errorString = raw.errorString;
    if (raw.status == ReadStatus::Loaded) {
        result.text = parse(decode(raw.bytes));
        result.stamp = stampOf(raw);
    }
    return result;
}

std::optional<SnippetText> read(const QString &path)
{
    ReadResult result = load(path);
    if (result.status != ReadStatus::Loaded)
        return std::nullopt;
    return std::move(result.text);
}

bool changedSince(const QString &path, const Stamp &loaded)
{
    return ::changedSince(readBytes(path), loaded);
}

bool write(const QString &path, const SnippetText &text, QString *errorString, Stamp *written)
{
    const QFileInfo info(path);
    if (const QString reason = reasonNotToReplace(info); !reason.isEmpty()) {
        if (errorString)
            *errorString = reason;
        return false;
    }
    return replaceFile(info, {markFor(text.synopsis), text.synopsis.toUtf8(),
                              lineBreakAfter(text), text.body.toUtf8()},
                       errorString, written);
}

bool hasUtf8Mark(const QByteArray &bytes)
{
    return bytes.startsWith("\xEF\xBB\xBF");
}

QByteArray utf8File(const QString &text, bool mark)
{
    return (mark ? QByteArrayLiteral("\xEF\xBB\xBF") : markFor(text)) + text.toUtf8();
}

bool writeText(const QString &path, const QString &text, QString *errorString, bool mark)
{
    const QFileInfo info(path);
    if (const QString reason = reasonNotToReplace(info); !reason.isEmpty()) {
        if (errorString)
            *errorString = reason;
        return false;
    }
    return replaceFile(info, {utf8File(text, mark)}, errorString, nullptr);
}

bool writeBytes(const QString &path, const QByteArray &bytes, QString *errorString)
{
    const QFileInfo info(path);
    if (const QString reason = reasonNotToReplace(info); !reason.isEmpty()) {
        if (errorString)
            *errorString = reason;
        return false;
    }
    return replaceFile(info, {bytes}, errorString, nullptr);
}

SaveResult save(const QString &path, const SnippetText &text, const Shown &shown, SaveMode mode)
{
    const QFileInfo onDisk(path);
    const bool taken = LibraryPaths::isTaken(onDisk);
    if (mode == SaveMode::NewOnly && taken)
        return {SaveStatus::Exists, QString(), shown};

    const bool showsThisFile = shown.path == path;
    if (mode != SaveMode::NewOnly && showsThisFile && shown.status != ReadStatus::Loaded
        && shown.status != ReadStatus::Missing)
        return {SaveStatus::NotShown, QString(), shown};

    // What is no file at all the write refuses by itself, saying why.
    const Bytes now = taken && onDisk.isFile() ? readBytes(path) : Bytes();
    if (mode == SaveMode::UnlessChanged && onDisk.isFile()) {
        const bool changed = showsThisFile ? ::changedSince(now, shown.stamp) : taken;
        if (changed)
            return {SaveStatus::Changed, QString(), shown};
    }

    SaveResult result{SaveStatus::Saved, QString(), {path, ReadStatus::Loaded, Stamp()}};
    bool saved = false;
    if (now.status == ReadStatus::Loaded && parse(decode(now.bytes)) == text)
        saved = replaceFile(onDisk, {now.bytes}, &result.errorString, &result.shown.stamp);
    else
        saved = write(path, text, &result.errorString, &result.shown.stamp);
    if (!saved)
        return {SaveStatus::Failed, result.errorString, shown};
    return result;
}

} // namespace SnippetFile
