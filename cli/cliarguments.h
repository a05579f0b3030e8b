#pragma once

#include "library/linepattern.h"

#include <QString>
#include <QStringList>

// The terminal tool's command line: what it asks for, or why it cannot be
// done. Knows nothing of the library beyond where it is.
namespace CliArguments {

enum class Command { List, Show, Find, Add, Help, Version };
enum class ShowPart { Body, Synopsis, Whole };

struct Request
{
    Command command = Command::Help;
    QString root;          // the library, absolute
    QStringList scope;     // list, find: [LANGUAGE [CATEGORY]]
    QString address;       // show, add: LANGUAGE/CATEGORY/NAME
    bool all = false;      // list --all
    ShowPart part = ShowPart::Body;
    LinePattern::Options pattern;
    bool namesOnly = false; // find -l
    bool json = false;      // find --json
    bool quiet = false;     // find -q: the exit status only
    bool replace = false;   // add --replace
    QString text;           // Help: the usage text
};

struct Parsed
{
    Request request;
    // Set when the line cannot be used: what is wrong ("usage", an option)
    // and why.
    QString subject;
    QString error;
};

// `arguments` as the process got them, the program's name first.
Parsed parse(const QStringList &arguments);

} // namespace CliArguments
