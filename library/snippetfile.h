#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// A .spt file is the synopsis, one line feed, and the body up to the end of
// the file: no header, no terminator, no byte-order mark when written.
struct SnippetText
{
    QString synopsis;
    QString body;
};

namespace SnippetFile {

// Text of a snippet file. A byte-order mark selects its encoding; without
// one the bytes are UTF-8 if they are valid UTF-8, and otherwise Windows-1252
// with every byte kept, so that an old 8-bit snippet survives a save.
QString decode(const QByteArray &bytes);

// Splits file text into its fields: the synopsis is the first line without
// its line feed and a carriage return right before it; the body is the rest,
// untouched.
SnippetText parse(const QString &text);

// Larger files are not loaded. Snippets are a few KiB; a file this size is
// something else that happens to end in ".spt" (a log, a dump), and reading
// it would hold the window for seconds and take several times its size in
// memory once decoded and shown.
constexpr qint64 maximumSize = 32 * 1024 * 1024;

// What a load saw on disk, so that a later save can tell whether another
// program has changed the file since.
struct Stamp
{
    qint64 size = -1;
    QDateTime modified;
    QByteArray hash;
};

enum class ReadStatus {
    Loaded,
    Missing,          // nothing at the path, or a link to nothing
    NotARegularFile,  // a folder, device, FIFO or socket, directly or behind a link
    TooLarge,         // over maximumSize
    Unreadable,       // exists but could not be opened or read
};

struct ReadResult
{
    ReadStatus status = ReadStatus::Missing;
    SnippetText text;
    Stamp stamp;          // set when Loaded
    QString errorString;  // why not, for the user; empty when Loaded
};

// Reads a regular file of at most maximumSize bytes. Never opens anything
// else, so a device or a FIFO behind the name can neither block nor flood.
ReadResult load(const QString &path);

// The fields, or nothing when the file cannot be loaded.
std::optional<SnippetText> read(const QString &path);

// Whether the file at `path` holds other bytes than a load stamped. A
// touched file with its old bytes is unchanged; a file gone since the load is
// unchanged too (a save simply writes it again), while one that appeared
// after a load that found nothing is a change.
bool changedSince(const QString &path, const Stamp &loaded);

// Replaces the file as a whole, or leaves the old one untouched: a failed
// save must never cost the user the text that was there. Creates the
// category folder if nothing exists at the path yet. Refuses when the path,
// after links, is anything but a regular file: a save must never turn a
// device or a FIFO into a snippet, or write through a link out of the library.
// `written`, if given, gets the stamp of what was saved.
bool write(const QString &path, const SnippetText &text, QString *errorString,
           Stamp *written = nullptr);

// The same for a whole file's text, stored as it stands: a carriage return
// before the first line feed stays, and no line feed is added.
bool writeText(const QString &path, const QString &text, QString *errorString);

} // namespace SnippetFile
