#include "cli/clicommands.h"

#include "cli/cliprinter.h"
#include "library/libraryedits.h"
#include "library/librarylisting.h"
#include "library/librarypaths.h"
#include "library/librarysearch.h"
#include "library/snippetfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QIODevice>

namespace CliCommands {

namespace {

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
        if (problem != NameProblem::None)
            return LibraryPaths::whyRefused(name, problem);
    }
    return std::nullopt;
}

std::optional<Address> parseAddress(const QString &text, NameUse use, Receiver &receiver)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    if (parts.size() != 3) {
        receiver.problem(text, QStringLiteral("expected Language/Category/Name"));
        return std::nullopt;
    }
    if (const auto why = refusedName(parts, use)) {
        receiver.problem(text, *why);
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
int checkScope(const QString &root, const QStringList &scope, Receiver &receiver)
{
    for (const QString &name : scope) {
        if (LibraryPaths::checkNameToRead(name) == LibraryPaths::NameProblem::HoldsSeparator) {
            receiver.problem(name, LibraryPaths::whyRefused(name, LibraryPaths::NameProblem::HoldsSeparator)
                                       + QStringLiteral(" A language and its category are two "
                                                        "arguments: LANGUAGE CATEGORY."));
            return Failure;
        }
    }
    if (const auto why = refusedName(scope, NameUse::Read)) {
        receiver.problem(scope.join(QLatin1Char('/')), *why);
        return Failure;
    }
    QString path = root;
    if (scope.size() > 0)
        path = LibraryPaths::languagePath(root, scope[0]);
    if (scope.size() > 1)
        path = LibraryPaths::categoryPath(root, scope[0], scope[1]);
    if (!QFileInfo(path).isDir()) {
        const char *what[] = {"no library here", "no such language", "no such category"};
        receiver.problem(path, QLatin1String(what[scope.size()]));
        return Failure;
    }
    return Success;
}

QString snippetPath(const QString &root, const Address &address)
{
    return LibraryPaths::snippetFilePath(
        LibraryPaths::categoryPath(root, address.language, address.category), address.name);
}

// Standard input up to one byte more than a snippet may hold; more is
// refused whole, so that /dev/zero or a runaway pipe ends at once.
std::optional<QByteArray> readInput(QIODevice &in, Receiver &receiver)
{
    constexpr qint64 limit = SnippetFile::maximumSize;
    const QString name = QStringLiteral("standard input");
    if (!in.isReadable()) {
        receiver.problem(name, QStringLiteral("cannot be read; nothing was added"));
        return std::nullopt;
    }
    QByteArray bytes;
    for (;;) {
        const qsizetype filled = bytes.size();
        const qint64 wanted = std::min<qint64>(64 * 1024, limit + 1 - filled);
        if (wanted == 0)
            break;
        bytes.resize(filled + wanted);
        const qint64 got = in.read(bytes.data() + filled, wanted);
        if (got < 0) {
            receiver.problem(name, in.errorString() + QStringLiteral("; nothing was added"));
            return std::nullopt;
        }
        bytes.resize(filled + got);
        if (got == 0)
            break;
    }
    if (bytes.size() > limit) {
        receiver.problem(name, QStringLiteral("more than %1 MiB, the most a snippet may hold; "
                                              "nothing was added")
                                   .arg(limit / (1024 * 1024)));
        return std::nullopt;
    }
    return bytes;
}

} // namespace

