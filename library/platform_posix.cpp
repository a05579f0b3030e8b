#include "library/platform.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QString homeFromUserDatabase()
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd *found = nullptr;
    while (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE
           && buffer.size() < 1024 * 1024)
        buffer.resize(buffer.size() * 2);
    return found && found->pw_dir ? QFile::decodeName(found->pw_dir) : QString();
}

// What QStandardPaths answers for Documents when HOME is `home`: the last
// XDG_DOCUMENTS_DIR line of user-dirs.dirs, else "Documents" in the home.
QString documentsBelow(const QString &home)
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = home + QStringLiteral("/.config");
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    QString documents;
    if (dirs.open(QIODevice::ReadOnly | QIODevice::Text)) {
        const QLatin1String key("XDG_DOCUMENTS_DIR=");
        while (!dirs.atEnd()) {
            QString line = QString::fromUtf8(dirs.readLine());
            if (line.endsWith(QLatin1Char('\n')))
                line.chop(1);
            if (!line.startsWith(key))
                continue;
            QString value = line.mid(key.size());
            if (value.size() > 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
                value = value.mid(1, value.size() - 2);
            if (value.startsWith(QLatin1String("$HOME")))
                value = home + value.mid(5);
            if (value.size() > 1 && value.endsWith(QLatin1Char('/')))
                value.chop(1);
            documents = value;
        }
    }
    return documents.isNull() ? home + QStringLiteral("/Documents") : documents;
}

QDateTime modifiedTime(const struct stat &info)
{
    // In UTC: the same instant, without a look-up of the local time zone's
    // rules, which cost a third of a terminal find per file.
    return QDateTime::fromMSecsSinceEpoch(qint64(info.st_mtim.tv_sec) * 1000
                                              + info.st_mtim.tv_nsec / 1000000,
                                          Qt::UTC);
}

Platform::FileRead failure(int error)
{
    return {error == ENOENT || error == ENOTDIR ? Platform::FileRead::Missing
                                                : Platform::FileRead::Failed,
            {}, 0, {}, qt_error_string(error)};
}

Platform::FileRead refusal(const struct stat &info)
{
    return {S_ISREG(info.st_mode) ? Platform::FileRead::TooLarge : Platform::FileRead::NotRegular,
            {}, qint64(info.st_size), {}, {}};
}

} // namespace

namespace Platform {

QString homePath()
{
    if (qEnvironmentVariableIsEmpty("HOME")) {
        const QString home = homeFromUserDatabase();
        if (!home.isEmpty())
            return home;
    }
    return QDir::homePath();
}

QString documentsLocation()
{
    // Qt takes a missing HOME for "/" and would put the library in
    // "/Documents", out of the user's reach and shared with every account.
    if (qEnvironmentVariableIsEmpty("HOME")) {
        const QString home = homeFromUserDatabase();
        if (!home.isEmpty())
            return documentsBelow(home);
    }
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

bool isAbsoluteName(const QString &name)
{
    // QDir::isAbsolutePath would take a leading ':' for a Qt resource.
    return name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\'));
}

bool isHiddenFileName(const QString &fileName)
{
    return fileName.startsWith(QLatin1Char('.'));
}

bool isForbiddenFileName(const QString &)
{
    return false;
}

QString spellingOnDisk(const QString &path)
{
    return path;
}

bool removeEmptyFolder(const QString &path)
{
    return QDir().rmdir(path);
}

bool renameEntry(QDir &parent, const QString &oldName, const QString &newName)
{
    return parent.rename(oldName, newName);
}

FileIdentity identityOf(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return {quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size)};
}

OpenFolder::OpenFolder(const QString &path)
    : m_path(path)
    , m_handle(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    if (m_handle < 0 && errno != ENOENT)
        m_error = qt_error_string(errno);
}

OpenFolder::~OpenFolder()
{
    if (m_handle >= 0)
        ::close(int(m_handle));
}

bool OpenFolder::isOpen() const
{
    return m_handle >= 0;
}

QStringList OpenFolder::fileNamesEndingIn(const QString &suffix, QStringList *linksToOthers) const
{
    // Straight from the folder: QDirIterator's per-entry work costs more than
    // a whole find spends on reading the files.
    QStringList names;
    DIR *dir = m_handle >= 0 ? ::fdopendir(::dup(int(m_handle))) : nullptr;
    if (!dir) {
        if (m_handle >= 0)
            m_error = qt_error_string(errno);
        return names;
    }
    const QByteArray ending = QFile::encodeName(suffix);
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0)
                m_error = qt_error_string(errno);
            break;
        }
        const char *name = entry->d_name;
        const size_t length = std::strlen(name);
        if (name[0] == '.' || length < size_t(ending.size())
            || ::strcasecmp(name + length - ending.size(), ending.constData()) != 0)
            continue;
        bool regular = entry->d_type == DT_REG;
        bool linkToOther = false;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info;
            const bool there = ::fstatat(int(m_handle), name, &info, 0) == 0;
            regular = there && S_ISREG(info.st_mode);
            struct stat own;
            linkToOther = there && !regular && !S_ISDIR(info.st_mode)
                && (entry->d_type == DT_LNK
                    || (::fstatat(int(m_handle), name, &own, AT_SYMLINK_NOFOLLOW) == 0
                        && S_ISLNK(own.st_mode)));
        }
        if (!regular && !(linkToOther && linksToOthers))
            continue;
        const QString decoded = QFile::decodeName(name);
        if (QFile::encodeName(decoded) == QByteArrayView(name, qsizetype(length)))
            (regular ? names : *linksToOthers).append(decoded);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    if (linksToOthers)
        std::sort(linksToOthers->begin(), linksToOthers->end());
    return names;
}

