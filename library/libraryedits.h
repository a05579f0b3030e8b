#pragma once

#include <QByteArray>
#include <QString>


// Changes to the library tree. Each reports whether it took place; callers
// re-list the level afterwards, so the disk always has the last word.
namespace LibraryEdits {

// Something stands at the path (LibraryPaths::isTaken): a link to nothing too.
bool exists(const QString &path);

// Creates the folder (and missing parents) unless something exists there,
// a link too, broken or not.
bool createDirectory(const QString &path);

// Creates a zero-byte file (and its folder) unless something exists at the
// path already; an existing snippet is never emptied.
bool createEmptyFile(const QString &path);

enum class TreeRemoval { Removed, HoldsFiles, Failed };

// Removes the folder if nothing below it, at any depth, is a file or a link,
// then every parent that this leaves empty, up to but never including
// `stopAt`. A folder holding any file stays as it is with all its content.
TreeRemoval removeEmptyTree(const QString &path, const QString &stopAt);

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

enum class Renamed {
    Moved,    // the entry has the new name
    Created,  // there was no entry under the old name; one was made under the new
    Exists,   // the new name is taken: nothing changed
    Failed,   // the system refused: nothing changed
};

// A level's Rename: the folder `oldName` in `parentPath` gets the new name.
// "Default" is listed before its folder exists; renaming such an entry
// creates the folder under the new name instead.
Renamed renameFolder(const QString &parentPath, const QString &oldName, const QString &newName);
// The same for the snippet listed as `oldName` (empty: none listed) in the
// category folder. The file keeps its extension's letter case.
Renamed renameSnippet(const QString &categoryPath, const QString &oldName, const QString &newName);

// Creates the snippet `path` holding the whole file's `text` as it stands,
// with any missing folders, never over an existing entry: the name is
// claimed before the text is written. A failure takes away what it created,
// the file only while it is still the one it created, and says in
// `errorString` what it left. `mark`: a UTF-8 byte-order mark in front, as
// SnippetFile::writeText() writes it.
bool addSnippet(const QString &path, const QString &text, QString *errorString,
                bool mark = false);
// The same for a removed snippet's bytes, brought back exactly as they were.
bool restoreSnippet(const QString &path, const QByteArray &bytes, QString *errorString);

} // namespace LibraryEdits
