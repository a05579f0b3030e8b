#include "testsupport.h"

#include "cli/clicommands.h"
#include "library/librarylisting.h"
#include "library/snippetfile.h"
#include "hostile/treesnapshot.h"

#include <QBuffer>
#include <QMap>

#include <csignal>
#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/capability.h>
#include <sys/syscall.h>
#endif

// quillory-cli's commands on a small library: output, exit status, refusals,
// and that only a successful add changes anything on disk.
class TestCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void commands_data();
    void commands();
};

namespace {

#ifdef Q_OS_LINUX
// Root reads every folder whatever its mode; without these two capabilities
// it is held to the mode like anyone else.
bool overridePermissions(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2];
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const quint32 bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective = on ? data[0].effective | (data[0].permitted & bits)
                           : data[0].effective & ~bits;
    return ::syscall(SYS_capset, &header, data) == 0;
}
#endif
// A library so deep that a category of a long name lies beyond the longest
// path the system opens, while the folders above it and a short category
// beside it can still be read: an unreadable folder even for root.
QString deepLibrary()
{
    QString path = QDir::homePath() + QStringLiteral("/deep");
    while (path.size() < 3850)
        path += QLatin1Char('/') + QString(200, QLatin1Char('d'));
    return path;
}

const QMap<QString, QByteArray> textFiles = {
    {QStringLiteral("bom"), "\xEF\xBB\xBFsyn\nbody\n"},
    {QStringLiteral("twomarks"), "\xEF\xBB\xBF\xEF\xBB\xBFsyn\n"},
    {QStringLiteral("trail"), "syn\nx\n\n\ny  \n"},
    {QStringLiteral("backtrack"), "syn\n" + QByteArray(30, 'x') + " y\nxxy\n"},
    {QStringLiteral("lines"), "syn\na\n\nb\n"},
    {QStringLiteral("unended"), "syn\nthe last words of all"},
};

} // namespace

void TestCli::init()
{
    TreeSnapshot::removeTree(TestSupport::documentsPath());
    using TestSupport::writeFile;
    writeFile(QStringLiteral("C++/Strings/Split.spt"), "Split a string\nauto parts = s.split(',');\n");
    writeFile(QStringLiteral("C++/Strings/Join.SPT"), "Join\r\nx.join(y)\n");
    writeFile(QStringLiteral("C++/Strings/notes.txt"), "split");
    writeFile(QStringLiteral("C++/Strings/.hidden.spt"), "split");
    writeFile(QStringLiteral("Default/Default/Wide.spt"),
              QByteArray("\xFF\xFEW\0i\0d\0e\0\n\0w\0i\0d\0e\0c\0h\0a\0r\0", 28));
    writeFile(QStringLiteral("Default/Default/Latin.spt"), "caf\xE9 menu\nna\xEFve \x93quoted\x94\n");
    QDir().mkpath(TestSupport::lib(QStringLiteral("alpha")));
}

