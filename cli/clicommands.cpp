#include "cli/clicommands.h"

#include "library/libraryedits.h"
#include "library/librarylisting.h"
#include "library/librarypaths.h"
#include "library/librarysearch.h"
#include "library/snippetfile.h"
#include "library/snippetmatcher.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>
#include <optional>

namespace CliCommands {

namespace {

// As grep: 0 found (or done), 1 nothing found, 2 trouble.
enum ExitStatus { Success = 0, NothingFound = 1, Failure = 2 };

// Collects output and hands it on in large blocks: a find over thousands of
// snippets would otherwise make a system call per line.
class Writer
{
public:
    explicit Writer(QIODevice &device) : m_device(device) {}
    ~Writer() { flush(); }

    void add(const QByteArray &bytes)
    {
        m_buffer.append(bytes);
        if (m_buffer.size() >= 64 * 1024)
            flush();
    }
    void line(const QString &text) { add(text.toUtf8().append('\n')); }
    void flush()
    {
        // After one failure nothing more is written: a reader would get a
        // gap in the middle of the output and take the rest for whole.
        if (!m_buffer.isEmpty() && m_error.isEmpty()
            && m_device.write(m_buffer) != m_buffer.size())
            m_error = m_device.errorString();
        m_buffer.clear();
    }
    // Why the output could not be written; empty when all of it was.
    const QString &error() const { return m_error; }

private:
    QIODevice &m_device;
    QByteArray m_buffer;
    QString m_error;
};

struct Context
{
    QString root;
    QIODevice &in;
    Writer out;
    QIODevice &err;

