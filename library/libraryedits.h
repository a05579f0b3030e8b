#pragma once

#include <QString>

// Changes to the library tree. Each reports whether it took place; callers
// re-list the level afterwards, so the disk always has the last word.
namespace LibraryEdits {

// Creates the folder (and missing parents) unless something exists there,
// a link too, broken or not.
bool createDirectory(const QString &path);

// Creates a zero-byte file (and its folder) unless something exists at the
// path already; an existing snippet is never emptied.
bool createEmptyFile(const QString &path);

// Removes the folder if nothing below it, at any depth, is a file or a link,
// then every parent that this leaves empty, up to but never including
// `stopAt`. A folder holding any file stays as it is with all its content.
bool removeEmptyTree(const QString &path, const QString &stopAt);

// Writes a new snippet file holding `text`, with any missing folders, and
// never replaces anything: the name is claimed before the text is written.
// On failure it takes away what it created, its file only while that is
// still the file it created, and says in `errorString` what it left.
bool createSnippetFile(const QString &path, const QString &text, QString *errorString);

enum class Removal { Trashed, Deleted, Failed };

// Moves the file (or link) to the desktop's trash, or deletes it when there
// is none or the trash refuses it; returns promptly either way. Never a
// folder, even one named like a snippet.
Removal removeToTrash(const QString &path);
// The same, true unless the file is still there.
bool removeFile(const QString &path);

// Renames an entry inside `parentPath`, never onto an existing entry, a
// broken link included, and never through a link to somewhere else.
bool rename(const QString &parentPath, const QString &oldName, const QString &newName);

} // namespace LibraryEdits
