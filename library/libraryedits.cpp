#include "library/libraryedits.h"

#include "library/librarypaths.h"
#include "library/platform.h"
#include "library/snippetfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <functional>

namespace LibraryEdits {

using LibraryPaths::isTaken;

bool exists(const QString &path)
{
    return isTaken(path);
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

namespace {

// Claims the name, then has `write` fill the file; see addSnippet().
bool claimAndWrite(const QString &path, const std::function<bool(QString *)> &write,
                   QString *errorString)
{
    const QString categoryPath = QFileInfo(path).absolutePath();
    // Deepest first, so that a failure can take them away again.
    QStringList created;
    for (QString folder = categoryPath; !QFileInfo::exists(folder);
         folder = QFileInfo(folder).absolutePath())
        created.append(folder);
    const auto removeFolders = [&created] {
        for (const QString &folder : std::as_const(created))
            QDir().rmdir(folder);
    };
    const auto fail = [errorString](const QString &why) {
        if (errorString)
            *errorString = why;
        return false;
    };
    if (!created.isEmpty() && !QDir().mkpath(categoryPath)) {
        removeFolders();
        return fail(QCoreApplication::translate("LibraryEdits", "the folder could not be created"));
    }
    // Claimed first, a snippet that appears meanwhile is never replaced: the
    // atomic write below only ever replaces this file.
    QFile claim(path);
    if (!claim.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        removeFolders();
        return fail(claim.errorString());
    }
    const Platform::FileIdentity claimed = Platform::identityOf(path);
    claim.close();
    QString error;
    if (write(&error))
        return true;

    // Another program may have saved a snippet of its own here since.
    if (claimed.isValid() && Platform::identityOf(path) == claimed && QFile::remove(path)) {
        removeFolders();
        return fail(error + QCoreApplication::translate("LibraryEdits", "; nothing was added"));
    }
    return fail(error + QCoreApplication::translate(
                    "LibraryEdits", "; the file there is left as it is: it is no longer the "
                                    "empty file this add created"));
}

} // namespace

bool addSnippet(const QString &path, const QString &text, QString *errorString, bool mark)
{
    return claimAndWrite(
        path, [&](QString *error) { return SnippetFile::writeText(path, text, error, mark); },
        errorString);
}

bool restoreSnippet(const QString &path, const QByteArray &bytes, QString *errorString)
{
    return claimAndWrite(
        path, [&](QString *error) { return SnippetFile::writeBytes(path, bytes, error); },
        errorString);
}

TreeRemoval removeEmptyTree(const QString &path, const QString &stopAt)
{
    const QFileInfo target(path);
    if (!target.isDir() || target.isSymLink())
        return TreeRemoval::Failed;

    QStringList folders;
    QDirIterator it(target.absoluteFilePath(),
                    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry = it.nextFileInfo();
        if (entry.isSymLink() || !entry.isDir())
            return TreeRemoval::HoldsFiles;
        folders.append(entry.absoluteFilePath());
    }

    // Deepest first: a sub-folder's path is always longer than its parent's.
    std::sort(folders.begin(), folders.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (const QString &folder : folders)
        Platform::removeEmptyFolder(folder);
    if (!Platform::removeEmptyFolder(target.absoluteFilePath()))
        return TreeRemoval::Failed;

    const QString boundary = QDir::cleanPath(QFileInfo(stopAt).absoluteFilePath());
    QString parent = QDir::cleanPath(target.absolutePath());
    while (parent.startsWith(boundary + QLatin1Char('/')) && Platform::removeEmptyFolder(parent))
        parent = QFileInfo(parent).absolutePath();
    return TreeRemoval::Removed;
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
    return !isTaken(LibraryPaths::entryPath(parentPath, newName))
        && Platform::renameEntry(parent, oldName, newName);
}

Renamed renameFolder(const QString &parentPath, const QString &oldName, const QString &newName)
{
    const QString target = LibraryPaths::entryPath(parentPath, newName);
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

} // namespace LibraryEdits
