#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace Platform {
class OpenFolder;
}

// A .spt file is the synopsis, one line feed, and the body up to the end of
// the file: no header, no terminator, no byte-order mark when written.
struct SnippetText
{
    QString synopsis;
    QString body;
    // The file ended the synopsis line with CR LF: a save of edits elsewhere
    // keeps it so.
    bool crlfAfterSynopsis = false;

    bool operator==(const SnippetText &other) const
    {
        return synopsis == other.synopsis && body == other.body
            && crlfAfterSynopsis == other.crlfAfterSynopsis;
    }
};

namespace SnippetFile {

// Text of a snippet file. A byte-order mark for UTF-16 or UTF-32 selects that
// encoding. Otherwise every valid UTF-8 sequence is read as UTF-8 and every
// other byte on its own as Windows-1252: one stray byte from an old editor
// neither turns the rest into mojibake nor becomes U+FFFD, and every byte
// stands for a character of its own.
QString decode(const QByteArray &bytes);

// Splits file text into its fields: the synopsis is the first line without
// its line feed and a carriage return right before it (noted in
// crlfAfterSynopsis); the body is the rest, untouched.
SnippetText parse(const QString &text);

// Larger files are not loaded. Snippets are a few KiB; a file this size is
// something else that happens to end in ".spt" (a log, a dump), and reading
// it would hold the window for seconds and take several times its size in
// memory once decoded and shown. The number is set once, in the build.
constexpr qint64 maximumSize = qint64(QUILLORY_SNIPPET_LIMIT_MIB) * 1024 * 1024;

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

// A file's bytes as read, before decoding: what the terminal tool prints and
// searches, and what a save compares with.
struct Bytes
{
    ReadStatus status = ReadStatus::Missing;
    QByteArray bytes;
    QDateTime modified;
    QString errorString;  // why not, for the user; empty when Loaded
};

// The one reader of snippet files. Reads a regular file of at most
// maximumSize bytes and never opens anything else, so a device or a FIFO
// behind the name can neither block nor flood.
Bytes readBytes(const QString &path);
// The same for a file in a folder held open, as a listing of it found it
// (`listedAsRegular`: the listing already saw a regular file there).
Bytes readBytes(const Platform::OpenFolder &folder, const QString &fileName,
                bool listedAsRegular);

// readBytes, decoded and split into the fields, with the stamp a save checks.
ReadResult load(const QString &path);

// The fields, or nothing when the file cannot be loaded.
std::optional<SnippetText> read(const QString &path);

// Whether the file at `path` holds other bytes than a load stamped. A
// touched file with its old bytes is unchanged; a file gone since the load is
// unchanged too (a save simply writes it again), while one that appeared
// after a load that found nothing is a change.
bool changedSince(const QString &path, const Stamp &loaded);

// The file behind the window's fields as the last load or save found it.
struct Shown
{
    QString path;
    ReadStatus status = ReadStatus::Missing;
    Stamp stamp;
};

enum class SaveMode {
    NewOnly,        // a new snippet: never over anything that has the name
    UnlessChanged,  // not over changes another program made since `shown`
    Replace,        // over such changes too: the user said so
};

enum class SaveStatus {
    Saved,
    Exists,    // NewOnly, and something has the name already
    Changed,   // UnlessChanged, and another program changed the file
    NotShown,  // the file could not be shown, so the fields are not its text
    Failed,    // errorString says why; the file is as it was
};

struct SaveResult
{
    SaveStatus status;
    QString errorString;
    Shown shown; // what the fields now show, when Saved
};

// Saves the fields to `path` after deciding whether it may: never text the
// window did not show. When the file already holds this very text, its own
// bytes are kept, so an unchanged save never re-encodes a file read as
// Windows-1252, UTF-16 or a mix.
SaveResult save(const QString &path, const SnippetText &text, const Shown &shown,
                SaveMode mode);

// Replaces the file as a whole, or leaves the old one untouched: a failed
// save must never cost the user the text that was there. Creates the
// category folder if nothing exists at the path yet. Refuses when the path,
// after links, is anything but a regular file: a save must never turn a
// device or a FIFO into a snippet, or write through a link out of the library.
// `written`, if given, gets the stamp of what was saved.
bool write(const QString &path, const SnippetText &text, QString *errorString,
           Stamp *written = nullptr);

// Whether the bytes start with a UTF-8 byte-order mark, which decode() drops.
bool hasUtf8Mark(const QByteArray &bytes);

// A whole file's text in UTF-8 as written: with a mark when `mark` asks
// for one (the bytes it was decoded from had it), or when the text starts
// with U+FEFF, which the next read would otherwise take for a mark.
QByteArray utf8File(const QString &text, bool mark);

// The same for a whole file's text, stored as it stands: a carriage return
// before the first line feed stays, and no line feed is added. `mark`: as
// for utf8File().
bool writeText(const QString &path, const QString &text, QString *errorString,
               bool mark = false);
// The same for bytes, written as they are.
bool writeBytes(const QString &path, const QByteArray &bytes, QString *errorString);

} // namespace SnippetFile