void TestCli::commands_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    // At Odd/Files: "fifo.spt", "huge.spt" (over the size limit), "twice.spt" and
    // "twice.SPT", or "shadow.SPT" beside a FIFO "shadow.spt", "a\b.spt", a
    // name that is not UTF-8 ("latin1"), or the text files "trail",
    // "backtrack", "lines", "unended"; "unreadable": Odd/Files cannot be read, Odd/Fine
    // holds "ok.spt"; "limit": files may not grow beyond 4 KiB; "deep":
    // deepLibrary() with a category whose path is too long to open. Input
    // "closed", "folder" or "endless" (/dev/zero); output "full".
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("error"); // part of stderr; empty: stderr is empty
    QTest::addColumn<QString>("written"); // the file an add writes; empty: nothing changes

    const auto row = [](const char *name, const QStringList &arguments, int status,
                        const QByteArray &output, const QString &error = QString(),
                        const QString &setup = QString()) {
        QTest::newRow(name) << arguments << QByteArray() << setup << status << output << error
                            << QString();
    };
    const QByteArray latin = "caf\xC3\xA9 menu\nna\xC3\xAFve \xE2\x80\x9Cquoted\xE2\x80\x9D\n";

    row("languages, window's order", {"list"}, 0, "Default\nC++\nalpha\n");
    row("snippets, any-case suffix", {"list", "C++", "Strings"}, 0, "Join\nSplit\n");
    row("a name for each file", {"list", "Odd", "Files"}, 0, "twice\ntwice\n", QString(), "twice");
    row("every snippet", {"list", "--all", "C++"}, 0, "C++/Strings/Join\nC++/Strings/Split\n");
    row("missing language", {"list", "Perl"}, 2, "", "no such language");
    row("name leaving the library", {"list", ".."}, 2, "", "\"..\"");
    // It used to name a backslash for a slash, and not say how to ask.
    row("language/category as one name: the slash named", {"list", "C++/Strings"}, 2, "",
        "contain \"/\"");
    row("language/category as one name: two arguments", {"list", "C++/Strings"}, 2, "",
        "two arguments");
    row("other library", {"list", "--library", TestSupport::lib("C++")}, 0, "Strings\n");
    row("empty library name refused", {"list", "--library", ""}, 2, "", "--library: empty");
    row("output that cannot be written", {"list"}, 2, "", "standard output: write error", "full");
    row("name that is not UTF-8 not listed", {"list", "Odd", "Files"}, 0, "a\\b\n", QString(),
        "latin1");
    row("unreadable category said, the rest listed", {"list", "--all", "Odd"}, 2,
        "Odd/Fine/ok\n", "Odd/Files: Permission denied", "unreadable");
    row("unreadable category", {"list", "Odd", "Files"}, 2, "", "Permission denied",
        "unreadable");

    row("body", {"show", "C++/Strings/Join"}, 0, "x.join(y)\n");
    row("UTF-16 synopsis", {"show", "--synopsis", "Default/Default/Wide"}, 0, "Wide\n");
    row("Windows-1252 as UTF-8", {"show", "--whole", "Default/Default/Latin"}, 0, latin);
    row("missing snippet", {"show", "C++/Strings/Sort"}, 2, "", "no such snippet");
    // Without it, an add of this output stored other bytes.
    row("byte-order mark kept by --whole", {"show", "--whole", "Odd/Files/bom"}, 0,
        "\xEF\xBB\xBFsyn\nbody\n", QString(), "bom");
    row("U+FEFF after the mark kept by --whole", {"show", "--whole", "Odd/Files/twomarks"}, 0,
        "\xEF\xBB\xBF\xEF\xBB\xBFsyn\n", QString(), "twomarks");
    row("no mark added for the body", {"show", "Odd/Files/bom"}, 0, "body\n", QString(), "bom");
    row("plain string after a mark: decided from the bytes", {"find", "-F", "syn", "Odd"}, 0,
        "Odd/Files/bom:1:syn\n", QString(), "bom");
    row("plain string after a mark: names only", {"find", "-l", "-F", "body", "Odd"}, 0,
        "Odd/Files/bom\n", QString(), "bom");
    row("FIFO is never opened", {"show", "Odd/Files/fifo"}, 2, "", "not a regular file", "fifo");
    row("file over the size limit", {"show", "Odd/Files/huge"}, 2, "", "larger than 32 MiB", "huge");
    row("address of two parts", {"show", "C++/Join"}, 2, "", "Language/Category/Name");
    row("name made elsewhere shown", {"show", "Odd/Files/a\\b"}, 0, "body", QString(), "latin1");
    row("show into a full disk", {"show", "C++/Strings/Join"}, 2, "", "write error", "full");

    // The stray byte used to turn the whole file into Windows-1252 mojibake.
    row("UTF-8 with a stray byte", {"show", "--synopsis", "Odd/Files/mixed"}, 0,
        "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e\n", QString(), "mixed");
    row("UTF-8 with a stray byte found", {"find", "-F", "br\xC3\xBBl\xC3\xA9" "e", "Odd"}, 0,
        "Odd/Files/mixed:1:Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e\n", QString(), "mixed");
    row("UTF-16 found", {"find", "-F", "widechar"}, 0, "Default/Default/Wide:2:widechar\n");
    row("Windows-1252 by ASCII regex", {"find", "na.ve"}, 0,
        "Default/Default/Latin:2:na\xC3\xAFve \xE2\x80\x9Cquoted\xE2\x80\x9D\n");
    row("Windows-1252 by non-ASCII bytes", {"find", "-F", "caf\xC3\xA9"}, 0,
        "Default/Default/Latin:1:caf\xC3\xA9 menu\n");
    row("name only, as line 0", {"find", "-F", "Lat"}, 0, "Default/Default/Latin:0:caf\xC3\xA9 menu\n");
    row("synopsis is line 1, CR dropped", {"find", "-i", "JOIN", "C++"}, 0,
        "C++/Strings/Join:1:Join\nC++/Strings/Join:2:x.join(y)\n");
    row("names only", {"find", "-l", "-F", "split"}, 0, "C++/Strings/Split\n");
    // The raw-bytes search at its edges: the file's first byte, its last
    // line's end, a literal too long for the rare-byte search, one byte off.
    row("literal at the first byte", {"find", "-l", "-F", "Split a"}, 0, "C++/Strings/Split\n");
    row("literal at the last byte", {"find", "-l", "-F", "all", "Odd"}, 0, "Odd/Files/unended\n",
        QString(), "unended");
    row("long literal at the last byte", {"find", "-l", "-F", "the last words of all", "Odd"}, 0,
        "Odd/Files/unended\n", QString(), "unended");
    row("long literal, one byte off", {"find", "-l", "-F", "auto parts = s.split(';');"}, 1, "");
    row("ignoring case, at the first byte", {"find", "-l", "-i", "-F", "SPLIT A"}, 0,
        "C++/Strings/Split\n");
    row("whole words", {"find", "-w", "-F", "par"}, 1, "");
    row("JSON", {"find", "--json", "-F", "x.join", "C++", "Strings"}, 0,
        "{\"file\":\""
            + QDir::toNativeSeparators(TestSupport::lib("C++/Strings/Join.SPT")).toUtf8().replace('\\', "\\\\")
            + "\",\"line\":2,\"snippet\":\"C++/Strings/Join\",\"text\":\"x.join(y)\"}\n");
    row("nothing found", {"find", "-F", "zzz"}, 1, "");
    row("one file for names listed twice", {"find", "-l", "-F", "twice", "Odd"}, 0,
        "Odd/Files/twice\n", QString(), "twice");
    row("FIFO read for a listed name", {"find", "-F", "zzz", "Odd"}, 1, "",
        "skipped, not a regular file", "shadow");
    row("no match across lines", {"find", "Join\\s+x"}, 1, "");
    // Each line of a fixed string is a string of its own, as with grep -F.
    row("a line feed separates fixed strings", {"find", "-l", "-F", "string\nauto"}, 0,
        "C++/Strings/Split\n");
    row("fixed strings by line", {"find", "-F", "split\nx.join", "C++"}, 0,
        "C++/Strings/Join:2:x.join(y)\nC++/Strings/Split:2:auto parts = s.split(',');\n");
    row("hit across lines, then line by line", {"find", "\\s+$", "Odd"}, 0,
        "Odd/Files/trail:5:y  \n", QString(), "trail");
    row("engine gives up: said, and the search goes on", {"find", "(x+x+)+y", "Odd"}, 2,
        "Odd/Files/backtrack:3:xxy\n", "backtrack.spt:2: the pattern needs too much",
        "backtrack");
    row("no line after the last line feed", {"find", "-w", "", "Odd"}, 0,
        "Odd/Files/lines:3:\n", QString(), "lines");
    row("unreadable category: said, the rest still printed",
        {"find", "-F", "found", "--library", deepLibrary()}, 2, "L/ok/s:2:found\n",
        "File name too long", "deep");
    row("anchors at each line", {"find", "^auto"}, 0,
        "C++/Strings/Split:2:auto parts = s.split(',');\n");
    row("FIFO is not listed", {"find", "-F", "zzz", "Odd"}, 1, "", QString(), "fifo");
    // Listed as the window lists it, to say why it cannot be shown.
    row("link to a device listed", {"list", "Odd", "Files"}, 0, "zero\n", QString(), "zero");
    row("link to a device: skipped, said, never opened", {"find", "-F", "zzz", "Odd"}, 1, "",
        "zero.spt: skipped, not a regular file", "zero");
    row("file over the size limit skipped", {"find", "-F", "zzz", "Odd"}, 1, "", "skipped", "huge");
    row("name that is not UTF-8 no trouble", {"find", "-F", "zzz", "Odd"}, 1, "", QString(),
        "latin1");
    row("find into a full disk", {"find", "-F", "split"}, 2, "", "write error", "full");
    row("quiet: found", {"find", "-q", "-F", "split"}, 0, "");
    row("quiet: nothing found", {"find", "--quiet", "-F", "zzz"}, 1, "");
    row("quiet: invalid expression", {"find", "-q", "("}, 2, "", "invalid pattern");
    // As grep -q: a match answers, whatever trouble came before it.
    row("quiet: a match after trouble", {"find", "-q", "-F", "found", "--library", deepLibrary()},
        0, "", "File name too long", "deep");
    row("quiet belongs to find", {"list", "-q"}, 2, "", "belongs to find");
    row("invalid expression", {"find", "("}, 2, "", "invalid pattern");
    row("missing category", {"find", "x", "C++", "Nope"}, 2, "", "no such category");

    const QByteArray perl = "For each\nfor my $x (@list) {}\n";
    QTest::newRow("add creates the folders") << QStringList{"add", "Perl/Loops/foreach"} << perl
                                             << QString() << 0 << QByteArray() << QString()
                                             << "Perl/Loops/foreach.spt";
    QTest::newRow("add --replace keeps the suffix's case")
        << QStringList{"add", "--replace", "C++/Strings/Join"} << perl << QString() << 0
        << QByteArray() << QString() << "C++/Strings/Join.SPT";
    QTest::newRow("add never replaces") << QStringList{"add", "C++/Strings/Join"} << perl
                                        << QString() << 2 << QByteArray() << "--replace" << QString();
    QTest::newRow("failed add takes its folders away")
        << QStringList{"add", "Perl/Loops/foreach"} << QByteArray(8192, 'x') << "limit" << 2
        << QByteArray() << "nothing was added" << QString();
    const auto addRow = [](const char *name, const QStringList &arguments, const QByteArray &input,
                           int status, const QString &error, const QString &written,
                           const QString &setup = QString()) {
        QTest::newRow(name) << arguments << input << setup << status << QByteArray() << error
                            << written;
    };
    addRow("add keeps a byte-order mark", {"add", "P/L/bom"}, "\xEF\xBB\xBFsyn\nbody", 0,
           QString(), "P/L/bom.spt");
    addRow("add keeps U+FEFF after the mark", {"add", "P/L/two"}, "\xEF\xBB\xBF\xEF\xBB\xBFs\n", 0,
           QString(), "P/L/two.spt");
    addRow("add --replace keeps a byte-order mark", {"add", "--replace", "C++/Strings/Split"},
           "\xEF\xBB\xBFsyn\n", 0, QString(), "C++/Strings/Split.spt");
    addRow("add keeps a carriage return before the first line feed", {"add", "P/L/crlf"},
           "Join\r\nx.join(y)\n", 0, QString(), "P/L/crlf.spt");
    addRow("add adds no line feed to a synopsis alone", {"add", "P/L/one"}, "one line", 0,
           QString(), "P/L/one.spt");
    addRow("add --replace from a folder changes nothing", {"add", "--replace", "C++/Strings/Join"},
           "", 2, "standard input", QString(), "folder");
    addRow("add from a closed input changes nothing", {"add", "P/L/x"}, "", 2,
           "standard input: cannot be read", QString(), "closed");
    addRow("add reads no more than a snippet may hold", {"add", "P/L/zero"}, "", 2,
           "more than 32 MiB", QString(), "endless");
    row("add outside the library", {"add", "../Escaped/x"}, 2, "", "\"..\"");
