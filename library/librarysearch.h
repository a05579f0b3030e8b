#pragma once

#include "library/librarylisting.h"
#include "library/librarypicture.h"
#include "library/snippetquery.h"

#include <QString>
#include <QStringList>

#include <functional>

// The search over the library that the Find window and `quillory-cli find`
// share: the walk in the window's order, reading each snippet through the
// library's one reader. Reads only: no folder is created, unlike the window's
// listings.
namespace LibrarySearch {

// Called for every category in the scope; false stops the walk.
using CategoryVisit = std::function<bool(const QString &language, const QString &category,
                                         const LibraryListing::CategoryFolder &folder)>;
using FolderTrouble = std::function<void(const QString &path, const QString &reason)>;

// Every category below `root`, or in the language scope[0], or the one
// category scope[0]/scope[1], in the window's order of languages and
// categories. A folder on the way that cannot be read goes to `unreadable`,
// and the walk goes on. False when a visit stopped it.
bool forEachCategory(const QString &root, const QStringList &scope, const CategoryVisit &visit,
                     const FolderTrouble &unreadable);

struct Hit
{
    QString language;
    QString category;
    QString name;
    QString synopsis;
    SnippetQuery::Match match;
};

struct Callbacks
{
    std::function<bool()> stop; // asked between snippets; true ends the search
    std::function<void(Hit &&)> found;
    FolderTrouble trouble; // a folder or a snippet that could not be searched
};

// The Find window's query over the whole library: every match in the
// window's order of languages, categories and names; ranking by Match::rank
// is left to the caller. False when stopped.
bool run(const QString &root, const SnippetQuery &query, const Callbacks &callbacks);
// The same over the library as held in memory; a snippet that could not be
// read goes to `trouble`, so that the count of what was not searched holds.
bool run(const LibrarySnapshot &library, const SnippetQuery &query, const Callbacks &callbacks);

} // namespace LibrarySearch
