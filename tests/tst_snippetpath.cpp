#include "testsupport.h"

#include "library/librarypaths.h"

#include <QDir>
#include <QFile>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

// Which file stands behind a listed snippet name when its extension is not
// spelled ".spt", which typed names the window could never list, and where
// the library is.
class TestSnippetPath : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileBehindAName_data();
    void fileBehindAName();
    void namesTheWindowCouldNotList_data();
    void namesTheWindowCouldNotList();
    void libraryWithoutHome_data();
    void libraryWithoutHome();
};

void TestSnippetPath::fileBehindAName_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    QTest::newRow("exact spelling wins") << QStringList{"x.SPT", "x.spt"} << QStringList()
                                         << "x" << "x.spt";
    QTest::newRow("capitals first, as a sorted listing")
        << QStringList{"x.spT", "x.Spt", "x.SPt"} << QStringList() << "x" << "x.SPt";
    QTest::newRow("nothing there: the file a save creates")
        << QStringList{"y.SPT"} << QStringList() << "x" << "x.spt";
    QTest::newRow("no stand-in with a longer name")
        << QStringList{"x.old.SPT", "X.SPT"} << QStringList() << "x" << "x.spt";
    QTest::newRow("a folder is never the file")
        << QStringList{"x.Spt"} << QStringList{"x.spt", "x.SPT"} << "x" << "x.Spt";
    QTest::newRow("wildcard characters are plain characters")
        << QStringList{"[x].SPT", "x.SPT"} << QStringList() << "[x]" << "[x].SPT";
    QTest::newRow("empty name") << QStringList{".SPT"} << QStringList() << "" << ".SPT";
}

void TestSnippetPath::fileBehindAName()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, folders);
    QFETCH(QString, name);
    QFETCH(QString, expected);

#ifdef Q_OS_WIN
    // Names that differ only in letter case are one file here.
    QStringList lowerNames;
    for (const QString &name : files + folders)
        lowerNames << name.toLower();
    if (lowerNames.removeDuplicates() > 0)
        QSKIP("Windows file names ignore letter case: the row's names are one name there");
    // And a name reaches a file in any spelling: the answer is the file's own.
    for (const QString &file : files) {
        if (file.compare(expected, Qt::CaseInsensitive) == 0)
            expected = file;
    }
#endif

    QTemporaryDir category;
    for (const QString &file : files)
        QVERIFY(QFile(category.filePath(file)).open(QIODevice::WriteOnly));
    for (const QString &folder : folders)
        QVERIFY(QDir(category.path()).mkdir(folder));

    QCOMPARE(LibraryPaths::snippetFilePath(category.path(), name),
             category.path() + QDir::separator() + expected);
}

void TestSnippetPath::namesTheWindowCouldNotList_data()
{
    using P = LibraryPaths::NameProblem;
    QTest::addColumn<QString>("name");
    QTest::addColumn<P>("asFolder");
    QTest::addColumn<P>("asSnippet");
    QTest::addColumn<QString>("said"); // part of the message for asSnippet

    QTest::newRow("plain") << "std.sort" << P::None << P::None << QString();
#ifdef Q_OS_WIN
    QTest::newRow("colon, which Windows forbids")
        << ":wq" << P::ForbiddenOnThisSystem << P::ForbiddenOnThisSystem << "does not allow";
#else
    QTest::newRow("colon first is no resource path") << ":wq" << P::None << P::None << QString();
#endif
    QTest::newRow("absolute") << "/tmp/Escaped" << P::LeavesLibrary << P::LeavesLibrary
                              << "outside the snippet library";
    QTest::newRow("dot-dot component") << "a/../../Escaped" << P::LeavesLibrary
                                       << P::LeavesLibrary << "\"..\"";
    // The message names the separator that is there, not another one.
    QTest::newRow("slash") << "Other/Loops" << P::HoldsSeparator << P::HoldsSeparator
                           << "contain \"/\"";
    QTest::newRow("backslash") << "Other\\Loops" << P::HoldsSeparator << P::HoldsSeparator
                               << "contain \"\\\"";
#ifdef Q_OS_WIN
    QTest::newRow("leading dot hides nothing") << ".NET" << P::None << P::None << QString();
    QTest::newRow("empty: .spt is a file like any") << "" << P::None << P::None << QString();
#else
    QTest::newRow("leading dot") << ".NET" << P::Hidden << P::Hidden << "start with \".\"";
    QTest::newRow("empty: .spt is hidden") << "" << P::None << P::Hidden << "needs a name";
#endif
}

void TestSnippetPath::namesTheWindowCouldNotList()
{
    QFETCH(QString, name);
    QFETCH(LibraryPaths::NameProblem, asFolder);
    QFETCH(LibraryPaths::NameProblem, asSnippet);
    QFETCH(QString, said);
    QCOMPARE(LibraryPaths::checkName(name), asFolder);
    QCOMPARE(LibraryPaths::checkSnippetName(name), asSnippet);
    QCOMPARE(LibraryPaths::isNameInsideLibrary(name), asFolder != LibraryPaths::NameProblem::LeavesLibrary);
    const QString message = LibraryPaths::whyRefused(name, asSnippet);
    QVERIFY2(said.isEmpty() ? message.isEmpty() : message.contains(said), qPrintable(message));
}

void TestSnippetPath::libraryWithoutHome_data()
{
    QTest::addColumn<bool>("unset");
    QTest::newRow("HOME unset") << true;
    QTest::newRow("HOME empty") << false;
}

void TestSnippetPath::libraryWithoutHome()
{
#ifndef Q_OS_UNIX
    QSKIP("Windows takes the profile folder from the shell, not from HOME");
#else
    QFETCH(bool, unset);
    const QByteArray isolated = qgetenv("HOME");
    // What Qt answers when HOME is what the user database says.
    qputenv("HOME", getpwuid(getuid())->pw_dir);
    const QString expected = LibraryPaths::rootPath();
    if (unset)
        qunsetenv("HOME");
    else
        qputenv("HOME", "");
    const QString root = LibraryPaths::rootPath();
    const QString home = LibraryPaths::homePath();
    qputenv("HOME", isolated);

    QCOMPARE(root, expected);
    QCOMPARE(home, QFile::decodeName(getpwuid(getuid())->pw_dir));
    QVERIFY(!root.startsWith(QLatin1String("/Documents")));
#endif
}

QUILLORY_TEST_MAIN(TestSnippetPath)
#include "tst_snippetpath.moc"