// As grep -r: what could be read is given, and a folder that could not is
// a problem that makes the exit status 2.
int list(const QString &root, const QStringList &scope, bool all, Receiver &receiver)
{
    if (const int status = checkScope(root, scope, receiver))
        return status;
    int status = Success;
    const auto unreadable = [&receiver, &status](const QString &path, const QString &reason) {
        receiver.problem(path, reason);
        status = Failure;
    };
    if (all) {
        LibrarySearch::forEachCategory(
            root, scope,
            [&](const QString &language, const QString &category,
                const LibraryListing::CategoryFolder &folder) {
                const QString prefix = language + QLatin1Char('/') + category + QLatin1Char('/');
                for (const LibraryListing::SnippetEntry &entry : folder.snippets())
                    receiver.line(prefix + entry.name);
                return true;
            },
            unreadable);
        return status;
    }
    if (scope.size() == 2) {
        const QString path = LibraryPaths::categoryPath(root, scope[0], scope[1]);
        const LibraryListing::CategoryFolder folder(path);
        for (const LibraryListing::SnippetEntry &entry : folder.snippets())
            receiver.line(entry.name);
        if (!folder.errorString().isEmpty())
            unreadable(path, folder.errorString());
        return status;
    }
    const QString path = scope.isEmpty() ? root : LibraryPaths::languagePath(root, scope[0]);
    QString error;
    for (const QString &name : LibraryListing::existingFolderNames(path, &error))
        receiver.line(name);
    if (!error.isEmpty())
        unreadable(path, error);
    return status;
}

int show(const QString &root, const QString &addressText, CliArguments::ShowPart part,
         Receiver &receiver)
{
    const auto address = parseAddress(addressText, NameUse::Read, receiver);
    if (!address)
        return Failure;
    const QString path = snippetPath(root, *address);
    const SnippetFile::Bytes read = SnippetFile::readBytes(path);
    if (read.status != SnippetFile::ReadStatus::Loaded) {
        receiver.problem(path, read.status == SnippetFile::ReadStatus::Missing
                                   ? QStringLiteral("no such snippet")
                                   : read.errorString);
        return Failure;
    }
    const QString text = SnippetFile::decode(read.bytes);
    switch (part) {
    case CliArguments::ShowPart::Whole:
        // With the file's mark, so that an add of this output stores the
        // same bytes.
        receiver.bytes(SnippetFile::utf8File(text, SnippetFile::hasUtf8Mark(read.bytes)));
        break;
    case CliArguments::ShowPart::Synopsis:
        receiver.line(firstLine(text));
        break;
    case CliArguments::ShowPart::Body:
        receiver.bytes(SnippetFile::parse(text).body.toUtf8());
        break;
    }
    return Success;
}

int find(const QString &root, const LinePattern::Options &options, const QStringList &scope,
         bool namesOnly, bool firstOnly, Receiver &receiver)
{
    const LinePattern pattern(options);
    if (const QString error = pattern.error(); !error.isEmpty()) {
        receiver.problem(options.pattern, QStringLiteral("invalid pattern: ") + error);
        return Failure;
    }
    if (const int status = checkScope(root, scope, receiver))
        return status;

    bool found = false;
    bool troubled = false;
    // Whether the snippet matched.
    const auto search = [&](const QString &snippet, const LibraryListing::CategoryFolder &folder,
                            const LibraryListing::SnippetEntry &entry) {
        using SnippetFile::ReadStatus;
        const SnippetFile::Bytes read = folder.read(entry);
        if (read.status == ReadStatus::NotARegularFile || read.status == ReadStatus::TooLarge) {
            receiver.problem(entry.path, QStringLiteral("skipped, ") + read.errorString);
            return false;
        }
        if (read.status != ReadStatus::Loaded) {
            receiver.problem(entry.path, read.errorString);
            troubled = true;
            return false;
        }

        const bool nameMatches = pattern.matchesLine(entry.name);
        const LinePattern::Verdict verdict = pattern.quickVerdict(read.bytes);
        if ((namesOnly || firstOnly) && (nameMatches || verdict == LinePattern::Verdict::Yes)) {
            receiver.found({snippet, entry.path, std::nullopt});
            return true;
        }
        if (!nameMatches && verdict == LinePattern::Verdict::No)
            return false;

        const QString text = SnippetFile::decode(read.bytes);
        QList<int> gaveUp;
        const QList<LineMatch> lines = verdict == LinePattern::Verdict::No
            ? QList<LineMatch>()
            : pattern.matchingLines(text, &gaveUp);
        // Neither a match nor a miss: said, counted as trouble, and the
        // search goes on.
        for (const int number : std::as_const(gaveUp)) {
            receiver.problem(entry.path + QLatin1Char(':') + QString::number(number),
                             QStringLiteral("the pattern needs too much backtracking on this "
                                            "line; it was not searched"));
            troubled = true;
        }
        if (!nameMatches && lines.isEmpty())
            return false;
        if (namesOnly || firstOnly) {
            receiver.found({snippet, entry.path, std::nullopt});
            return true;
        }
        // A match in the name is line 0, showing the synopsis, unless the
        // synopsis itself matched and is shown as line 1 anyway.
        if (nameMatches && (lines.isEmpty() || lines.first().number != 1))
            receiver.found({snippet, entry.path, LineMatch{0, firstLine(text)}});
        for (const LineMatch &line : lines)
            receiver.found({snippet, entry.path, line});
        return true;
    };
    LibrarySearch::forEachCategory(
        root, scope,
        [&](const QString &language, const QString &category,
            const LibraryListing::CategoryFolder &folder) {
            const QString prefix = language + QLatin1Char('/') + category + QLatin1Char('/');
            for (const LibraryListing::SnippetEntry &entry : folder.snippets()) {
                if (!entry.readByOther && search(prefix + entry.name, folder, entry)) {
                    found = true;
                    if (firstOnly)
                        return false;
                }
            }
            return true;
        },
        [&](const QString &path, const QString &problem) {
            receiver.problem(path, problem);
            troubled = true;
        });
    // As grep -q: a match is the answer, whatever trouble came before it.
    if (found && firstOnly)
        return Success;
    if (troubled)
        return Failure;
    return found ? Success : NothingFound;
}

