#include "cli/clilibrary.h"

#include "library/librarylisting.h"
#include "library/librarypaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace CliLibrary {

namespace {

const QLatin1String snippetSuffix(".spt");

// The window's listing without its side effect: a missing folder lists as
// nothing instead of being created.
QStringList sortedNames(const QString &path, const QStringList &nameFilters,
                        QDir::Filters filters)
{
    QStringList names;
    QDirIterator it(path, nameFilters, filters);
    while (it.hasNext()) {
        it.next();
        names.append(it.fileName());
    }
    std::sort(names.begin(), names.end());
    return names;
}

#ifdef Q_OS_UNIX
QString errnoText(int error)
{
    return QString::fromLocal8Bit(strerror(error));
}
#endif

} // namespace

QStringList folderNames(const QString &path)
{
    QStringList names = sortedNames(path, {}, QDir::AllDirs | QDir::NoDotAndDotDot);
    if (names.removeAll(LibraryListing::defaultEntry) > 0)
        names.prepend(LibraryListing::defaultEntry);
    return names;
}

QList<SnippetEntry> snippets(const QString &categoryPath)
{
    const QStringList files = sortedNames(categoryPath, {QStringLiteral("*.spt")},
                                          QDir::Files | QDir::NoDotAndDotDot);
    QList<SnippetEntry> entries;
    entries.reserve(files.size());
    for (const QString &file : files) {
        const QString name = file.chopped(snippetSuffix.size());
        // A listed "<name>.spt" is the file the window would pick; asking the
        // disk about other spellings is left to the rare names that need it.
        const QString exact = name + snippetSuffix;
        const bool listed = std::binary_search(files.begin(), files.end(), exact);
        entries.append({name, listed ? categoryPath + QDir::separator() + exact
                                     : LibraryPaths::snippetFilePath(categoryPath, name)});
    }
    return entries;
}

bool isAcceptedName(const QString &name)
{
    return LibraryPaths::isNameInsideLibrary(name);
}

QString refusalToRead(bool isRegularFile, qint64 size)
{
    // Far beyond any snippet; reading it would only fill the memory.
    constexpr qint64 largestSnippet = 64 * 1024 * 1024;
    if (!isRegularFile)
        return QStringLiteral("not a regular file");
    if (size > largestSnippet)
        return QStringLiteral("larger than 64 MiB");
    return QString();
}

FileRead readSnippetFile(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat before;
    if (::stat(name.constData(), &before) != 0) {
        const int error = errno;
        return {error == ENOENT ? FileRead::Missing : FileRead::Failed, {}, errnoText(error)};
    }
    QString refusal = refusalToRead(S_ISREG(before.st_mode), before.st_size);
    if (!refusal.isEmpty())
        return {FileRead::Refused, {}, refusal};

    // Non-blocking and checked again on the open descriptor, in case a FIFO
    // took the file's place since the check.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {FileRead::Failed, {}, errnoText(errno)};
    FileRead result{FileRead::Read, {}, {}};
    struct stat opened;
    if (::fstat(fd, &opened) != 0) {
        result = {FileRead::Failed, {}, errnoText(errno)};
    } else if (refusal = refusalToRead(S_ISREG(opened.st_mode), opened.st_size);
               !refusal.isEmpty()) {
        result = {FileRead::Refused, {}, refusal};
    } else {
        // One read for the whole file; a file that grew meanwhile is read as
        // it was when opened.
        result.bytes.resize(opened.st_size);
        qsizetype done = 0;
        while (done < result.bytes.size()) {
            const ssize_t got = ::read(fd, result.bytes.data() + done, result.bytes.size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                result = {FileRead::Failed, {}, errnoText(errno)};
                break;
            }
            if (got == 0)
                break;
            done += got;
        }
        if (result.status == FileRead::Read)
            result.bytes.truncate(done);
    }
    ::close(fd);
    return result;
#else
    const QFileInfo info(path);
    if (!info.exists())
        return {FileRead::Missing, {}, QStringLiteral("no such file")};
    const QString refusal = refusalToRead(info.isFile(), info.size());
    if (!refusal.isEmpty())
        return {FileRead::Refused, {}, refusal};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {FileRead::Failed, {}, file.errorString()};
    return {FileRead::Read, file.readAll(), {}};
#endif
}

} // namespace CliLibrary
