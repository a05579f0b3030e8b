#include "cli/cliarguments.h"

#include "library/librarypaths.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>

#include <utility>

namespace CliArguments {

namespace {

const char *const description =
    "The snippet library from the terminal.\n\n"
    "Commands:\n"
    "  list [LANGUAGE [CATEGORY]]   the languages, a language's categories or a\n"
    "                               category's snippets, one per line\n"
    "  show LANGUAGE/CATEGORY/NAME  a snippet's body, as stored, in UTF-8\n"
    "  find PATTERN [LANGUAGE [CATEGORY]]\n"
    "                               names, synopses and body lines that match, as\n"
    "                               Language/Category/Name:LINE:TEXT (line 1 is the\n"
    "                               synopsis, 0 a match in the name); exit status 0\n"
    "                               found, 1 nothing found, 2 trouble\n"
    "  add LANGUAGE/CATEGORY/NAME   a new snippet from standard input: the first line\n"
    "                               is its synopsis, the rest its body\n\n"
    "The library is Documents/My Snippets, or QUILLORY_LIBRARY, or --library.";

Parsed refuse(const QString &subject, const QString &error)
{
    Parsed parsed;
    parsed.subject = subject;
    parsed.error = error;
    return parsed;
}

Parsed usage(const char *synopsis)
{
    return refuse(QStringLiteral("usage"), QStringLiteral("quillory-cli ") + QLatin1String(synopsis));
}

} // namespace

Parsed parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1String(description));
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("list, show, find or add, and its arguments."),
                                 QStringLiteral("command [arguments...]"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption library(QStringLiteral("library"),
                                     QStringLiteral("Use the library in <dir>."),
                                     QStringLiteral("dir"));
    const QCommandLineOption all(QStringLiteral("all"),
                                 QStringLiteral("list: every snippet as Language/Category/Name."));
    const QCommandLineOption synopsis(QStringLiteral("synopsis"),
                                      QStringLiteral("show: the synopsis instead of the body."));
    const QCommandLineOption whole(QStringLiteral("whole"),
                                   QStringLiteral("show: the synopsis and the body."));
    const QCommandLineOption ignoreCase({QStringLiteral("i"), QStringLiteral("ignore-case")},
                                        QStringLiteral("find: ignore letter case."));
    const QCommandLineOption fixed({QStringLiteral("F"), QStringLiteral("fixed-strings")},
                                   QStringLiteral("find: PATTERN is a plain string, "
                                                  "not a regular expression."));
    const QCommandLineOption word({QStringLiteral("w"), QStringLiteral("word-regexp")},
                                  QStringLiteral("find: only whole words."));
    const QCommandLineOption namesOnly({QStringLiteral("l"), QStringLiteral("files-with-matches")},
                                       QStringLiteral("find: only the names of the snippets."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("find: one JSON object per line and match."));
    const QCommandLineOption quiet({QStringLiteral("q"), QStringLiteral("quiet")},
                                   QStringLiteral("find: print nothing, stop at the first match; "
                                                  "the exit status says whether there was one."));
    const QCommandLineOption replace(QStringLiteral("replace"),
                                     QStringLiteral("add: replace a snippet of the same name."));
    parser.addOptions({library, all, synopsis, whole, ignoreCase, fixed, word, namesOnly, json,
                       quiet, replace});

    if (!parser.parse(arguments))
        return refuse(QStringLiteral("usage"), parser.errorText());
    Parsed parsed;
    Request &request = parsed.request;
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        request.command = Command::Help;
        request.text = parser.helpText();
        return parsed;
    }
    if (parser.isSet(version)) {
        request.command = Command::Version;
        return parsed;
    }

    QStringList positional = parser.positionalArguments();
    const QString command = positional.isEmpty() ? QString() : positional.takeFirst();
    const QList<std::pair<const QCommandLineOption *, QLatin1String>> commandOptions = {
        {&all, QLatin1String("list")},     {&synopsis, QLatin1String("show")},
        {&whole, QLatin1String("show")},   {&ignoreCase, QLatin1String("find")},
        {&fixed, QLatin1String("find")},   {&word, QLatin1String("find")},
        {&namesOnly, QLatin1String("find")}, {&json, QLatin1String("find")},
        {&quiet, QLatin1String("find")},   {&replace, QLatin1String("add")}};
    for (const auto &[option, owner] : commandOptions) {
        if (parser.isSet(*option) && command != owner)
            return refuse(QStringLiteral("usage"), QStringLiteral("--%1 belongs to %2")
                                                       .arg(option->names().constLast(), owner));
    }

    // An empty value is mostly an unset variable in a script; taking it
    // for "the default" would quietly work on the user's real library.
    if (parser.isSet(library) && parser.value(library).isEmpty())
        return refuse(QStringLiteral("--library"), QStringLiteral("empty folder name"));
    request.root = parser.isSet(library) ? parser.value(library)
                                         : qEnvironmentVariable("QUILLORY_LIBRARY");
    if (request.root.isEmpty())
        request.root = LibraryPaths::rootPath();
    // Paths in messages and in --json output are meant to be opened as they are.
    request.root = QFileInfo(request.root).absoluteFilePath();

    if (command == QLatin1String("list")) {
        if (positional.size() > 2)
            return usage("list [--all] [LANGUAGE [CATEGORY]]");
        request.command = Command::List;
        request.scope = positional;
        request.all = parser.isSet(all);
        return parsed;
    }
    if (command == QLatin1String("show")) {
        if (positional.size() != 1)
            return usage("show [--synopsis | --whole] LANGUAGE/CATEGORY/NAME");
        request.command = Command::Show;
        request.address = positional[0];
        request.part = parser.isSet(whole)          ? ShowPart::Whole
                       : parser.isSet(synopsis)     ? ShowPart::Synopsis
                                                    : ShowPart::Body;
        return parsed;
    }
    if (command == QLatin1String("find")) {
        if (positional.isEmpty() || positional.size() > 3)
            return usage("find [-i] [-F] [-w] [-l] [-q] [--json] PATTERN [LANGUAGE [CATEGORY]]");
        request.command = Command::Find;
        request.pattern = {positional.takeFirst(), parser.isSet(ignoreCase), parser.isSet(fixed),
                           parser.isSet(word)};
        request.scope = positional;
        request.namesOnly = parser.isSet(namesOnly);
        request.json = parser.isSet(json);
        request.quiet = parser.isSet(quiet);
        return parsed;
    }
    if (command == QLatin1String("add")) {
        if (positional.size() != 1)
            return usage("add [--replace] LANGUAGE/CATEGORY/NAME < TEXT");
        request.command = Command::Add;
        request.address = positional[0];
        request.replace = parser.isSet(replace);
        return parsed;
    }
    if (command.isEmpty())
        return usage("list|show|find|add ... (see --help)");
    return refuse(command, QStringLiteral("unknown command (see --help)"));
}

} // namespace CliArguments
