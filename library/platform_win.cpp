#include "library/platform.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QSet>
#include <QThread>
#include <QWinEventNotifier>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include <windows.h>
#include <shellapi.h>

namespace {

// Qt reaches the Recycle Bin through IFileOperation, which not every system
// offers (Wine has none); the older shell call reaches the same bin.
bool moveToRecycleBin(const QString &path)
{
    std::wstring from = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()).toStdWString();
    from.push_back(L'\0'); // a list of one, ended by two NULs
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_ALLOWUNDO | FOF_NO_UI;
    return SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted
        && !QFileInfo::exists(path);
}

} // namespace

namespace Platform {

QString homePath()
{
    return QDir::homePath();
}

QString documentsLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

bool isAbsoluteName(const QString &name)
{
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\')))
        return true;
    // "C:" names a folder on another drive, with or without a separator.
    return name.size() >= 2 && name.at(1) == QLatin1Char(':') && name.at(0).isLetter();
}

bool isHiddenFileName(const QString &)
{
    return false;
}

bool isForbiddenFileName(const QString &fileName)
{
    for (const QChar c : fileName) {
        if (c.unicode() < 0x20 || QStringView(u"<>:\"|?*").contains(c))
            return true;
    }
    if (fileName.endsWith(QLatin1Char('.')) || fileName.endsWith(QLatin1Char(' ')))
        return true;
    // Device names stay devices whatever extension follows: "con.spt" too.
    const QString stem = fileName.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    for (const char *device : {"CON", "PRN", "AUX", "NUL"}) {
        if (stem == QLatin1String(device))
            return true;
    }
    return stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))
        && stem.at(3) >= QLatin1Char('1') && stem.at(3) <= QLatin1Char('9');
}

QString spellingOnDisk(const QString &path)
{
    // Letter case does not tell names apart here, so any spelling finds the
    // file; the spelling on disk is the one whose extension a rename keeps.
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), &found);
    if (search == INVALID_HANDLE_VALUE)
        return path;
    FindClose(search);
    return QFileInfo(path).path() + QDir::separator() + QString::fromWCharArray(found.cFileName);
}

bool removeEmptyFolder(const QString &path)
{
    // As for a rename below: only an empty folder is worth another try.
    for (int attempt = 1;; ++attempt) {
        if (QDir().rmdir(path))
            return true;
        if (attempt == 8 || !QDir(path).isEmpty())
            return false;
        QThread::msleep(25);
    }
}

bool renameEntry(QDir &parent, const QString &oldName, const QString &newName)
{
    // Windows refuses to move a folder while anything holds a handle inside
    // it, if only for a moment: the library's own reader on its thread, an
    // indexer, a virus scanner. A few short tries ride that out.
    for (int attempt = 1;; ++attempt) {
        if (parent.rename(oldName, newName))
            return true;
        if (attempt == 8 || !parent.exists(oldName) || parent.exists(newName))
            return false;
        QThread::msleep(25);
    }
}

bool moveToTrash(const QString &path)
{
    return QFile::moveToTrash(path) || moveToRecycleBin(path);
}

