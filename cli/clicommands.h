#pragma once

#include "cli/cliarguments.h"
#include "library/linepattern.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

class QIODevice;

// The terminal tool's four commands. Each hands its results to a Receiver
// as it finds them and answers the exit status; list, show and find never
// write to the disk.
namespace CliCommands {

// As grep: 0 found (or done), 1 nothing found, 2 trouble.
enum ExitStatus { Success = 0, NothingFound = 1, Failure = 2 };

// A snippet that find matched: by name alone (-l), or one line of it.
struct Found
{
    QString snippet; // Language/Category/Name
    QString file;
    std::optional<LineMatch> line; // valid during the call only
};

class Receiver
{
public:
    virtual ~Receiver() = default;
    virtual void line(const QString &text) = 0;    // list
    virtual void bytes(const QByteArray &bytes) = 0; // show
    virtual void found(const Found &found) = 0;    // find
    virtual void problem(const QString &subject, const QString &reason) = 0;
};

int list(const QString &root, const QStringList &scope, bool all, Receiver &receiver);
int show(const QString &root, const QString &address, CliArguments::ShowPart part,
         Receiver &receiver);
// `firstOnly`: stop at the first snippet that matches, as grep -q does.
int find(const QString &root, const LinePattern::Options &options, const QStringList &scope,
         bool namesOnly, bool firstOnly, Receiver &receiver);
// Reads `in` for the snippet's text.
int add(const QString &root, const QString &address, QIODevice &in, bool replace,
        Receiver &receiver);

// The whole tool without its process: parses `arguments` (the first is the
// program's name), runs the command and prints it to `out` and `err`.
int run(const QStringList &arguments, QIODevice &in, QIODevice &out, QIODevice &err);

} // namespace CliCommands
