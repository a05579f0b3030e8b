#include "library/librarysearch.h"

#include "library/librarypaths.h"
#include "library/platform.h"
#include "library/snippetfile.h"

namespace LibrarySearch {

bool forEachCategory(const QString &root, const QStringList &scope, const CategoryVisit &visit,
                     const FolderTrouble &unreadable)
{
    const auto namesIn = [&unreadable](const QString &path) {
        QString error;
        const QStringList names = LibraryListing::existingFolderNames(path, &error);
        if (!error.isEmpty())
            unreadable(path, error);
        return names;
    };
    const QStringList languages = scope.isEmpty() ? namesIn(root) : QStringList{scope[0]};
    for (const QString &language : languages) {
        const QString languagePath = LibraryPaths::languagePath(root, language);
        const QStringList categories =
            scope.size() < 2 ? namesIn(languagePath) : QStringList{scope[1]};
        for (const QString &category : categories) {
            const QString path = LibraryPaths::categoryPath(root, language, category);
            // What could be read is visited even when the rest could not.
            const LibraryListing::CategoryFolder folder(path);
            if (!visit(language, category, folder))
                return false;
            if (!folder.errorString().isEmpty())
                unreadable(path, folder.errorString());
        }
    }
    return true;
}

bool run(const QString &root, const SnippetQuery &query, const Callbacks &callbacks)
{
    const auto searchCategory = [&](const QString &language, const QString &category,
                                    const LibraryListing::CategoryFolder &folder) {
        for (const LibraryListing::SnippetEntry &entry : folder.snippets()) {
            if (callbacks.stop())
                return false;
            if (entry.readByOther)
                continue;
            const SnippetFile::Bytes read = folder.read(entry);
            if (read.status != SnippetFile::ReadStatus::Loaded) {
                // Gone since the listing: nothing to search, nothing to say.
                if (read.status != SnippetFile::ReadStatus::Missing)
                    callbacks.trouble(entry.path, read.errorString);
                continue;
            }
            if (!query.mayMatch(entry.name, read.bytes))
                continue;
            const SnippetText text = SnippetFile::parse(SnippetFile::decode(read.bytes));
            SnippetQuery::Match match = query.match(entry.name, text);
            if (match.rank != SnippetQuery::Rank::None)
                callbacks.found({language, category, entry.name, text.synopsis, std::move(match)});
        }
        return true;
    };
    return forEachCategory(root, {}, searchCategory, callbacks.trouble);
}

bool run(const LibrarySnapshot &library, const SnippetQuery &query, const Callbacks &callbacks)
{
    for (const HeldCategory &category : library.categories) {
        if (!query.isInPlace(category.language, category.category))
            continue;
        if (!category.trouble.isEmpty())
            callbacks.trouble(category.path, category.trouble);
        for (const HeldSnippet &snippet : category.snippets) {
            if (callbacks.stop())
                return false;
            if (!snippet.trouble.isEmpty()) {
                callbacks.trouble(snippet.path, snippet.trouble);
                continue;
            }
            SnippetQuery::Match match = query.matchHeld(snippet.name, snippet.synopsis, snippet.body);
            if (match.rank != SnippetQuery::Rank::None)
                callbacks.found({category.language, category.category, snippet.name,
                                 snippet.synopsis, std::move(match)});
        }
    }
    return true;
}

} // namespace LibrarySearch
