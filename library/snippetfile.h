#pragma once

#include <QString>

#include <optional>

class QByteArray;

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

// The fields, or nothing when the file cannot be opened.
std::optional<SnippetText> read(const QString &path);

// Replaces the file as a whole, or leaves the old one untouched: a failed
// save must never cost the user the text that was there. Creates the
// category folder if nothing exists at the path yet.
bool write(const QString &path, const SnippetText &text, QString *errorString);

} // namespace SnippetFile
