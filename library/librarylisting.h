#pragma once

#include <QStringList>

// One level of the library read from disk. Both create the folder they list
// when it is missing (so a new language gets its folder the moment it is
// listed) and list nothing when it cannot be created or read.
namespace LibraryListing {

extern const QString defaultEntry;

// Sub-folder names, sorted by character code, with exactly one "Default"
// in front whether or not such a folder exists.
QStringList entryNames(const QString &directoryPath);

// Names of the "*.spt" files (extension in any letter case), sorted by file
// name, each without its final ".spt" only: "std.sort.spt" is "std.sort".
QStringList snippetNames(const QString &categoryPath);

} // namespace LibraryListing
