#pragma once

#include "library/snippetquery.h"

#include <QString>

#include <functional>

// The Find window's search over the whole library. Reads only: no folder is
// created, unlike the window's listings.
namespace LibrarySearch {

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
    std::function<void(const QString &path, const QString &reason)> trouble;
};

// Every matching snippet in the window's order of languages, categories and
// names; ranking by Match::rank is left to the caller. False when stopped.
bool run(const QString &root, const SnippetQuery &query, const Callbacks &callbacks);

} // namespace LibrarySearch
