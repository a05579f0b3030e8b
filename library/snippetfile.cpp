#include "library/snippetfile.h"

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

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// The bytes of a regular file of at most maximumSize, with the stamp of what
// was read. Anything else is never opened, or, if it replaced the file after
// the check, closed again before a single read.
struct RawRead
{
    SnippetFile::ReadStatus status;
    QByteArray bytes;
    SnippetFile::Stamp stamp;
    QString errorString;
};

RawRead failure(SnippetFile::ReadStatus status, const QString &why)
{
    return {status, QByteArray(), SnippetFile::Stamp(), why};
}

RawRead notRegular()
{
    return failure(SnippetFile::ReadStatus::NotARegularFile,
                   tr("it is not a regular file (a folder, device, pipe or socket)"));
}

RawRead tooLarge(qint64 size)
{
    return failure(SnippetFile::ReadStatus::TooLarge,
                   tr("it holds %1 MiB, more than the %2 MiB a snippet may have")
                       .arg((size + 1024 * 1024 - 1) / (1024 * 1024))
                       .arg(SnippetFile::maximumSize / (1024 * 1024)));
}

#ifdef Q_OS_UNIX

QDateTime modifiedTime(const struct stat &info)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(info.st_mtim.tv_sec) * 1000
                                          + info.st_mtim.tv_nsec / 1000000);
}

RawRead readRaw(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) != 0) {
        const int error = errno;
        return failure(error == ENOENT || error == ENOTDIR ? SnippetFile::ReadStatus::Missing
                                                           : SnippetFile::ReadStatus::Unreadable,
                       qt_error_string(error));
    }
    if (!S_ISREG(info.st_mode))
        return notRegular();
    if (info.st_size > SnippetFile::maximumSize)
        return tooLarge(info.st_size);

    // O_NONBLOCK: should a FIFO take the file's place after the check, the
    // open returns at once instead of waiting for a writer.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return failure(SnippetFile::ReadStatus::Unreadable, qt_error_string(errno));
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return notRegular();
    }
    if (info.st_size > SnippetFile::maximumSize) {
        ::close(fd);
        return tooLarge(info.st_size);
    }

    // One byte beyond the limit tells a file that grew since the fstat.
    RawRead result{SnippetFile::ReadStatus::Loaded, QByteArray(), SnippetFile::Stamp(), QString()};
    result.bytes.resize(qsizetype(info.st_size) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == result.bytes.size()) {
            if (filled > SnippetFile::maximumSize) {
                ::close(fd);
                return tooLarge(filled);
            }
            result.bytes.resize(std::min<qsizetype>(filled * 2 + 4096, SnippetFile::maximumSize + 1));
        }
        const ssize_t got = ::read(fd, result.bytes.data() + filled, size_t(result.bytes.size() - filled));
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            return failure(SnippetFile::ReadStatus::Unreadable, qt_error_string(error));
        }
        filled += got;
    }
    ::close(fd);
    result.bytes.truncate(filled);
    result.stamp = {qint64(filled), modifiedTime(info), hashOf(result.bytes)};
    return result;
}

#else

RawRead readRaw(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return failure(SnippetFile::ReadStatus::Missing, tr("it does not exist"));
    if (!info.isFile())
        return notRegular();
    if (info.size() > SnippetFile::maximumSize)
        return tooLarge(info.size());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(SnippetFile::ReadStatus::Unreadable, file.errorString());
    RawRead result{SnippetFile::ReadStatus::Loaded, file.read(SnippetFile::maximumSize + 1),
                   SnippetFile::Stamp(), QString()};
    if (result.bytes.size() > SnippetFile::maximumSize)
        return tooLarge(result.bytes.size());
    if (file.error() != QFileDevice::NoError)
        return failure(SnippetFile::ReadStatus::Unreadable, file.errorString());
    result.stamp = {result.bytes.size(), file.fileTime(QFileDevice::FileModificationTime),
                    hashOf(result.bytes)};
    return result;
}

#endif

// Why a save must not go to `path`, or an empty string when it may: only a
// regular file, or nothing at all, is ever replaced. A link counts as what it
// points to, and a link to nothing as something that is not a snippet: the
// save would create its target wherever it points.
QString reasonNotToReplace(const QFileInfo &info)
{
    if (info.isSymLink() && !info.exists())
        return tr("the name is a link to something that does not exist");
    if (info.exists() && !info.isFile())
        return tr("it is not a regular file (a folder, device, pipe or socket)");
    return QString();
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

ReadResult load(const QString &path)
{
    RawRead raw = readRaw(path);
    ReadResult result;
    result.status = raw.status;
    result.errorString = raw.errorString;
    if (raw.status == ReadStatus::Loaded) {
        result.text = parse(decode(raw.bytes));
        result.stamp = raw.stamp;
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
    const RawRead now = readRaw(path);
    if (now.status == ReadStatus::Missing)
        return false;
    if (now.status != ReadStatus::Loaded || loaded.size < 0)
        return true;
    // Sizes differ: changed, whatever the time says. Same size: only the
    // bytes can tell, since a sync tool or a coarse clock may keep the time.
    return now.stamp.size != loaded.size || now.stamp.hash != loaded.hash;
}

namespace {

// Writes the parts one after another, as one atomic replacement.
bool writeParts(const QString &path, std::initializer_list<QByteArray> parts,
                QString *errorString, SnippetFile::Stamp *written)
{
    const QFileInfo info(path);
    if (const QString reason = reasonNotToReplace(info); !reason.isEmpty()) {
        if (errorString)
            *errorString = reason;
        return false;
    }
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
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const bool complete = std::all_of(parts.begin(), parts.end(), put);
        if (complete && file.commit()) {
            if (written)
                *written = {size, QFileInfo(info.absoluteFilePath()).lastModified(), hash.result()};
            return true;
        }
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

} // namespace

bool write(const QString &path, const SnippetText &text, QString *errorString, Stamp *written)
{
    // Field by field, so a large body is not copied once more just to
    // prepend its synopsis.
    return writeParts(path,
                      {markFor(text.synopsis), text.synopsis.toUtf8(),
                       lineBreakAfter(text.synopsis), text.body.toUtf8()},
                      errorString, written);
}

bool writeText(const QString &path, const QString &text, QString *errorString)
{
    return writeParts(path, {markFor(text), text.toUtf8()}, errorString, nullptr);
}

} // namespace SnippetFile
