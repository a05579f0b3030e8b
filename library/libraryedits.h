#pragma once

#include <QString>

// Changes to the library tree. Each reports whether it took place; callers
// re-list the level afterwards, so the disk always has the last word.
namespace LibraryEdits {

// Creates the folder (and missing parents) unless something exists there.
bool createDirectory(const QString &path);

// Creates a zero-byte file (and its folder) unless something exists at the
// path already; an existing snippet is never emptied.
bool createEmptyFile(const QString &path);

// Removes the folder if nothing below it, at any depth, is a file or a link,
// then every parent that this leaves empty, up to but never including
// `stopAt`. A folder holding any file stays as it is with all its content.
bool removeEmptyTree(const QString &path, const QString &stopAt);

// Moves the file to the desktop's trash, or deletes it where there is none.
// Never a folder, even one named like a snippet.
bool removeFile(const QString &path);

// Renames an entry inside `parentPath`, never onto an existing entry.
bool rename(const QString &parentPath, const QString &oldName, const QString &newName);

} // namespace LibraryEdits
