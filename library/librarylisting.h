#pragma once

#include "library/platform.h"
#include "library/snippetfile.h"

#include <QList>
#include <QStringList>

// One level of the library read from disk. Both create the folder they list
// when it is missing (so a new language gets its folder the moment it is
// listed) and list nothing when it cannot be created or read.
namespace LibraryListing {

extern const QString defaultEntry;

// Sub-folder names, sorted by character code, with exactly one "Default"
// in front whether or not such a folder exists.
QStringList entryNames(const QString &directoryPath);

// The one listing of a category's snippet files, for the window, Find and
// the terminal tool alike, sorted: regular files and links to them, and
// links to anything else but a folder, which the window lists to say why it
// cannot show them. `regular`, if given, gets the first kind only.
QStringList snippetFileNames(const Platform::OpenFolder &folder, QStringList *regular = nullptr);

// Names of the "*.spt" files (extension in any letter case), sorted by file
// name, each without its final ".spt" only: "std.sort.spt" is "std.sort".
QStringList snippetNames(const QString &categoryPath);

// The same levels for a reader that must not change the disk (the terminal
// tool): nothing is created, and "Default" stands first only when it exists.
// A folder that cannot be read lists as empty, and `error`, if given, says
// why.
QStringList existingFolderNames(const QString &path, QString *error = nullptr);

// A listed snippet: its name and the file the window reads for it.
struct SnippetEntry
{
    QString name;
    QString fileName; // inside the category folder
    QString path;
    bool listedAsFile; // the listing saw a regular file, or a link to one
    bool readByOther;  // another entry of the list reads the same file
};

// A category folder held open while its snippets are read. Several files may
// list under one name ("x.spt", "x.SPT"); the window shows each but reads one
// file for all of them, so the entries repeat that file.
class CategoryFolder
{
public:
    explicit CategoryFolder(const QString &path);

    const QList<SnippetEntry> &snippets() const { return m_snippets; }
    SnippetFile::Bytes read(const SnippetEntry &entry) const;
    // Why the folder could not be read, or read to its end; empty when it was.
    QString errorString() const { return m_folder.errorString(); }

private:
    Platform::OpenFolder m_folder;
    QList<SnippetEntry> m_snippets;
};

} // namespace LibraryListing