#ifdef Q_OS_UNIX
    row("add a hidden language", {"add", ".NET/Loops/x"}, 2, "", "start with");
#endif

    row("help lists the commands", {"--help"}, 0, QByteArray());
    // The set-up helper used to let a lost write pass.
    row("a set-up file that cannot be written fails the test", {"--help"}, 0, QByteArray(),
        QString(), "unwritable");
    row("option of another command", {"list", "--replace"}, 2, "", "belongs to add");
    row("unknown command", {"edit"}, 2, "", "unknown command");
}

void TestCli::commands()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QString, setup);
    QFETCH(int, status);
    QFETCH(QByteArray, output);
    QFETCH(QString, error);
    QFETCH(QString, written);

    const QString odd = TestSupport::lib(QStringLiteral("Odd/Files/") + setup);
    QBuffer in(&input);
    QByteArray outBytes;
    QByteArray errBytes;
    QBuffer out(&outBytes);
    QBuffer err(&errBytes);
    QFile otherIn;
    QFile otherOut;
    QIODevice *inDevice = &in;
    QIODevice *outDevice = &out;
    if (setup != QLatin1String("closed"))
        in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    if (setup == QLatin1String("mixed"))
        TestSupport::writeFile(QStringLiteral("Odd/Files/mixed.spt"), "Cr\xC3\xA8me br\xC3\xBBl\xE9" "e\n");
    if (setup == QLatin1String("huge")) {
        QDir().mkpath(QFileInfo(odd).absolutePath());
        QFile file(odd + ".spt"); // sparse: the size is all that counts
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(SnippetFile::maximumSize + 1));
    }
    if (textFiles.contains(setup))
        QVERIFY(TestSupport::writeFile("Odd/Files/" + setup + ".spt", textFiles.value(setup)));