    int fail(const QString &subject, const QString &reason)
    {
        note(subject, reason);
        return Failure;
    }
    void note(const QString &subject, const QString &reason)
    {
        out.flush(); // keeps messages in order with the output on a terminal
        err.write((QStringLiteral("quillory-cli: ") + subject + QStringLiteral(": ") + reason
                   + QLatin1Char('\n'))
                      .toUtf8());
    }
};

struct Address
{
    QString language;
    QString category;
    QString name;
};

enum class NameUse { Read, Create };

// An add makes nothing the window could not list, so the names it creates
// pass the window's check. A read takes names as another program may have
// made them and only refuses those that would leave the library or the
// level. The third name is a snippet's.
std::optional<QString> refusedName(const QStringList &names, NameUse use)
{
    for (qsizetype level = 0; level < names.size(); ++level) {
        const QString &name = names.at(level);
        if (name.isEmpty())
            return QStringLiteral("empty name");
        using LibraryPaths::NameProblem;
        const NameProblem problem = use == NameUse::Read ? LibraryPaths::checkNameToRead(name)
            : level == 2                                 ? LibraryPaths::checkSnippetName(name)
                                                         : LibraryPaths::checkName(name);
        switch (problem) {
        case NameProblem::None:
            break;
        case NameProblem::LeavesLibrary:
            return QStringLiteral("a name may not be an absolute path or \"..\"");
        case NameProblem::HoldsSeparator:
            return QStringLiteral("a name may not contain \"\\\"");
        case NameProblem::Hidden:
            return QStringLiteral("a name may not start with \".\"");
        case NameProblem::Blank:
            return QStringLiteral("a name may not be only spaces");
        case NameProblem::ForbiddenOnThisSystem:
            return QStringLiteral("this system does not allow that name");
        }
    }
    return std::nullopt;
}

std::optional<Address> parseAddress(Context &context, const QString &text, NameUse use)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    if (parts.size() != 3) {
        context.note(text, QStringLiteral("expected Language/Category/Name"));
        return std::nullopt;
    }
    if (const auto why = refusedName(parts, use)) {
        context.note(text, *why);
        return std::nullopt;
    }
    return Address{parts[0], parts[1], parts[2]};
}

QString firstLine(QStringView text)
{
    const qsizetype end = text.indexOf(u'\n');
    QStringView line = end < 0 ? text : text.first(end);
    if (line.endsWith(u'\r'))
        line.chop(1);
    return line.toString();
}

// The scope's folders must exist: a typo should not pass for "nothing there".
int checkScope(Context &context, const QStringList &scope)
{
    if (const auto why = refusedName(scope, NameUse::Read))
        return context.fail(scope.join(QLatin1Char('/')), *why);
    QString path = context.root;
    if (scope.size() > 0)
        path = LibraryPaths::languagePath(context.root, scope[0]);
    if (scope.size() > 1)
        path = LibraryPaths::categoryPath(context.root, scope[0], scope[1]);
    if (!QFileInfo(path).isDir()) {
        const char *what[] = {"no library here", "no such language", "no such category"};
        return context.fail(path, QLatin1String(what[scope.size()]));
    }
    return Success;
}

// As grep -r: what could be read is printed, and a folder that could not
// is named on stderr and makes the exit status 2.
int list(Context &context, const QStringList &scope, bool all)
{
    if (const int status = checkScope(context, scope))
        return status;
    int status = Success;
    const auto unreadable = [&context, &status](const QString &path, const QString &reason) {
        status = context.fail(path, reason);
    };
    if (all) {
        LibrarySearch::forEachCategory(
            context.root, scope,
            [&](const QString &language, const QString &category,
                const LibraryListing::CategoryFolder &folder) {
                const QString prefix = language + QLatin1Char('/') + category + QLatin1Char('/');
                for (const LibraryListing::SnippetEntry &entry : folder.snippets())
                    context.out.line(prefix + entry.name);
                return true;
            },
            unreadable);
        return status;
    }
    if (scope.size() == 2) {
        const QString path = LibraryPaths::categoryPath(context.root, scope[0], scope[1]);
        const LibraryListing::CategoryFolder folder(path);
        for (const LibraryListing::SnippetEntry &entry : folder.snippets())
            context.out.line(entry.name);
        if (!folder.errorString().isEmpty())
            unreadable(path, folder.errorString());
        return status;
    }
    const QString path =
        scope.isEmpty() ? context.root : LibraryPaths::languagePath(context.root, scope[0]);
    QString error;
    for (const QString &name : LibraryListing::existingFolderNames(path, &error))
        context.out.line(name);
    if (!error.isEmpty())
        unreadable(path, error);
    return status;
}

// Reads a snippet's file, or says on stderr why not.
std::optional<QByteArray> readOrTell(Context &context, const QString &path)
{
    SnippetFile::Bytes read = SnippetFile::readBytes(path);
    if (read.status == SnippetFile::ReadStatus::Loaded)
        return std::move(read.bytes);
    context.note(path, read.status == SnippetFile::ReadStatus::Missing
                           ? QStringLiteral("no such snippet")
                           : read.errorString);
    return std::nullopt;
}

QString snippetPath(const QString &root, const Address &address)
{
    return LibraryPaths::snippetFilePath(
        LibraryPaths::categoryPath(root, address.language, address.category), address.name);
}

enum class ShowPart { Body, Synopsis, Whole };

int show(Context &context, const QString &addressText, ShowPart part)
{
    const auto address = parseAddress(context, addressText, NameUse::Read);
    if (!address)
        return Failure;
    const auto bytes = readOrTell(context, snippetPath(context.root, *address));
    if (!bytes)
        return Failure;
    const QString text = SnippetFile::decode(*bytes);
    switch (part) {
    case ShowPart::Whole:
        context.out.add(text.toUtf8());
        break;
    case ShowPart::Synopsis:
        context.out.line(firstLine(text));
        break;
    case ShowPart::Body:
        context.out.add(SnippetFile::parse(text).body.toUtf8());
        break;
    }
    return Success;
}

struct FindOutput
{
    bool namesOnly = false;
    bool json = false;
};

void printMatch(Context &context, const FindOutput &output, const QString &snippet,
                const QString &file, std::optional<LineMatch> line)
{
    if (!output.json) {
        if (!line)
            context.out.line(snippet);
        else
            context.out.line(snippet + QLatin1Char(':') + QString::number(line->number)
                             + QLatin1Char(':') + line->text.toString());
        return;
    }
    // Library paths join Qt's '/' with the native separator; an editor wants one kind.
    QJsonObject object{{QStringLiteral("snippet"), snippet},
                       {QStringLiteral("file"), QDir::toNativeSeparators(file)}};
    if (line) {
        object.insert(QStringLiteral("line"), line->number);
        object.insert(QStringLiteral("text"), line->text.toString());
    }
    context.out.add(QJsonDocument(object).toJson(QJsonDocument::Compact).append('\n'));
}

int find(Context &context, const FindOptions &options, const QStringList &scope,
         const FindOutput &output)
{
    const SnippetMatcher matcher(options);
    if (const QString error = matcher.error(); !error.isEmpty())
        return context.fail(options.pattern, QStringLiteral("invalid pattern: ") + error);
    if (const int status = checkScope(context, scope))
        return status;

    bool found = false;
    bool troubled = false;
    const auto search = [&](const QString &snippet, const LibraryListing::CategoryFolder &folder,
                            const LibraryListing::SnippetEntry &entry) {
        using SnippetFile::ReadStatus;
        const SnippetFile::Bytes read = folder.read(entry);
        if (read.status == ReadStatus::NotARegularFile || read.status == ReadStatus::TooLarge) {
            context.note(entry.path, QStringLiteral("skipped, ") + read.errorString);
            return;
        }
        if (read.status != ReadStatus::Loaded) {
            context.note(entry.path, read.errorString);
            troubled = true;
            return;
        }

        const bool nameMatches = matcher.matchesLine(entry.name);
        const SnippetMatcher::Verdict verdict = matcher.quickVerdict(read.bytes);
        if (output.namesOnly && (nameMatches || verdict == SnippetMatcher::Verdict::Yes)) {
            found = true;
            printMatch(context, output, snippet, entry.path, std::nullopt);
            return;
        }
        if (!nameMatches && verdict == SnippetMatcher::Verdict::No)
            return;

        const QString text = SnippetFile::decode(read.bytes);
        QList<int> gaveUp;
        const QList<LineMatch> lines = verdict == SnippetMatcher::Verdict::No
            ? QList<LineMatch>()
            : matcher.matchingLines(text, &gaveUp);
        // Neither a match nor a miss: said, counted as trouble, and the
        // search goes on.
        for (const int number : std::as_const(gaveUp)) {
            context.note(entry.path + QLatin1Char(':') + QString::number(number),
                         QStringLiteral("the pattern needs too much backtracking on this line; "
                                        "it was not searched"));
            troubled = true;
        }
        if (!nameMatches && lines.isEmpty())
            return;
        found = true;
        if (output.namesOnly) {
            printMatch(context, output, snippet, entry.path, std::nullopt);
            return;
        }
        // A match in the name is line 0, showing the synopsis, unless the
        // synopsis itself matched and is shown as line 1 anyway.
        if (nameMatches && (lines.isEmpty() || lines.first().number != 1))
            printMatch(context, output, snippet, entry.path, LineMatch{0, firstLine(text)});
        for (const LineMatch &line : lines)
            printMatch(context, output, snippet, entry.path, line);
    };
    LibrarySearch::forEachCategory(
        context.root, scope,
        [&](const QString &language, const QString &category,
            const LibraryListing::CategoryFolder &folder) {
            const QString prefix = language + QLatin1Char('/') + category + QLatin1Char('/');
            for (const LibraryListing::SnippetEntry &entry : folder.snippets()) {
                if (!entry.readByOther)
                    search(prefix + entry.name, folder, entry);
            }
            return true;
        },
        [&](const QString &path, const QString &problem) {
            context.note(path, problem);
            troubled = true;
        });
    if (troubled)
        return Failure;
    return found ? Success : NothingFound;
}

// Standard input up to one byte more than a snippet may hold; more is
// refused whole, so that /dev/zero or a runaway pipe ends at once.
std::optional<QByteArray> readInput(Context &context)
{
    constexpr qint64 limit = SnippetFile::maximumSize;
    const QString name = QStringLiteral("standard input");
    if (!context.in.isReadable()) {
        context.note(name, QStringLiteral("cannot be read; nothing was added"));
        return std::nullopt;
    }
    QByteArray bytes;
    for (;;) {
        const qsizetype filled = bytes.size();
        const qint64 wanted = std::min<qint64>(64 * 1024, limit + 1 - filled);
        if (wanted == 0)
            break;
        bytes.resize(filled + wanted);
        const qint64 got = context.in.read(bytes.data() + filled, wanted);
        if (got < 0) {
            context.note(name, context.in.errorString() + QStringLiteral("; nothing was added"));
            return std::nullopt;
        }
        bytes.resize(filled + got);
        if (got == 0)
            break;
    }
    if (bytes.size() > limit) {
        context.note(name, QStringLiteral("more than %1 MiB, the most a snippet may hold; "
                                          "nothing was added")
                               .arg(limit / (1024 * 1024)));
        return std::nullopt;
    }
    return bytes;
}

int add(Context &context, const QString &addressText, bool replace)
{
    const auto address = parseAddress(context, addressText, NameUse::Create);
    if (!address)
        return Failure;
    const QString categoryPath =
        LibraryPaths::categoryPath(context.root, address->language, address->category);
    const QString path = LibraryPaths::snippetFilePath(categoryPath, address->name);
    const auto input = readInput(context);
    if (!input)
        return Failure;
    // Stored as read: what "show --whole" printed comes back byte for byte.
    const QString text = SnippetFile::decode(*input);

    QString error;
    if (LibraryEdits::exists(path)) {
        if (!replace)
            return context.fail(path, QStringLiteral("a snippet of this name exists "
                                                     "(--replace replaces it)"));
        if (!SnippetFile::writeText(path, text, &error))
            return context.fail(path, error + QStringLiteral("; the snippet is unchanged"));
        return Success;
    }
    if (!LibraryEdits::addSnippet(path, text, &error))
        return context.fail(path, error);
    return Success;
}

int dispatch(Context &context, const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
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
        "The library is Documents/My Snippets, or QUILLORY_LIBRARY, or --library."));
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
    const QCommandLineOption replace(QStringLiteral("replace"),
                                     QStringLiteral("add: replace a snippet of the same name."));
    parser.addOptions({library, all, synopsis, whole, ignoreCase, fixed, word, namesOnly, json,
                       replace});

    if (!parser.parse(arguments))
        return context.fail(QStringLiteral("usage"), parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        context.out.add(parser.helpText().toUtf8());
        return Success;
    }
    if (parser.isSet(version)) {
        context.out.line(QCoreApplication::applicationName() + QLatin1Char(' ')
                         + QCoreApplication::applicationVersion());
        return Success;
    }

    QStringList positional = parser.positionalArguments();
    const QString command = positional.isEmpty() ? QString() : positional.takeFirst();
    const QList<std::pair<const QCommandLineOption *, QLatin1String>> commandOptions = {
        {&all, QLatin1String("list")},     {&synopsis, QLatin1String("show")},
        {&whole, QLatin1String("show")},   {&ignoreCase, QLatin1String("find")},
        {&fixed, QLatin1String("find")},   {&word, QLatin1String("find")},
        {&namesOnly, QLatin1String("find")}, {&json, QLatin1String("find")},
        {&replace, QLatin1String("add")}};
    for (const auto &[option, owner] : commandOptions) {
        if (parser.isSet(*option) && command != owner)
            return context.fail(QStringLiteral("usage"),
                                QStringLiteral("--%1 belongs to %2")
                                    .arg(option->names().constLast(), owner));
    }

    // An empty value is mostly an unset variable in a script; taking it
    // for "the default" would quietly work on the user's real library.
    if (parser.isSet(library) && parser.value(library).isEmpty())
        return context.fail(QStringLiteral("--library"),
                            QStringLiteral("empty folder name"));
    context.root = parser.isSet(library) ? parser.value(library)
                                         : qEnvironmentVariable("QUILLORY_LIBRARY");
    if (context.root.isEmpty())
        context.root = LibraryPaths::rootPath();
    // Paths in messages and in --json output are meant to be opened as they are.
    context.root = QFileInfo(context.root).absoluteFilePath();

    const auto usage = [&context](const char *synopsisText) {
        return context.fail(QStringLiteral("usage"),
                            QStringLiteral("quillory-cli ") + QLatin1String(synopsisText));
    };
    if (command == QLatin1String("list")) {
        if (positional.size() > 2)
            return usage("list [--all] [LANGUAGE [CATEGORY]]");
        return list(context, positional, parser.isSet(all));
    }
    if (command == QLatin1String("show")) {
        if (positional.size() != 1)
            return usage("show [--synopsis | --whole] LANGUAGE/CATEGORY/NAME");
        return show(context, positional[0],
                    parser.isSet(whole)          ? ShowPart::Whole
                        : parser.isSet(synopsis) ? ShowPart::Synopsis
                                                 : ShowPart::Body);
    }
    if (command == QLatin1String("find")) {
        if (positional.isEmpty() || positional.size() > 3)
            return usage("find [-i] [-F] [-w] [-l] [--json] PATTERN [LANGUAGE [CATEGORY]]");
        const FindOptions options{positional.takeFirst(), parser.isSet(ignoreCase),
                                  parser.isSet(fixed), parser.isSet(word)};
        return find(context, options, positional, {parser.isSet(namesOnly), parser.isSet(json)});
    }
    if (command == QLatin1String("add")) {
        if (positional.size() != 1)
            return usage("add [--replace] LANGUAGE/CATEGORY/NAME < TEXT");
        return add(context, positional[0], parser.isSet(replace));
    }
    if (command.isEmpty())
        return usage("list|show|find|add ... (see --help)");
    return context.fail(command, QStringLiteral("unknown command (see --help)"));
}

} // namespace

int run(const QStringList &arguments, QIODevice &in, QIODevice &out, QIODevice &err)
{
    Context context{QString(), in, Writer(out), err};
    const int status = dispatch(context, arguments);
    // As grep: output that did not reach its reader is trouble, whatever
    // was found.
    context.out.flush();
    if (!context.out.error().isEmpty())
        return context.fail(QStringLiteral("standard output"),
                            QStringLiteral("write error: ") + context.out.error());
    return status;
}

} // namespace CliCommands