int add(const QString &root, const QString &addressText, QIODevice &in, bool replace,
        Receiver &receiver)
{
    const auto address = parseAddress(addressText, NameUse::Create, receiver);
    if (!address)
        return Failure;
    const QString path = snippetPath(root, *address);
    const auto input = readInput(in, receiver);
    if (!input)
        return Failure;
    // Stored as read: what "show --whole" printed comes back byte for byte,
    // its byte-order mark included.
    const QString text = SnippetFile::decode(*input);
    const bool mark = SnippetFile::hasUtf8Mark(*input);

    QString error;
    if (LibraryEdits::exists(path)) {
        if (!replace) {
            receiver.problem(path, QStringLiteral("a snippet of this name exists "
                                                  "(--replace replaces it)"));
            return Failure;
        }
        if (!SnippetFile::writeText(path, text, &error, mark)) {
            receiver.problem(path, error + QStringLiteral("; the snippet is unchanged"));
            return Failure;
        }
        return Success;
    }
    if (!LibraryEdits::addSnippet(path, text, &error, mark)) {
        receiver.problem(path, error);
        return Failure;
    }
    return Success;
}

int run(const QStringList &arguments, QIODevice &in, QIODevice &out, QIODevice &err)
{
    CliPrinter printer(out, err);
    const CliArguments::Parsed parsed = CliArguments::parse(arguments);
    if (!parsed.error.isEmpty()) {
        printer.problem(parsed.subject, parsed.error);
        return printer.finish(Failure);
    }
    const CliArguments::Request &request = parsed.request;
    printer.setStyle({request.json, request.quiet});
    int status = Success;
    switch (request.command) {
    case CliArguments::Command::Help:
        printer.bytes(request.text.toUtf8());
        break;
    case CliArguments::Command::Version:
        printer.line(QCoreApplication::applicationName() + QLatin1Char(' ')
                     + QCoreApplication::applicationVersion());
        break;
    case CliArguments::Command::List:
        status = list(request.root, request.scope, request.all, printer);
        break;
    case CliArguments::Command::Show:
        status = show(request.root, request.address, request.part, printer);
        break;
    case CliArguments::Command::Find:
        status = find(request.root, request.pattern, request.scope, request.namesOnly,
                      request.quiet, printer);
        break;
    case CliArguments::Command::Add:
        status = add(request.root, request.address, in, request.replace, printer);
        break;
    }
    return printer.finish(status);
}

} // namespace CliCommands
