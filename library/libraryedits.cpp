#include "library/libraryedits.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>

#ifdef Q_OS_WIN
#  include <string>
#  include <windows.h>
#  include <shellapi.h>
#endif

namespace {

#ifdef Q_OS_WIN
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
#endif

bool moveToTrash(const QString &path)
{
    if (QFile::moveToTrash(path))
        return true;
#ifdef Q_OS_WIN
    return moveToRecycleBin(path);
#else
    return false;
#endif
}

} // namespace

namespace LibraryEdits {

bool createDirectory(const QString &path)
{
    const QFileInfo info(path);
    return !info.exists() && QDir().mkpath(info.absoluteFilePath());
}

bool createEmptyFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        return false;
    QDir().mkpath(info.absolutePath());
    // NewOnly: should the file appear in the meantime, it is not truncated.
    QFile file(info.absoluteFilePath());
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
}

bool removeEmptyTree(const QString &path, const QString &stopAt)
{
    const QFileInfo target(path);
    if (!target.isDir() || target.isSymLink())
        return false;

    QStringList folders;
    QDirIterator it(target.absoluteFilePath(),
                    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry = it.nextFileInfo();
        if (entry.isSymLink() || !entry.isDir())
            return false;
        folders.append(entry.absoluteFilePath());
    }

    // Deepest first: a sub-folder's path is always longer than its parent's.
    std::sort(folders.begin(), folders.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    QDir fs;
    for (const QString &folder : folders)
        fs.rmdir(folder);
    if (!fs.rmdir(target.absoluteFilePath()))
        return false;

    const QString boundary = QDir::cleanPath(QFileInfo(stopAt).absoluteFilePath());
    QString parent = QDir::cleanPath(target.absolutePath());
    while (parent.startsWith(boundary + QLatin1Char('/')) && fs.rmdir(parent))
        parent = QFileInfo(parent).absolutePath();
    return true;
}

bool removeFile(const QString &path)
{
    // A folder named like the snippet may stand where its file was.
    if (QFileInfo(path).isDir())
        return false;
    // Qt 6.4 cannot set up the home trash when the user's data folder is
    // missing, and then moves the file into "files/" under the current
    // working directory while reporting success.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return moveToTrash(path) || QFile::remove(path);
}

bool rename(const QString &parentPath, const QString &oldName, const QString &newName)
{
    QDir parent(parentPath);
    // QDir::rename refuses an existing target on its own; asking first also
    // covers platforms whose rename would silently replace it.
    return !parent.exists(newName) && parent.rename(oldName, newName);
}

} // namespace LibraryEdits