FileRead readRegularFile(const OpenFolder *folder, const QString &name, qint64 limit,
                         bool knownRegular)
{
    const int at = folder && folder->isOpen() ? int(folder->handle()) : AT_FDCWD;
    const QByteArray path = QFile::encodeName(folder && !folder->isOpen()
                                                  ? folder->path() + QLatin1Char('/') + name
                                                  : name);
    struct stat info;
    if (!knownRegular) {
        if (::fstatat(at, path.constData(), &info, 0) != 0)
            return failure(errno);
        if (!S_ISREG(info.st_mode) || info.st_size > limit)
            return refusal(info);
    }

    // O_NONBLOCK: should a FIFO take the file's place after the check, the
    // open returns at once instead of waiting for a writer; the descriptor is
    // checked again before any read.
    const int fd = ::openat(at, path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return failure(errno);
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return failure(error);
    }
    if (!S_ISREG(info.st_mode) || info.st_size > limit) {
        ::close(fd);
        return refusal(info);
    }

    // One byte beyond the limit tells a file that grew since the fstat.
    FileRead result{FileRead::Read, QByteArray(), 0, modifiedTime(info), {}};
    result.bytes.resize(qsizetype(info.st_size) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == result.bytes.size()) {
            if (filled > limit) {
                ::close(fd);
                return {FileRead::TooLarge, {}, filled, {}, {}};
            }
            result.bytes.resize(qsizetype(std::min<qint64>(filled * 2 + 4096, limit + 1)));
        }
        const qsizetype wanted = result.bytes.size() - filled;
        const ssize_t got = ::read(fd, result.bytes.data() + filled, size_t(wanted));
        if (got == 0)
            break;
        // A regular file reads short only at its end: having got all the
        // bytes the fstat counted, one more call would only say so.
        if (got > 0 && got < wanted && filled + got == qsizetype(info.st_size)) {
            filled += got;
            break;
        }
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            return failure(error);
        }
        filled += got;
    }
    ::close(fd);
    result.bytes.truncate(filled);
    result.size = filled;
    return result;
}

} // namespace Platform

namespace Platform {

// inotify itself rather than QFileSystemWatcher: a folder's watch then also
// reports files written in place, which Qt's folder watch leaves out.
struct FolderWatch::Private
{
    std::function<void(const QString &)> changed;
    int fd = -1;
    QSocketNotifier *notifier = nullptr;
    QHash<int, QString> folders;
    QHash<QString, int> watches;

    void readEvents()
    {
        alignas(inotify_event) char buffer[16384];
        QList<QString> touched;
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got <= 0)
                break;
            for (ssize_t at = 0; at < got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                at += ssize_t(sizeof(inotify_event) + event->len);
                if (event->mask & IN_Q_OVERFLOW) {
                    touched.append(QString());
                    continue;
                }
                const QString folder = folders.value(event->wd);
                if (event->mask & IN_IGNORED) {
                    watches.remove(folder);
                    folders.remove(event->wd);
                }
                if (!folder.isNull() && !touched.contains(folder))
                    touched.append(folder);
            }
        }
        for (const QString &folder : std::as_const(touched))
            changed(folder);
    }
};

FolderWatch::FolderWatch(std::function<void(const QString &)> changed)
    : d(new Private)
{
    d->changed = std::move(changed);
    d->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (d->fd >= 0) {
        d->notifier = new QSocketNotifier(d->fd, QSocketNotifier::Read);
        QObject::connect(d->notifier, &QSocketNotifier::activated, [p = d.get()] { p->readEvents(); });
    }
}

FolderWatch::~FolderWatch()
{
    delete d->notifier;
    if (d->fd >= 0)
        ::close(d->fd);
}

bool FolderWatch::add(const QString &folder)
{
    if (d->fd < 0)
        return false;
    if (d->watches.contains(folder))
        return true;
    const int wd = ::inotify_add_watch(
        d->fd, QFile::encodeName(folder).constData(),
        IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB
            | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
    if (wd < 0)
        return false;
    d->folders.insert(wd, folder);
    d->watches.insert(folder, wd);
    return true;
}

void FolderWatch::remove(const QString &folder)
{
    const auto it = d->watches.constFind(folder);
    if (it == d->watches.constEnd())
        return;
    ::inotify_rm_watch(d->fd, it.value());
    d->folders.remove(it.value());
    d->watches.erase(it);
}

} // namespace Platform