#ifndef Q_OS_LINUX
    if (setup == QLatin1String("full") || setup == QLatin1String("endless")
        || setup == QLatin1String("unreadable") || setup == QLatin1String("unwritable"))
        QSKIP("/dev/full, /dev/zero and capabilities are Linux's");
#endif
#ifndef Q_OS_UNIX
    if (setup == QLatin1String("fifo") || setup == QLatin1String("shadow")
        || setup == QLatin1String("limit") || setup == QLatin1String("folder")
        || setup == QLatin1String("latin1") || setup == QLatin1String("deep")
        || setup == QLatin1String("zero"))
        QSKIP("FIFOs, a file-size limit, folders as input, names that are not UTF-8 and "
              "paths too long to open are POSIX's");
    if (setup == QLatin1String("twice"))
        QSKIP("Windows file names ignore letter case: the two files would be one");
#else
    if (setup == QLatin1String("zero")) {
        QVERIFY(QDir().mkpath(QFileInfo(odd).absolutePath()));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), odd + ".spt"));
    }
    if (setup == QLatin1String("fifo") || setup == QLatin1String("shadow")) {
        QDir().mkpath(QFileInfo(odd).absolutePath());
        QCOMPARE(::mkfifo(QFile::encodeName(odd + ".spt").constData(), 0600), 0);
    }
    if (setup == QLatin1String("twice") || setup == QLatin1String("shadow"))
        TestSupport::writeFile("Odd/Files/" + setup + ".SPT", "twice");
    if (setup == QLatin1String("twice"))
        TestSupport::writeFile("Odd/Files/twice.spt", "twice");
    if (setup == QLatin1String("latin1")) {
        TestSupport::writeFile(QStringLiteral("Odd/Files/a\\b.spt"), "synopsis\nbody");
        const QByteArray name = QFile::encodeName(TestSupport::lib(QStringLiteral("Odd/Files/")))
            + "caf\xE9.spt";
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    if (setup == QLatin1String("folder")) {
        const int fd = ::open(QFile::encodeName(TestSupport::documentsPath()).constData(),
                              O_RDONLY | O_DIRECTORY);
        QVERIFY(otherIn.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        inDevice = &otherIn;
    }
    if (setup == QLatin1String("endless")) {
        otherIn.setFileName(QStringLiteral("/dev/zero"));
        QVERIFY(otherIn.open(QIODevice::ReadOnly));
        inDevice = &otherIn;
    }
    if (setup == QLatin1String("unwritable")) {
        QVERIFY(QDir().mkpath(QFileInfo(odd).absolutePath()));
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), odd + ".spt"));
        QEXPECT_FAIL("", "nothing can be written to /dev/full", Abort);
        const bool written = TestSupport::writeFile("Odd/Files/" + setup + ".spt", "x");
        if (written)
            QVERIFY(written); // an unexpected pass: the helper did not fail
        return;
    }
    if (setup == QLatin1String("full")) {
        otherOut.setFileName(QStringLiteral("/dev/full"));
        QVERIFY(otherOut.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        outDevice = &otherOut;
    }
    const QString unreadable = TestSupport::lib(QStringLiteral("Odd/Files"));
    if (setup == QLatin1String("unreadable")) {
        TestSupport::writeFile(QStringLiteral("Odd/Files/hidden.spt"), "x");
        TestSupport::writeFile(QStringLiteral("Odd/Fine/ok.spt"), "ok");
    }
    if (setup == QLatin1String("deep")) {
        const QString root = deepLibrary();
        QVERIFY(QDir().mkpath(root + QStringLiteral("/L/ok")));
        QFile snippet(root + QStringLiteral("/L/ok/s.spt"));
        QVERIFY(snippet.open(QIODevice::WriteOnly));
        snippet.write("syn\nfound\n");
        snippet.close();
        const int language = ::open(QFile::encodeName(root + QStringLiteral("/L")).constData(),
                                    O_RDONLY | O_DIRECTORY);
        QVERIFY(language >= 0);
        const QByteArray tooDeep(250, 'c');
        QVERIFY(::mkdirat(language, tooDeep.constData(), 0700) == 0 || errno == EEXIST);
        ::close(language);
    }
    struct rlimit unlimited;
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    // A write beyond the limit fails instead of ending the test; the tests
    // after this one get the disposition back.
    const auto fileSizeSignal = std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGXFSZ, fileSizeSignal);
    if (setup == QLatin1String("limit")) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = unlimited;
        small.rlim_cur = 4096;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
