#pragma once

#include <QStringList>

class QIODevice;

// The command-line tool without its process: parses `arguments` (the first is
// the program's name), reads `in` for an add, and answers the exit status.
// Errors go to `err` with the path and the reason; list, show and find never
// write to the disk.
namespace CliCommands {

int run(const QStringList &arguments, QIODevice &in, QIODevice &out, QIODevice &err);

} // namespace CliCommands
