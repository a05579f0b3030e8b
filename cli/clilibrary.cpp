#include "cli/clilibrary.h"

#include "library/librarylisting.h"
#include "library/librarypaths.h"
#include "library/snippetfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
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

// What the window's listing finds, "*.spt" in any letter case among the
// regular files and links to them that are not hidden, read straight from
// the folder: QDirIterator's per-entry work costs more than a whole find
// spends on reading the files.
QStringList snippetFileNames(int folder)
{
    QStringList names;
    DIR *dir = ::fdopendir(::dup(folder));
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        const size_t length = std::strlen(name);
        if (name[0] == '.' || length < 4 || ::strcasecmp(name + length - 4, ".spt") != 0)
            continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info;
            regular = ::fstatat(folder, name, &info, 0) == 0 && S_ISREG(info.st_mode);
        }
        if (regular)
            names.append(QFile::decodeName(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}
#endif

// The window shows every listed file under its name without the suffix, and
// reads for that name the file LibraryPaths::snippetFilePath picks.
QList<SnippetEntry> entriesFor(const QString &categoryPath, const QStringList &files)
{
    QList<SnippetEntry> entries;
    entries.reserve(files.size());
    QStringList unlistedReads;
    for (const QString &file : files) {
        const QString name = file.chopped(snippetSuffix.size());
        // A listed "<name>.spt" is the file the window would pick; asking the
        // disk about other spellings is left to the rare names that need it.
        const QString exact = name + snippetSuffix;
        if (std::binary_search(files.begin(), files.end(), exact)) {
            entries.append({name, exact, categoryPath + QDir::separator() + exact, true,
                            file != exact});
            continue;
        }
        const QString path = LibraryPaths::snippetFilePath(categoryPath, name);
        const QString fileName = QFileInfo(path).fileName();
        const bool listed = std::binary_search(files.begin(), files.end(), fileName);
        const bool repeated = listed ? file != fileName : unlistedReads.contains(fileName);
        if (!listed)
            unlistedReads.append(fileName);
        entries.append({name, fileName, path, listed, repeated});
    }
    return entries;
}

} // namespace

QStringList folderNames(const QString &path)
{
    QStringList names = sortedNames(path, {}, QDir::AllDirs | QDir::NoDotAndDotDot);
    if (names.removeAll(LibraryListing::defaultEntry) > 0)
        names.prepend(LibraryListing::defaultEntry);
    return names;
}

QString folderProblem(const QString &path)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return QString();
    }
    return errno == ENOENT ? QString() : errnoText(errno);
#else
    const QFileInfo info(path);
    return !info.exists() || info.isReadable() ? QString() : QStringLiteral("cannot be read");
#endif
}

QList<SnippetEntry> snippets(const QString &categoryPath)
{
    return CategoryFolder(categoryPath).snippets();
}

QString refusalToRead(bool isRegularFile, qint64 size)
{
    // The window's limit: what it will not load is no snippet here either.
    if (!isRegularFile)
        return QStringLiteral("not a regular file");
    if (size > SnippetFile::maximumSize)
        return QStringLiteral("larger than %1 MiB").arg(SnippetFile::maximumSize / (1024 * 1024));
    return QString();
}

#ifdef Q_OS_UNIX
namespace {

FileRead failure(int error)
{
    return {error == ENOENT ? FileRead::Missing : FileRead::Failed, {}, errnoText(error)};
}

// `name` relative to `folder` (AT_FDCWD: the working directory). The check
// before opening can be left out when a listing has just seen a regular file.
FileRead readAt(int folder, const QByteArray &name, bool checkFirst)
{
    struct stat info;
    if (checkFirst) {
        if (::fstatat(folder, name.constData(), &info, 0) != 0)
            return failure(errno);
        const QString refusal = refusalToRead(S_ISREG(info.st_mode), info.st_size);
        if (!refusal.isEmpty())
            return {FileRead::Refused, {}, refusal};
    }

    // Non-blocking and checked again on the open descriptor, in case a FIFO
    // took the file's place since the check.
    const int fd = ::openat(folder, name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return failure(errno);
    FileRead result{FileRead::Read, {}, {}};
    if (::fstat(fd, &info) != 0) {
        result = failure(errno);
    } else if (const QString refusal = refusalToRead(S_ISREG(info.st_mode), info.st_size);
               !refusal.isEmpty()) {
        result = {FileRead::Refused, {}, refusal};
    } else {
        // The size is known, so one read takes the whole file; a file that
        // grows meanwhile is read as it was when opened.
        result.bytes.resize(info.st_size);
        qsizetype done = 0;
        int error = 0;
        while (done < result.bytes.size()) {
            const ssize_t got = ::read(fd, result.bytes.data() + done, result.bytes.size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                error = errno;
            if (got <= 0)
                break;
            done += got;
        }
        if (error != 0)
            result = failure(error);
        else
            result.bytes.truncate(done);
    }
    ::close(fd);
    return result;
}

} // namespace
#endif

FileRead readSnippetFile(const QString &path)
{
#ifdef Q_OS_UNIX
    return readAt(AT_FDCWD, QFile::encodeName(path), true);
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

CategoryFolder::CategoryFolder(const QString &path)
{
#ifdef Q_OS_UNIX
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fd >= 0)
        m_snippets = entriesFor(path, snippetFileNames(m_fd));
    else if (errno != ENOENT)
        m_problem = errnoText(errno);
#else
    m_problem = folderProblem(path);
    m_snippets = entriesFor(path, sortedNames(path, {QStringLiteral("*.spt")},
                                              QDir::Files | QDir::NoDotAndDotDot));
#endif
}

CategoryFolder::~CategoryFolder()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

FileRead CategoryFolder::read(const SnippetEntry &entry) const
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        return readAt(m_fd, QFile::encodeName(entry.fileName), !entry.listedAsFile);
#endif
    return readSnippetFile(entry.path);
}

} // namespace CliLibrary
