#include "library/librarysearch.h"

#include "library/librarylisting.h"
#include "library/librarypaths.h"
#include "library/snippetfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace LibrarySearch {

namespace {

QStringList sortedEntries(const QString &path, const QStringList &nameFilters,
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

QStringList folderNames(const QString &path)
{
    QStringList names = sortedEntries(path, {}, QDir::AllDirs | QDir::NoDotAndDotDot);
    if (names.removeAll(LibraryListing::defaultEntry) > 0)
        names.prepend(LibraryListing::defaultEntry);
    return names;
}

bool searchCategory(const QString &language, const QString &category, const QString &path,
                    const SnippetQuery &query, const Callbacks &callbacks)
{
    const QStringList files = sortedEntries(path, {QLatin1Char('*') + LibraryPaths::snippetSuffix},
                                            QDir::Files | QDir::NoDotAndDotDot);
    QString previous;
    for (const QString &file : files) {
        if (callbacks.stop())
            return false;
        const QString name = file.chopped(LibraryPaths::snippetSuffix.size());
        // "x.spt" and "x.SPT" list twice but read as one file.
        if (name == previous)
            continue;
        previous = name;
        const QString snippetPath = LibraryPaths::snippetFilePath(path, name);
        const SnippetFile::ReadResult read = SnippetFile::load(snippetPath);
        if (read.status != SnippetFile::ReadStatus::Loaded) {
            if (read.status != SnippetFile::ReadStatus::Missing)
                callbacks.trouble(snippetPath, read.errorString);
            continue;
        }
        SnippetQuery::Match match = query.match(name, read.text);
        if (match.rank != SnippetQuery::Rank::None)
            callbacks.found({language, category, name, read.text.synopsis, std::move(match)});
    }
    return true;
}

} // namespace

bool run(const QString &root, const SnippetQuery &query, const Callbacks &callbacks)
{
    for (const QString &language : folderNames(root)) {
        const QString languagePath = LibraryPaths::languagePath(root, language);
        for (const QString &category : folderNames(languagePath)) {
            if (!searchCategory(language, category,
                                LibraryPaths::categoryPath(root, language, category), query,
                                callbacks))
                return false;
        }
    }
    return true;
}

} // namespace LibrarySearch
