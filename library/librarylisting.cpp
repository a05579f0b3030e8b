#include "library/librarylisting.h"

#include "library/librarypaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace LibraryListing {

const QString defaultEntry = QStringLiteral("Default");

namespace {

QDir existingDirectory(const QString &path)
{
    QDir directory(path);
    if (!directory.exists())
        directory.mkpath(directory.absolutePath());
    return directory;
}

// What QDir::entryList gives with QDir::Name, for a fraction of the cost: its
// sort builds a record per entry that costs as much as reading the folder,
// half of every listing of 10,000 snippets. Names within one folder are
// unique, so a plain sort by character code gives the same order.
QStringList sortedNames(const QDir &directory, QDir::Filters filters)
{
    QStringList names;
    QDirIterator it(directory.path(), filters);
    while (it.hasNext()) {
        it.next();
        names.append(it.fileName());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

QStringList snippetFileNames(const Platform::OpenFolder &folder, QStringList *regular)
{
    QStringList others;
    QStringList files = folder.fileNamesEndingIn(LibraryPaths::snippetSuffix, &others);
    if (regular)
        *regular = files;
    if (!others.isEmpty()) {
        files += others;
        std::sort(files.begin(), files.end());
    }
    return files;
}

QStringList entryNames(const QString &directoryPath)
{
    QStringList names = sortedNames(existingDirectory(directoryPath),
                                    QDir::AllDirs | QDir::NoDotAndDotDot);
    names.removeAll(defaultEntry);
    names.prepend(defaultEntry);
    return names;
}

QStringList snippetNames(const QString &categoryPath)
{
    existingDirectory(categoryPath);
    // The same listing as the search's, so that the window never shows a
    // snippet that Find cannot search, or the other way round.
    QStringList names = snippetFileNames(Platform::OpenFolder(categoryPath));
    for (QString &name : names)
        name.chop(LibraryPaths::snippetSuffix.size());
    return names;
}

QStringList existingFolderNames(const QString &path, QString *error)
{
    // QDirIterator lists an unreadable folder as empty, without a word.
    if (error) {
        if (const Platform::OpenFolder folder(path); !folder.errorString().isEmpty()) {
            *error = folder.errorString();
            return {};
        }
    }
    QStringList names = sortedNames(QDir(path), QDir::AllDirs | QDir::NoDotAndDotDot);
    if (names.removeAll(defaultEntry) > 0)
        names.prepend(defaultEntry);
    return names;
}

namespace {

// The window shows every listed file under its name without the suffix, and
// reads for that name the file LibraryPaths::snippetFilePath picks.
QList<SnippetEntry> entriesFor(const QString &categoryPath, const QStringList &files,
                              const QStringList &regular)
{
    const QString &suffix = LibraryPaths::snippetSuffix;
    QList<SnippetEntry> entries;
    entries.reserve(files.size());
    QStringList unlistedReads;
    // Mostly there is nothing but regular files, and nothing to look up.
    const bool allRegular = regular.size() == files.size();
    const auto isRegular = [&](const QString &fileName) {
        return allRegular || std::binary_search(regular.begin(), regular.end(), fileName);
    };
    for (const QString &file : files) {
        const QString name = file.chopped(suffix.size());
        if (file.endsWith(suffix)) {
            entries.append({name, file, LibraryPaths::entryPath(categoryPath, file), isRegular(file),
                            false});
            continue;
        }
        // A listed "<name>.spt" is the file the window would pick; asking the
        // disk about other spellings is left to the rare names that need it.
        const QString exact = name + suffix;
        if (std::binary_search(files.begin(), files.end(), exact)) {
            entries.append({name, exact, LibraryPaths::entryPath(categoryPath, exact),
                            isRegular(exact), file != exact});
            continue;
        }
        const QString path = LibraryPaths::snippetFilePath(categoryPath, name);
        const QString fileName = QFileInfo(path).fileName();
        const bool listed = std::binary_search(files.begin(), files.end(), fileName);
        const bool repeated = listed ? file != fileName : unlistedReads.contains(fileName);
        if (!listed)
            unlistedReads.append(fileName);
        entries.append({name, fileName, path, listed && isRegular(fileName), repeated});
    }
    return entries;
}

} // namespace

CategoryFolder::CategoryFolder(const QString &path)
    : m_folder(path)
{
    QStringList regular;
    const QStringList files = snippetFileNames(m_folder, &regular);
    m_snippets = entriesFor(path, files, regular);
}

SnippetFile::Bytes CategoryFolder::read(const SnippetEntry &entry) const
{
    return SnippetFile::readBytes(m_folder, entry.fileName, entry.listedAsFile);
}

} // namespace LibraryListing