#endif
    const TreeSnapshot::Tree before = TreeSnapshot::take(TestSupport::documentsPath());

#ifdef Q_OS_LINUX
    const QFileDevice::Permissions readable = QFile::permissions(unreadable);
    if (setup == QLatin1String("unreadable")) {
        QVERIFY(QFile::setPermissions(unreadable, {}));
        QVERIFY(overridePermissions(false));
    }
#endif
    const int result =
        CliCommands::run(QStringList{"quillory-cli"} + arguments, *inDevice, *outDevice, err);
#ifdef Q_OS_UNIX
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, fileSizeSignal);
    if (setup == QLatin1String("deep")) {
        // Too deep for a removal by path: the test's home could not go.
        const int language = ::open(QFile::encodeName(deepLibrary() + QStringLiteral("/L")).constData(),
                                    O_RDONLY | O_DIRECTORY);
        ::unlinkat(language, QByteArray(250, 'c').constData(), AT_REMOVEDIR);
        ::close(language);
        QDir(QDir::homePath() + QStringLiteral("/deep")).removeRecursively();
    }
#endif
#ifdef Q_OS_LINUX
    if (setup == QLatin1String("unreadable")) {
        QVERIFY(overridePermissions(true));
        QVERIFY(QFile::setPermissions(unreadable, readable));
    }
#endif

    QVERIFY2(error.isEmpty() ? errBytes.isEmpty() : errBytes.contains(error.toUtf8()),
             errBytes.constData());
    QCOMPARE(result, status);
    // The window lists a category as the terminal tool does.
    if (status == 0 && arguments.size() == 3 && arguments[0] == QLatin1String("list")
        && !arguments.join(QString()).contains(QLatin1Char('-')))
        QCOMPARE(LibraryListing::snippetNames(TestSupport::lib(arguments[1] + '/' + arguments[2]))
                     .join('\n').toUtf8() + '\n', output);
    if (arguments.contains(QLatin1String("--help")))
        QVERIFY(outBytes.contains("find PATTERN") && outBytes.contains("add LANGUAGE"));
    else
        QCOMPARE(outBytes, output);
    if (written.isEmpty()) {
        const TreeSnapshot::Tree after = TreeSnapshot::take(TestSupport::documentsPath());
        QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(before, after));
        QVERIFY(after == before); // nor a new "Default" folder, which differences() lets pass
    }
    else
        QCOMPARE(TestSupport::readFile(written), input);
}

QUILLORY_TEST_MAIN(TestCli)
#include "tst_cli.moc"
