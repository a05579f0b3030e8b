#include "library/libraryedits.h"

#include "library/librarypaths.h"
#include "library/platform.h"
#include "library/snippetfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace LibraryEdits {

namespace {

bool isTaken(const QFileInfo &info)
{
    return info.exists() || info.isSymLink();
}

} // namespace

bool exists(const QString &path)
{
    return isTaken(QFileInfo(path));
}

bool createDirectory(const QString &path)
{
    const QFileInfo info(path);
    return !isTaken(info) && QDir().mkpath(info.absoluteFilePath());
}

bool createEmptyFile(const QString &path)
{
    const QFileInfo info(path);
    if (isTaken(info))
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

Removal removeToTrash(const QString &path)
{
    const QFileInfo info(path);
    // A folder named like the snippet may stand where its file was.
    if (info.isDir() || !isTaken(info))
        return Removal::Failed;
    if (Platform::moveToTrash(path))
        return Removal::Trashed;
    // No trash, or a broken one (no room for its record, a file where one
    // of its folders belongs): deleting is what the user asked for anyway.
    return QFile::remove(path) ? Removal::Deleted : Removal::Failed;
}

bool removeFile(const QString &path)
{
    return removeToTrash(path) != Removal::Failed;
}

bool rename(const QString &parentPath, const QString &oldName, const QString &newName)
{
    QDir parent(parentPath);
    // A separator in the new name would move the entry into another folder,
    // perhaps through a link out of the library.
    if (newName.contains(QLatin1Char('/')) || newName.contains(QDir::separator()))
        return false;
    // QDir::rename refuses an existing target on its own; asking first also
    // covers platforms whose rename would silently replace it.
    return !isTaken(QFileInfo(parent.filePath(newName))) && parent.rename(oldName, newName);
}

Renamed renameFolder(const QString &parentPath, const QString &oldName, const QString &newName)
{
    const QString target = parentPath + QDir::separator() + newName;
    if (exists(target))
        return Renamed::Exists;
    if (!oldName.isEmpty() && QDir(parentPath).exists(oldName))
        return rename(parentPath, oldName, newName) ? Renamed::Moved : Renamed::Failed;
    return createDirectory(target) ? Renamed::Created : Renamed::Failed;
}

Renamed renameSnippet(const QString &categoryPath, const QString &oldName, const QString &newName)
{
    const QString target = LibraryPaths::snippetFilePath(categoryPath, newName);
    if (exists(target))
        return Renamed::Exists;
    // With no snippet listed the old name is empty, and its file, should a
    // hidden ".spt" exist, is renamed like any other.
    const QFileInfo old(LibraryPaths::snippetFilePath(categoryPath, oldName));
    if (!old.isDir() && isTaken(old)) {
        // "Notes.SPT" becomes "Memo.SPT".
        const QString suffix = old.fileName().right(LibraryPaths::snippetSuffix.size());
        return rename(categoryPath, old.fileName(), newName + suffix) ? Renamed::Moved
                                                                      : Renamed::Failed;
    }
    return createEmptyFile(target) ? Renamed::Created : Renamed::Failed;
}

bool addSnippet(const QString &path, const SnippetText &text, QString *errorString)
{
    const QString categoryPath = QFileInfo(path).absolutePath();
    // Folders this add creates, deepest first, so that a failure can take
    // them away again and leave the disk as it was.
    QStringList created;
    for (QString folder = categoryPath; !QFileInfo::exists(folder);
         folder = QFileInfo(folder).absolutePath())
        created.append(folder);
    const auto undo = [&created](const QString &file) {
        if (!file.isEmpty())
            QFile::remove(file);
        for (const QString &folder : std::as_const(created))
            QDir().rmdir(folder);
    };
    if (!created.isEmpty() && !QDir().mkpath(categoryPath)) {
        undo(QString());
        *errorString = QStringLiteral("the folder could not be created");
        return false;
    }
    // Claiming the name first means a snippet that appears meanwhile is
    // never replaced: the atomic write below only ever replaces this file.
    QFile claim(path);
    if (!claim.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *errorString = claim.errorString();
        undo(QString());
        return false;
    }
    claim.close();
    if (!SnippetFile::write(path, text, errorString)) {
        undo(path);
        *errorString += QStringLiteral("; nothing was added");
        return false;
    }
    return true;
}

} // namespace LibraryEdits
