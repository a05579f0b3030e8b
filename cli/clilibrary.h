#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Read-only access to the library for the command-line tool: the same names,
// order and files as the window, without ever creating a folder.
namespace CliLibrary {

// Sub-folder names in the window's order: "Default" first when it exists,
// then by character code. Empty when the folder cannot be read.
QStringList folderNames(const QString &path);

// Why an existing folder cannot be read, or an empty string.
QString folderProblem(const QString &path);

// A listed snippet: its name and the file the window reads for it.
struct SnippetEntry
{
    QString name;
    QString fileName; // inside the category folder
    QString path;
    bool listedAsFile; // the listing saw a regular file, or a link to one
    bool readByOther;  // another entry of the list reads the same file
};

// The category's snippets in the window's order. Several files may list
// under one name ("x.spt", "x.SPT"); the window shows each but reads one
// file for all of them, so the entries repeat that file.
QList<SnippetEntry> snippets(const QString &categoryPath);

// Why a file is not read as a snippet (not a regular file, too large), or
// an empty string when it may be.
QString refusalToRead(bool isRegularFile, qint64 size);

struct FileRead
{
    enum Status { Read, Missing, Refused, Failed } status;
    QByteArray bytes;
    QString reason;
};

// The file's bytes. Anything but a regular file (after following links) is
// refused before it is opened: opening a FIFO would hang and a device may
// act on being opened.
FileRead readSnippetFile(const QString &path);

// A category folder held open while its snippets are read, so that each file
// is opened by its name alone instead of by a path the system must walk.
class CategoryFolder
{
public:
    explicit CategoryFolder(const QString &path);
    ~CategoryFolder();
    CategoryFolder(const CategoryFolder &) = delete;
    CategoryFolder &operator=(const CategoryFolder &) = delete;

    const QList<SnippetEntry> &snippets() const { return m_snippets; }
    FileRead read(const SnippetEntry &entry) const;
    // Why the folder could not be read; empty when it was, or is gone.
    const QString &problem() const { return m_problem; }

private:
    QList<SnippetEntry> m_snippets;
    QString m_problem;
    int m_fd = -1;
};

} // namespace CliLibrary
