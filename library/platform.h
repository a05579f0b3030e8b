#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// What each operating system provides to the library. One implementation per
// platform (platform_posix.cpp, platform_win.cpp) is picked by CMake, so the
// shared library code never branches on the platform itself.
class QDir;

namespace Platform {

// The home folder. Without HOME, Qt takes "/" on POSIX systems; the user
// database knows better, as the rest of the desktop does.
QString homePath();
// Where Qt would put Documents for that home.
QString documentsLocation();

// A name that starts at a root or a drive instead of inside its folder.
bool isAbsoluteName(const QString &name);
// A file name the desktop hides from listings (a leading dot on POSIX).
bool isHiddenFileName(const QString &fileName);
// A file name the file system refuses or turns into something else
// (Windows: reserved characters, trailing dots or spaces, device names).
bool isForbiddenFileName(const QString &fileName);
// The path with the file name spelled as stored, where letter case does
// not tell names apart; elsewhere the path itself.
QString spellingOnDisk(const QString &path);

// Removes an empty folder, like QDir::rmdir.
bool removeEmptyFolder(const QString &path);
// Renames an entry inside `parent`, like QDir::rename.
bool renameEntry(QDir &parent, const QString &oldName, const QString &newName);

// To the desktop's trash or Recycle Bin; false when there is none or it
// refused. Returns promptly even when the trash folders are broken.
bool moveToTrash(const QString &path);

// Which file stands at a path right now. Another program that saves by
// writing a new file and renaming it over the old one leaves the name and
// perhaps the size alike, but never the identity.
struct FileIdentity
{
    quint64 device = 0;
    quint64 file = 0;
    qint64 size = -1; // -1: nothing there, or it could not be asked

    bool isValid() const { return size >= 0; }
    bool operator==(const FileIdentity &other) const
    {
        return isValid() && device == other.device && file == other.file && size == other.size;
    }
    bool operator!=(const FileIdentity &other) const { return !(*this == other); }
};

// The entry itself, never what a link points to.
FileIdentity identityOf(const QString &path);

// A folder held open while files in it are read, so that each is opened by
// its name alone instead of by a path the system must walk again.
class OpenFolder
{
public:
    explicit OpenFolder(const QString &path);
    ~OpenFolder();
    OpenFolder(const OpenFolder &) = delete;
    OpenFolder &operator=(const OpenFolder &) = delete;

    bool isOpen() const;
    const QString &path() const { return m_path; }
    // The regular files (or links to them) whose names end in `suffix` in
    // any letter case, hidden ones left out, sorted by character code. A
    // name that is not in the file system's encoding is left out too: it
    // could not be opened again by the name shown. Links to anything else
    // that is no folder (a device, a FIFO) go to `linksToOthers`, if given.
    QStringList fileNamesEndingIn(const QString &suffix,
                                  QStringList *linksToOthers = nullptr) const;
    qintptr handle() const { return m_handle; }
    // Why a folder that exists could not be opened or listed to its end;
    // empty when it could, or when there is nothing at the path.
    QString errorString() const { return m_error; }

private:
    QString m_path;
    qintptr m_handle = -1;
    mutable QString m_error;
};

struct FileRead
{
    enum Outcome { Read, Missing, NotRegular, TooLarge, Failed } outcome;
    QByteArray bytes;   // when Read
    qint64 size = 0;    // when Read or TooLarge
    QDateTime modified; // when Read
    QString errorString; // the system's words, when Missing or Failed
};

// Reads `name` in `folder` (or the path `name` when `folder` is null) if it is
// a regular file of at most `limit` bytes. Anything else is never opened, or,
// should it take the file's place after the check, closed before a single
// read: opening a FIFO would hang and a device may act on being opened. The
// check before opening is left out when `knownRegular` says a listing has
// just seen a regular file; the open descriptor is checked all the same.
FileRead readRegularFile(const OpenFolder *folder, const QString &name, qint64 limit,
                         bool knownRegular = false);

// Tells when the entries of a watched folder change: added, removed,
// renamed, or a file in it written. Reports on the thread that made it, with
// the folder's path as it was added; an empty path means events were lost
// and every folder must be looked at again, and perhaps the watch too: each
// folder is then added again. The first folder added must hold all later
// ones, so that one watch over its tree may serve them.
class FolderWatch
{
public:
    explicit FolderWatch(std::function<void(const QString &folder)> changed);
    ~FolderWatch();
    FolderWatch(const FolderWatch &) = delete;
    FolderWatch &operator=(const FolderWatch &) = delete;

    // False when the system refuses (a limit reached, a network drive).
    bool add(const QString &folder);
    void remove(const QString &folder);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Platform