// Windows opens files by path in any case; the folder is only remembered.
FileIdentity identityOf(const QString &path)
{
    // No access asked and every sharing mode allowed: asking must not stand
    // in the way of another program that opens, renames or deletes the file.
    const HANDLE handle = CreateFileW(
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), 0,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!known)
        return {};
    return {quint64(info.dwVolumeSerialNumber),
            (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
            (qint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow};
}

OpenFolder::OpenFolder(const QString &path)
    : m_path(path)
{
    // Not held open here; a folder that exists and cannot be listed still
    // says so.
    const QFileInfo info(path);
    if (info.isDir() && !info.isReadable())
        m_error = QStringLiteral("Permission denied");
}

OpenFolder::~OpenFolder() = default;

bool OpenFolder::isOpen() const
{
    return false;
}

QStringList OpenFolder::fileNamesEndingIn(const QString &suffix, QStringList *) const
{
    // No name filter: Qt matches one with a regular expression whose JIT
    // stack is a thread_local, which MinGW may free twice as a worker ends.
    QStringList names;
    // Compared, not name-filtered: Qt matches a filter with a regular
    // expression, and a search thread must not end owning its thread-local
    // state (see app/startup_win.cpp).
    QDirIterator it(m_path, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        if (it.fileName().endsWith(suffix, Qt::CaseInsensitive))
            names.append(it.fileName());
    }
    std::sort(names.begin(), names.end());
    return names;
}

FileRead readRegularFile(const OpenFolder *folder, const QString &name, qint64 limit, bool)
{
    const QString path = folder ? folder->path() + QDir::separator() + name : name;
    const QFileInfo info(path);
    if (!info.exists())
        return {FileRead::Missing, {}, 0, {}, QStringLiteral("No such file or directory")};
    if (!info.isFile())
        return {FileRead::NotRegular, {}, 0, {}, {}};
    if (info.size() > limit)
        return {FileRead::TooLarge, {}, info.size(), {}, {}};
    // Shared for deletion too: a save replaces the file by a rename, which
    // Windows refuses while anyone holds the file open without that sharing,
    // and a read on another thread (the live picture) must never fail a save.
    const HANDLE handle = CreateFileW(
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {FileRead::Failed, {}, 0, {}, qt_error_string(int(GetLastError()))};
    const auto failed = [handle] {
        const QString why = qt_error_string(int(GetLastError()));
        CloseHandle(handle);
        return FileRead{FileRead::Failed, {}, 0, {}, why};
    };
    FILETIME written;
    if (!GetFileTime(handle, nullptr, nullptr, &written))
        return failed();
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        DWORD count = 0;
        if (!ReadFile(handle, buffer, DWORD(sizeof buffer), &count, nullptr))
            return failed();
        if (count == 0)
            break;
        bytes.append(buffer, qsizetype(count));
        if (bytes.size() > limit) {
            CloseHandle(handle);
            return {FileRead::TooLarge, {}, bytes.size(), {}, {}};
        }
    }
    CloseHandle(handle);
    // 100-nanosecond steps since 1601, in UTC.
    const quint64 ticks = (quint64(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    const qint64 msecs = qint64(ticks / 10000) - Q_INT64_C(11644473600000);
    FileRead result{FileRead::Read, bytes, 0, QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC), {}};
    result.size = result.bytes.size();
    return result;
}

} // namespace Platform

namespace Platform {

// One watch over the library's whole tree, opened on the first folder added:
// a notification per folder would hold a handle on each, and Windows then
// refuses to remove the folder above it (a language whose categories are
// watched), for the user and for every other program alike. The root itself
// is held open with every sharing mode, which blocks nothing below it.
//
// Wine builds its tree watch from inotify, one folder at a time: a folder
// below the root is covered only once it is created or opened after the watch
// began, and one renamed keeps reporting under its old name until the watch
// is made again. Both are seen to there, and nowhere else.
struct FolderWatch::Private
{
    static constexpr DWORD bufferBytes = 64 * 1024; // more is refused over a network

    std::function<void(const QString &)> changed;
    QString root;
    QSet<QString> inside; // added since the root: its watch serves them
    HANDLE folder = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED overlapped = {};
    std::vector<DWORD> buffer = std::vector<DWORD>(bufferBytes / sizeof(DWORD)); // aligned as asked
    QWinEventNotifier *notifier = nullptr;
    bool pending = false;
    const bool onWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;

    bool isInside(const QString &path) const
    {
        const QString prefix = QDir::fromNativeSeparators(root) + QLatin1Char('/');
        return QDir::fromNativeSeparators(path).startsWith(prefix, Qt::CaseInsensitive);
    }

    static void touch(const QString &path)
    {
        const HANDLE handle = CreateFileW(
            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()), 0,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }

    void touchInside() const
    {
        // Parents first: Wine covers a folder only below one it covers.
        QStringList folders(inside.begin(), inside.end());
        std::sort(folders.begin(), folders.end(),
                  [](const QString &a, const QString &b) { return a.size() < b.size(); });
        for (const QString &path : std::as_const(folders))
            touch(path);
    }

    bool issue()
    {
        ResetEvent(event);
        overlapped = {};
        overlapped.hEvent = event;
        pending = ReadDirectoryChangesW(folder, buffer.data(), bufferBytes, TRUE,
                                        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME
                                            | FILE_NOTIFY_CHANGE_LAST_WRITE
                                            | FILE_NOTIFY_CHANGE_SIZE,
                                        nullptr, &overlapped, nullptr);
        return pending;
    }

    bool start()
    {
        folder = CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(root).utf16()),
                             FILE_LIST_DIRECTORY,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED,
                             nullptr);
        if (folder == INVALID_HANDLE_VALUE)
            return false;
        if (!issue()) {
            stop();
            return false;
        }
        notifier->setEnabled(true);
        if (onWine)
            touchInside();
        return true;
    }

    void stop()
    {
        notifier->setEnabled(false);
        if (folder == INVALID_HANDLE_VALUE)
            return;
        if (pending) {
            // The system writes into the buffer until the read has ended.
            CancelIoEx(folder, &overlapped);
            DWORD bytes = 0;
            GetOverlappedResult(folder, &overlapped, &bytes, TRUE);
            pending = false;
        }
        CloseHandle(folder);
        folder = INVALID_HANDLE_VALUE;
    }

    // Each folder whose entries changed, once; an empty path when some went
    // unreported. `folderRenamed`, when given, tells of a folder renamed.
    QStringList touchedFolders(DWORD bytes, bool *folderRenamed) const
    {
        QStringList touched;
        const auto *bytesAt = reinterpret_cast<const char *>(buffer.data());
        const DWORD nameAt = DWORD(offsetof(FILE_NOTIFY_INFORMATION, FileName));
        for (DWORD at = 0; at + nameAt <= bytes;) {
            const auto *info = reinterpret_cast<const FILE_NOTIFY_INFORMATION *>(bytesAt + at);
            if (at + nameAt + info->FileNameLength > bytes) {
                touched.append(QString()); // cut short: trust none of the rest
                break;
            }
            const QString name = QString::fromWCharArray(info->FileName,
                                                         qsizetype(info->FileNameLength / sizeof(WCHAR)));
            const qsizetype cut = name.lastIndexOf(QLatin1Char('\\'));
            // Joined as the library joins its paths, so that it knows them.
            const QString parent = cut < 0 ? root : root + QDir::separator() + name.left(cut);
            if (!touched.contains(parent))
                touched.append(parent);
            if (folderRenamed && info->Action == FILE_ACTION_RENAMED_NEW_NAME) {
                const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t *>(
                    QDir::toNativeSeparators(root + QDir::separator() + name).utf16()));
                if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                    *folderRenamed = true;
            }
            if (info->NextEntryOffset == 0)
                break;
            at += info->NextEntryOffset;
        }
        return touched;
    }

    void completed()
    {
        if (folder == INVALID_HANDLE_VALUE || !pending)
            return;
        DWORD bytes = 0;
        if (!GetOverlappedResult(folder, &overlapped, &bytes, FALSE)
            && GetLastError() == ERROR_IO_INCOMPLETE)
            return;
        pending = false;
        // Nothing read: the system's own buffer overflowed, or the read
        // failed; either way no one knows what changed. Only Wine needs the
        // watch made again after a folder rename, so only Wine asks the disk.
        bool renew = false;
        const QStringList touched = bytes == 0 ? QStringList{QString()}
                                               : touchedFolders(bytes, onWine ? &renew : nullptr);
        if (renew)
            stop();
        const bool watching = renew ? start() : issue();
        if (!watching)
            stop(); // lost; adding the root again tries anew
        for (const QString &path : touched)
            changed(path);
        // Changes while no read was pending went unreported.
        if ((renew || !watching) && !touched.contains(QString()))
            changed(QString());
    }
};

FolderWatch::FolderWatch(std::function<void(const QString &)> changed)
    : d(new Private)
{
    d->changed = std::move(changed);
    d->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    d->notifier = new QWinEventNotifier(d->event);
    d->notifier->setEnabled(false);
    QObject::connect(d->notifier, &QWinEventNotifier::activated, [p = d.get()] { p->completed(); });
}

FolderWatch::~FolderWatch()
{
    d->stop();
    delete d->notifier;
    if (d->event)
        CloseHandle(d->event);
}

bool FolderWatch::add(const QString &folder)
{
    if (!d->event)
        return false;
    if (d->root.isEmpty())
        d->root = folder;
    if (folder.compare(d->root, Qt::CaseInsensitive) == 0)
        return d->folder != INVALID_HANDLE_VALUE || d->start();
    if (d->folder == INVALID_HANDLE_VALUE || !d->isInside(folder))
        return false;
    d->inside.insert(folder);
    if (d->onWine)
        Private::touch(folder);
    return true;
}

void FolderWatch::remove(const QString &folder)
{
    if (folder.compare(d->root, Qt::CaseInsensitive) == 0)
        d->stop();
    d->inside.remove(folder);
}

} // namespace Platform
