#include "testsupport.h"
#include "treesnapshot.h"

#include "library/snippetfile.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTextEdit>

#include <csignal>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#endif

// Libraries as a sync tool, another program or a careless user may leave
// them: the window must come up, list what it can and leave alone whatever
// it was not asked to change.
class TestHostileLibrary : public QObject, private TestSupport::WindowDriver
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void fileWhereAFolderBelongs_data();
    void fileWhereAFolderBelongs();
    void saveWhereNoFolderCanBeMadeWarns();
    void folderNamedLikeASnippet();
    void folderBesideASnippetInOtherCase();
    void longNames_data();
    void longNames();
    void oddBytesInNames_data();
    void oddBytesInNames();
    void namesThatAreNotUtf8();
    void symbolicLinkLoops();
    void linksOutOfTheLibrary();
    void entriesThatAreNotSnippets_data();
    void entriesThatAreNotSnippets();
    void removeWithABrokenTrash_data();
    void removeWithABrokenTrash();
    void hugeSnippet();
    void snippetFullOfNulBytes();
    void categoryWithFiftyThousandSnippets();
    void cleanupTestCase();

    void saveStoppedByTheFileSizeLimitKeepsTheOldBytes();
    void snippetChangedBehindTheWindow_data();
    void snippetChangedBehindTheWindow();

private:
    QLineEdit *synopsisField()
    {
        return m_window->findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis"));
    }
    QTextEdit *bodyField()
    {
        return m_window->findChild<QTextEdit *>(QStringLiteral("textEditSnippet"));
    }
    QStringList items(const char *name) { return TestSupport::itemTexts(box(name)); }
    QStringList current();

};

namespace {

QString lib(const QString &relative)
{
    return TestSupport::libraryPath() + QLatin1Char('/') + relative;
}

QByteArray libBytes(const QByteArray &relative)
{
    return QFile::encodeName(TestSupport::libraryPath()) + '/' + relative;
}

#ifdef Q_OS_WIN
// Windows names are UTF-16: the tests' byte names are UTF-8 spellings of them.
void makeRawDirs(const QByteArray &relative)
{
    QDir().mkpath(TestSupport::libraryPath() + QLatin1Char('/') + QString::fromUtf8(relative));
}

void writeRaw(const QByteArray &relative, const QByteArray &bytes)
{
    const qsizetype slash = relative.lastIndexOf('/');
    if (slash > 0)
        makeRawDirs(relative.left(slash));
    QFile file(TestSupport::libraryPath() + QLatin1Char('/') + QString::fromUtf8(relative));
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.fileName()));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readRaw(const QByteArray &relative)
{
    QFile file(TestSupport::libraryPath() + QLatin1Char('/') + QString::fromUtf8(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
#else
// Raw bytes all the way down, so that names Qt cannot decode still reach disk.
void makeRawDirs(const QByteArray &relative)
{
    QByteArray path = QFile::encodeName(TestSupport::documentsPath());
    ::mkdir(path.constData(), 0755);
    path = libBytes(QByteArray());
    path.chop(1);
    ::mkdir(path.constData(), 0755);
    for (const QByteArray &part : relative.split('/')) {
        path += '/' + part;
        ::mkdir(path.constData(), 0755);
    }
}

void writeRaw(const QByteArray &relative, const QByteArray &bytes)
{
    const qsizetype slash = relative.lastIndexOf('/');
    if (slash > 0)
        makeRawDirs(relative.left(slash));
    const QByteArray path = libBytes(relative);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY2(fd >= 0, path.constData());
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    ::close(fd);
}

QByteArray readRaw(const QByteArray &relative)
{
    const int fd = ::open(libBytes(relative).constData(), O_RDONLY);
    if (fd < 0)
        return "<missing>";
    QByteArray bytes;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, got);
    ::close(fd);
    return bytes;
}
#endif

void writeFile(const QString &relative, const QByteArray &bytes)
{
    writeRaw(QFile::encodeName(relative), bytes);
}

QByteArray readFile(const QString &relative)
{
    return readRaw(QFile::encodeName(relative));
}

void remember(const QString &language, const QString &category, const QString &snippet)
{
    QSettings settings;
    settings.setValue(QStringLiteral("Language"), language);
    settings.setValue(QStringLiteral("Category"), category);
    settings.setValue(QStringLiteral("Snippet"), snippet);
}

TreeSnapshot::Tree documents()
{
    return TreeSnapshot::take(TestSupport::documentsPath());
}

// Answers the warning that a failed save shows; the flag tells it appeared.
std::shared_ptr<bool> acceptNextWarning()
{
    return TestSupport::whenModalOpens([](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QVERIFY(box);
        box->accept();
    });
}

} // namespace

QStringList TestHostileLibrary::current()
{
    return {box("comboBoxLanguage")->currentText(), box("comboBoxCategory")->currentText(),
            box("comboBoxSnippet")->currentText()};
}

void TestHostileLibrary::init()
{
    TestSupport::beginTest();
    m_window.reset();
    QSettings().clear();
#ifdef Q_OS_WIN
    TestSupport::resetHome();
#else
    TreeSnapshot::removeTree(QDir::homePath());
    QDir().mkpath(QDir::homePath());
#endif
}

void TestHostileLibrary::cleanup()
{
    TestSupport::endTest();
}

void TestHostileLibrary::cleanupTestCase()
{
    // What QTemporaryDir cannot remove on its own.
    m_window.reset();
#ifndef Q_OS_WIN
    TreeSnapshot::removeTree(QDir::homePath());
#endif
}

void TestHostileLibrary::fileWhereAFolderBelongs_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("languages");
    QTest::addColumn<QStringList>("categories");

    // Paths below are relative to Documents; each case remembers Perl/Loops.
    QTest::newRow("language") << "/My Snippets/Perl" << QStringList{"Default", "Shell"}
                              << QStringList{"Default"};
    QTest::newRow("category") << "/My Snippets/Perl/Loops"
                              << QStringList{"Default", "Perl", "Shell"} << QStringList{"Default"};
    QTest::newRow("the Default language")
        << "/My Snippets/Default" << QStringList{"Default", "Shell"} << QStringList{"Default"};
    QTest::newRow("the library") << "/My Snippets" << QStringList{"Default"}
                                 << QStringList{"Default"};
    QTest::newRow("the Documents folder") << "" << QStringList{"Default"} << QStringList{"Default"};
}

void TestHostileLibrary::fileWhereAFolderBelongs()
{
    QFETCH(QString, file);
    QFETCH(QStringList, languages);
    QFETCH(QStringList, categories);

    QDir().mkpath(lib(QStringLiteral("Shell/Default")));
    const QString path = TestSupport::documentsPath() + file;
    QDir(path).removeRecursively();
    QFile::remove(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile stray(path);
    QVERIFY(stray.open(QIODevice::WriteOnly));
    stray.write("left here by someone else\n");
    stray.close();
    remember(QStringLiteral("Perl"), QStringLiteral("Loops"), QStringLiteral("s"));
    const TreeSnapshot::Tree before = documents();

    open();
    QCOMPARE(items("comboBoxLanguage"), languages);
    QCOMPARE(items("comboBoxCategory"), categories);
    QCOMPARE(box("comboBoxSnippet")->count(), 0);
    QCOMPARE(synopsisField()->text(), QString());
    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(before, documents()));
}

void TestHostileLibrary::saveWhereNoFolderCanBeMadeWarns()
{
    QFile documentsFile(TestSupport::documentsPath());
    QVERIFY(documentsFile.open(QIODevice::WriteOnly));
    documentsFile.write("not a folder");
    documentsFile.close();
    open();
    const TreeSnapshot::Tree before = documents();

    synopsisField()->setText(QStringLiteral("typed"));
    auto named = TestSupport::typeIntoNextInputDialog(QStringLiteral("new"));
    auto warned = acceptNextWarning();
    click("pushButtonSaveSnippet");
    QVERIFY(*named);
    QVERIFY(*warned);

    // Adding fails just as quietly at every level.
    for (const char *button :
         {"pushButtonAddLanguage", "pushButtonAddCategory", "pushButtonAddSnippet"}) {
        auto typed = TestSupport::typeIntoNextInputDialog(QStringLiteral("new"));
        click(button);
        QVERIFY(*typed);
    }
    QCOMPARE(current(), (QStringList{"Default", "Default", QString()}));
    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(before, documents()));
}

void TestHostileLibrary::folderNamedLikeASnippet()
{
    writeFile(QStringLiteral("L/C/x.spt/inside.spt"), "not a snippet of C\n");
    writeFile(QStringLiteral("L/C/y.spt"), "why\n");
    remember(QStringLiteral("L"), QStringLiteral("C"), QStringLiteral("x"));
    const TreeSnapshot::Tree before = documents();
    open();
    QCOMPARE(items("comboBoxSnippet"), QStringList{"y"});
    QCOMPARE(synopsisField()->text(), QStringLiteral("why"));

    // Neither adding nor renaming to its name touches the folder.
    auto added = TestSupport::typeIntoNextInputDialog(QStringLiteral("x"));
    click("pushButtonAddSnippet");
    QVERIFY(*added);
    QCOMPARE(items("comboBoxSnippet"), QStringList{"y"});

    // Saved into a category with no snippets, under its name: refused.
    QFile::remove(lib(QStringLiteral("L/C/y.spt")));
    box("comboBoxCategory")->setCurrentIndex(0);
    box("comboBoxCategory")->setCurrentText(QStringLiteral("C"));
    QCOMPARE(box("comboBoxSnippet")->count(), 0);
    synopsisField()->setText(QStringLiteral("typed"));
    auto named = TestSupport::typeIntoNextInputDialog(QStringLiteral("x"));
    auto warned = acceptNextWarning();
    click("pushButtonSaveSnippet");
    QVERIFY(*named);
    QVERIFY(*warned);

    TreeSnapshot::Tree expected = before;
    expected.erase("My Snippets/L/C/y.spt");
    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(expected, documents()));
}

void TestHostileLibrary::folderBesideASnippetInOtherCase()
{
#ifndef Q_OS_UNIX
    QSKIP("Windows file names ignore letter case: the file and the folder would be one name");
#endif
    // "Notes" is the file Notes.SPT; the folder Notes.spt must not stand in
    // for it when it is loaded, saved or removed.
    writeFile(QStringLiteral("L/C/Notes.SPT"), "the file\nits body");
    writeFile(QStringLiteral("L/C/Notes.spt/keep.txt"), "inside the folder");
    remember(QStringLiteral("L"), QStringLiteral("C"), QStringLiteral("Notes"));
    open();
    QCOMPARE(items("comboBoxSnippet"), QStringList{"Notes"});
    QCOMPARE(synopsisField()->text(), QStringLiteral("the file"));
    QCOMPARE(bodyField()->toPlainText(), QStringLiteral("its body"));

    bodyField()->setPlainText(QStringLiteral("edited"));
    click("pushButtonSaveSnippet");
    QCOMPARE(readFile(QStringLiteral("L/C/Notes.SPT")), QByteArray("the file\nedited"));

    click("pushButtonRemoveSnippet");
    QVERIFY(!QFileInfo::exists(lib(QStringLiteral("L/C/Notes.SPT"))));
    QCOMPARE(readFile(QStringLiteral("L/C/Notes.spt/keep.txt")), QByteArray("inside the folder"));
    QCOMPARE(box("comboBoxSnippet")->count(), 0);

    // Not even when the file went behind the window's back.
    writeFile(QStringLiteral("L/C/Notes.SPT"), "again\n");
    box("comboBoxCategory")->setCurrentText(QStringLiteral("Default"));
    box("comboBoxCategory")->setCurrentText(QStringLiteral("C"));
    QCOMPARE(items("comboBoxSnippet"), QStringList{"Notes"});
    QVERIFY(QFile::remove(lib(QStringLiteral("L/C/Notes.SPT"))));
    click("pushButtonRemoveSnippet");
    QCOMPARE(readFile(QStringLiteral("L/C/Notes.spt/keep.txt")), QByteArray("inside the folder"));
}

void TestHostileLibrary::longNames_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("created");

    // NAME_MAX is 255 bytes; a snippet's file adds four for ".spt".
    QTest::newRow("language of 255 bytes") << QByteArray("pushButtonAddLanguage")
                                           << QString(255, u'l') << true;
    QTest::newRow("language of 256 bytes") << QByteArray("pushButtonAddLanguage")
                                           << QString(256, u'l') << false;
    QTest::newRow("language of 256 bytes in 128 characters")
        << QByteArray("pushButtonAddLanguage") << QString(128, u'\u00e9') << false;
    QTest::newRow("category of 4200 bytes") << QByteArray("pushButtonAddCategory")
                                            << QString(4200, u'c') << false;
    QTest::newRow("snippet of 251 bytes") << QByteArray("pushButtonAddSnippet")
                                          << QString(251, u's') << true;
    QTest::newRow("snippet of 252 bytes") << QByteArray("pushButtonAddSnippet")
                                          << QString(252, u's') << false;
}

void TestHostileLibrary::longNames()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, name);
    QFETCH(bool, created);

    writeFile(QStringLiteral("L/C/first.spt"), "first\n");
    makeRawDirs("L/Empty");
    remember(QStringLiteral("L"), QStringLiteral("C"), QStringLiteral("first"));
    open();
    const TreeSnapshot::Tree before = documents();

    auto typed = TestSupport::typeIntoNextInputDialog(name);
    click(button.constData());
    QVERIFY(*typed);

    const int level = button.contains("Language") ? 0 : button.contains("Category") ? 1 : 2;
    const QStringList fallback{"Default", "Default", "first"};
    QCOMPARE(current().at(level), created ? name : fallback.at(level));
    if (!created) {
        QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(before, documents()));
    }

    // A name that cannot be created cannot be saved under either.
    if (level == 2 && !created) {
        box("comboBoxCategory")->setCurrentText(QStringLiteral("Empty"));
        QCOMPARE(box("comboBoxSnippet")->count(), 0);
        auto named = TestSupport::typeIntoNextInputDialog(name);
        auto warned = acceptNextWarning();
        click("pushButtonSaveSnippet");
        QVERIFY(*named);
        QVERIFY(*warned);
        QCOMPARE(QDir(lib(QStringLiteral("L/Empty"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
    }
}

void TestHostileLibrary::oddBytesInNames_data()
{
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QByteArray>("category");
    QTest::addColumn<QByteArray>("snippet");

    QTest::newRow("line feeds") << QByteArray("Two\nLines") << QByteArray("cat\n")
                                << QByteArray("\nsnip");
    QTest::newRow("tabs") << QByteArray("\tLang") << QByteArray("C\tC") << QByteArray("s\t");
    QTest::newRow("backslashes") << QByteArray("C\\C++") << QByteArray("\\") << QByteArray("a\\b");
    QTest::newRow("control characters and spaces")
        << QByteArray(" L ") << QByteArray("\x01\x1b[31m") << QByteArray("\x7f ");
}

void TestHostileLibrary::oddBytesInNames()
{
#ifndef Q_OS_UNIX
    QSKIP("Windows file names cannot hold line feeds, tabs, backslashes or control characters");
#endif
    QFETCH(QByteArray, language);
    QFETCH(QByteArray, category);
    QFETCH(QByteArray, snippet);

    const QByteArray file = language + '/' + category + '/' + snippet + ".spt";
    writeRaw(file, "odd\nbody\n");
    remember(QString::fromUtf8(language), QString::fromUtf8(category), QString::fromUtf8(snippet));
    const TreeSnapshot::Tree before = documents();
    open();
    QCOMPARE(current(), (QStringList{QString::fromUtf8(language), QString::fromUtf8(category),
                                     QString::fromUtf8(snippet)}));
    QCOMPARE(synopsisField()->text(), QStringLiteral("odd"));
    QCOMPARE(bodyField()->toPlainText(), QStringLiteral("body\n"));

    click("pushButtonSaveSnippet");
    QCOMPARE(readRaw(file), QByteArray("odd\nbody\n"));
    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(before, documents()));
}

void TestHostileLibrary::namesThatAreNotUtf8()
{
#ifndef Q_OS_UNIX
    QSKIP("Windows file names are UTF-16, which Qt reads whole: no name is out of its reach");
#endif
    // Qt cannot name these, so they are not listed, and nothing the window
    // does may reach them.
    writeRaw("Bad\xff/C/s.spt", "in a bad language\n");
    writeRaw("L/C/bad\xfe\xfe.spt", "bad name\nbad body");
    writeRaw("L/C/good.spt", "good\n");
    writeRaw("L/Holder/\xc3\x28/deep.spt", "in a bad folder\n");
    remember(QStringLiteral("L"), QStringLiteral("C"), QStringLiteral("good"));
    TreeSnapshot::Tree before = documents();
    open();
    QCOMPARE(items("comboBoxLanguage"), (QStringList{"Default", "L"}));
    QCOMPARE(items("comboBoxCategory"), (QStringList{"Default", "C", "Holder"}));
    QCOMPARE(items("comboBoxSnippet"), QStringList{"good"});

    click("pushButtonRemoveSnippet");
    QCOMPARE(box("comboBoxSnippet")->count(), 0);
    before.erase("My Snippets/L/C/good.spt");
    // Both categories look empty to Qt, and neither is.
    click("pushButtonRemoveCategory");
    box("comboBoxCategory")->setCurrentText(QStringLiteral("Holder"));
    click("pushButtonRemoveCategory");
    click("pushButtonRemoveLanguage");

    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(before, documents()));
}

void TestHostileLibrary::symbolicLinkLoops()
{
#ifndef Q_OS_UNIX
    QSKIP("QFile::link makes shell shortcuts (.lnk) on Windows, which the file system does not follow");
#endif
    writeFile(QStringLiteral("Perl/Loops/ok.spt"), "fine\n");
    QVERIFY(QFile::link(QStringLiteral("Self"), lib(QStringLiteral("Self"))));
    QVERIFY(QFile::link(QStringLiteral("b.spt"), lib(QStringLiteral("Perl/Loops/a.spt"))));
    QVERIFY(QFile::link(QStringLiteral("a.spt"), lib(QStringLiteral("Perl/Loops/b.spt"))));
    // A category that is its own language: a cycle for anything that recurses.
    QVERIFY(QFile::link(QStringLiteral("."), lib(QStringLiteral("Perl/Cycle"))));
    makeRawDirs("Perl/Default");
    remember(QStringLiteral("Self"), QStringLiteral("Loops"), QStringLiteral("a"));
    const TreeSnapshot::Tree before = documents();

    open();
    QCOMPARE(items("comboBoxLanguage"), (QStringList{"Default", "Perl"}));
    box("comboBoxLanguage")->setCurrentText(QStringLiteral("Perl"));
    QCOMPARE(items("comboBoxCategory"), (QStringList{"Default", "Cycle", "Loops"}));
    box("comboBoxCategory")->setCurrentText(QStringLiteral("Loops"));
    QCOMPARE(items("comboBoxSnippet"), QStringList{"ok"});

    // Removing the linked category or the language holding it follows no link.
    box("comboBoxCategory")->setCurrentText(QStringLiteral("Cycle"));
    QCOMPARE(box("comboBoxSnippet")->count(), 0);
    click("pushButtonRemoveCategory");
    box("comboBoxLanguage")->setCurrentText(QStringLiteral("Perl"));
    auto told = TestSupport::whenModalOpens([](QWidget *w) { qobject_cast<QDialog *>(w)->accept(); });
    click("pushButtonRemoveLanguage");
    QVERIFY(*told); // it holds links: not removed, and the user is told why

    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(before, documents()));
}

void TestHostileLibrary::linksOutOfTheLibrary()
{
#ifndef Q_OS_UNIX
    QSKIP("QFile::link makes shell shortcuts (.lnk) on Windows, which the file system does not follow");
#endif
    const QString outside = QDir::homePath() + QStringLiteral("/outside");
    QVERIFY(QDir().mkpath(outside + QStringLiteral("/Loops")));
    QFile outsideSnippet(outside + QStringLiteral("/Loops/far.spt"));
    QVERIFY(outsideSnippet.open(QIODevice::WriteOnly));
    outsideSnippet.write("far away\n");
    outsideSnippet.close();
    QFile outsideText(outside + QStringLiteral("/note.txt"));
    QVERIFY(outsideText.open(QIODevice::WriteOnly));
    outsideText.write("linked\nfrom the library");
    outsideText.close();

    writeFile(QStringLiteral("Perl/Loops/own.spt"), "own\n");
    QVERIFY(QFile::link(outside, lib(QStringLiteral("Elsewhere"))));
    QVERIFY(QFile::link(outside + QStringLiteral("/note.txt"),
                        lib(QStringLiteral("Perl/Loops/linked.spt"))));
    makeRawDirs("Perl/Default");
    remember(QStringLiteral("Perl"), QStringLiteral("Loops"), QStringLiteral("linked"));
    const TreeSnapshot::Tree outsideBefore = TreeSnapshot::take(outside);

    // Links stand for what they point to.
    open();
    QCOMPARE(items("comboBoxLanguage"), (QStringList{"Default", "Elsewhere", "Perl"}));
    QCOMPARE(synopsisField()->text(), QStringLiteral("linked"));
    QCOMPARE(bodyField()->toPlainText(), QStringLiteral("from the library"));

    // Removing the snippet removes the link, not the file it points to.
    click("pushButtonRemoveSnippet");
    QVERIFY(!QFileInfo(lib(QStringLiteral("Perl/Loops/linked.spt"))).isSymLink());
    QCOMPARE(current(), (QStringList{"Perl", "Loops", "own"}));

    // The linked language lists what it holds; removing it keeps the link
    // and everything behind it.
    box("comboBoxLanguage")->setCurrentText(QStringLiteral("Elsewhere"));
    box("comboBoxCategory")->setCurrentText(QStringLiteral("Loops"));
    QCOMPARE(synopsisField()->text(), QStringLiteral("far away"));
    click("pushButtonRemoveLanguage");
    QVERIFY(QFileInfo(lib(QStringLiteral("Elsewhere"))).isSymLink());

    // Only the category folder that listing it created has appeared there.
    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(outsideBefore, TreeSnapshot::take(outside)));
}

void TestHostileLibrary::entriesThatAreNotSnippets_data()
{
    QTest::addColumn<QByteArray>("entry");
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<bool>("listed");

    // "x.spt" in the remembered category is the entry; "ok.spt" a snippet.
    QTest::newRow("link to a device: start and save") << QByteArray("device") << QByteArray("save") << true;
    QTest::newRow("FIFO: start") << QByteArray("fifo") << QByteArray("start") << false;
    QTest::newRow("link to a FIFO: start and save") << QByteArray("fifo link") << QByteArray("save") << true;
    QTest::newRow("file over the size limit: start and save") << QByteArray("huge") << QByteArray("save") << true;
    QTest::newRow("two million line feeds: start and save") << QByteArray("lines") << QByteArray("save") << true;
    // Its title was left marked as edited.
    QTest::newRow("two million line feeds: chosen after another")
        << QByteArray("lines") << QByteArray("switch") << true;
    QTest::newRow("link to nothing: add it") << QByteArray("broken link") << QByteArray("add") << false;
    QTest::newRow("link to nothing: rename onto it") << QByteArray("broken link") << QByteArray("rename") << false;
    QTest::newRow("link to nothing: save under its name")
        << QByteArray("broken link") << QByteArray("save as") << false;
}

void TestHostileLibrary::entriesThatAreNotSnippets()
{
    QFETCH(QByteArray, entry);
    QFETCH(QByteArray, action);
    QFETCH(bool, listed);
#ifndef Q_OS_UNIX
    if (entry != "huge" && entry != "lines")
        QSKIP("Devices, FIFOs and symbolic links are made with POSIX calls");
#endif

    makeRawDirs("L/C");
    if (action != "save as")
        writeFile(QStringLiteral("L/C/ok.spt"), "ok\n");
#ifdef Q_OS_UNIX
    const QByteArray x = libBytes("L/C/x.spt");
    // A device of our own where we may make one: a failure must not cost the
    // machine its /dev/zero.
    const QByteArray device = QFile::encodeName(QDir::homePath()) + "/zero";
    const QByteArray fifo = QFile::encodeName(QDir::homePath()) + "/fifo";
    const QByteArray escaped = QFile::encodeName(QDir::homePath()) + "/escaped.spt";
    if (entry == "device")
        QCOMPARE(::symlink(::mknod(device.constData(), S_IFCHR | 0666, makedev(1, 5)) == 0
                               ? device.constData() : "/dev/zero", x.constData()), 0);
    else if (entry == "fifo")
        QCOMPARE(::mkfifo(x.constData(), 0644), 0);
    else if (entry == "fifo link")
        QVERIFY(::mkfifo(fifo.constData(), 0644) == 0 && ::symlink(fifo.constData(), x.constData()) == 0);
    else if (entry == "broken link")
        QCOMPARE(::symlink(escaped.constData(), x.constData()), 0);
#endif
    if (entry == "lines")
        writeFile(QStringLiteral("L/C/x.spt"), "many\n" + QByteArray(2000000, '\n'));
    else if (entry == "huge")
        QVERIFY(QFile(lib(QStringLiteral("L/C/x.spt"))).open(QIODevice::WriteOnly)
                && QFile::resize(lib(QStringLiteral("L/C/x.spt")), SnippetFile::maximumSize + 1));
    remember(QStringLiteral("L"), QStringLiteral("C"),
             action == "switch" ? QStringLiteral("ok") : QStringLiteral("x"));
    const TreeSnapshot::Tree before = documents();

    open();
    if (action == "switch")
        box("comboBoxSnippet")->setCurrentText(QStringLiteral("x"));
    const QString shown = listed ? QStringLiteral("x") : action == "save as" ? QString() : QStringLiteral("ok");
    QCOMPARE(box("comboBoxSnippet")->currentText(), shown);
    if (listed) {
        QCOMPARE(synopsisField()->text() + bodyField()->toPlainText(), QString());
        // Says why, and takes no typing that could never be saved.
        QVERIFY(bodyField()->isReadOnly() && !bodyField()->placeholderText().isEmpty());
        QVERIFY(!m_window->isWindowModified());
    }

    std::shared_ptr<bool> answered;
    if (action == "save") {
        answered = acceptNextWarning();
        click("pushButtonSaveSnippet");
    } else if (action == "add") {
        answered = TestSupport::typeIntoNextInputDialog(QStringLiteral("x"));
        click("pushButtonAddSnippet");
    } else if (action == "rename") {
        answered = TestSupport::typeIntoNextInputDialog(QStringLiteral("x"));
        auto warned = acceptNextWarning(); // the name is taken, if only by a link
        m_window->findChild<QAction *>(QStringLiteral("actionRename_Snippet"))->trigger();
        QVERIFY(*warned);
    } else if (action == "save as") {
        synopsisField()->setText(QStringLiteral("typed"));
        answered = TestSupport::typeIntoNextInputDialog(QStringLiteral("x"));
        auto warned = acceptNextWarning();
        click("pushButtonSaveSnippet");
        QVERIFY(*warned);
    }
    QVERIFY(!answered || *answered);

    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(before, documents()));
#ifdef Q_OS_UNIX
    QVERIFY(!QFileInfo::exists(QFile::decodeName(escaped)));
    struct stat info;
    QVERIFY(entry != "device" || (::stat(x.constData(), &info) == 0 && S_ISCHR(info.st_mode)));
#endif
}

void TestHostileLibrary::removeWithABrokenTrash_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("fileInstead");

    // The trash's record of a file is its name plus ".trashinfo": 256 bytes.
    QTest::newRow("name of 242 characters") << QString(242, u'n') << QString();
    QTest::newRow("a file where Trash/info belongs") << "s" << ".local/share/Trash/info";
    QTest::newRow("a file where Trash belongs") << "s" << ".local/share/Trash";
    QTest::newRow("a file where ~/.local/share belongs") << "s" << ".local/share";
}

void TestHostileLibrary::removeWithABrokenTrash()
{
#ifndef Q_OS_UNIX
    QSKIP("The trash folders broken here are the freedesktop trash of Linux desktops");
#endif
    QFETCH(QString, name);
    QFETCH(QString, fileInstead);

    writeFile(QStringLiteral("L/C/") + name + QStringLiteral(".spt"), "going\n");
    remember(QStringLiteral("L"), QStringLiteral("C"), name);
    if (!fileInstead.isEmpty()) {
        const QString blocker = QDir::homePath() + QLatin1Char('/') + fileInstead;
        QVERIFY(QDir().mkpath(QFileInfo(blocker).absolutePath()));
        QVERIFY(QFile(blocker).open(QIODevice::WriteOnly));
    }
    // Qt 6.4 moved the file into "files/" below the working directory.
    const QString cwd = QDir::homePath() + QStringLiteral("/cwd");
    QVERIFY(QDir().mkpath(cwd));
    const QString previousCwd = QDir::currentPath();
    QDir::setCurrent(cwd);
    open();
    TreeSnapshot::Tree expected = documents();
    expected.erase(QFile::encodeName(QStringLiteral("My Snippets/L/C/") + name + QStringLiteral(".spt")).toStdString());

    // Returning at all is the check: Qt 6.4 looped for ever here.
    click("pushButtonRemoveSnippet");
    QDir::setCurrent(previousCwd);

    QCOMPARE(box("comboBoxSnippet")->count(), 0);
    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(expected, documents()));
    QCOMPARE(QDir(cwd).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void TestHostileLibrary::hugeSnippet()
{
    // Text in lines up to the size limit exactly, made by doubling a block,
    // so it is quick to write and quick to check. Lines long enough that the
    // limit on lines is not reached first.
    QByteArray line("for (std::size_t i = 0; i < items.size(); ++i) total += items[i]; "
                    "// the sum of every item, in the order in which they were added\n");
    QByteArray block;
    while (block.size() < 1024 * 1024)
        block += line;
    const qint64 size = SnippetFile::maximumSize;
    {
        QDir().mkpath(lib(QStringLiteral("L/Big")));
        QFile file(lib(QStringLiteral("L/Big/huge.spt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("huge\n");
        while (file.size() + block.size() <= size)
            file.write(block);
        file.write(QByteArray(int(size - file.size()), 'x'));
    }
    writeFile(QStringLiteral("L/Big/small.spt"), "small\n");
    remember(QStringLiteral("L"), QStringLiteral("Big"), QStringLiteral("huge"));
    const TreeSnapshot::Tree before = documents();

    QElapsedTimer timer;
    timer.start();
    open();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(synopsisField()->text(), QStringLiteral("huge"));
    QCOMPARE(bodyField()->document()->characterCount(), int(size - 5 + 1));
    qInfo("opened %lld bytes in %lld ms", size, timer.elapsed());

    box("comboBoxSnippet")->setCurrentText(QStringLiteral("small"));
    QCOMPARE(synopsisField()->text(), QStringLiteral("small"));
    m_window->close();
    m_window.reset();
    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(before, documents()));
}

void TestHostileLibrary::snippetFullOfNulBytes()
{
    // A sparse file as large as a snippet may be, taking no room on disk.
    // Without a line feed all of it is the synopsis, which a line edit would
    // lay out at some 70 bytes a character.
    const qint64 size = SnippetFile::maximumSize;
    {
        QDir().mkpath(lib(QStringLiteral("L/C")));
        QFile file(lib(QStringLiteral("L/C/zero.spt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
    }
    writeFile(QStringLiteral("L/C/plain.spt"), "plain\n");
    remember(QStringLiteral("L"), QStringLiteral("C"), QStringLiteral("zero"));
    const TreeSnapshot::Tree before = documents();
    QElapsedTimer timer;
    timer.start();
    open();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(current(), (QStringList{"L", "C", "zero"}));
    QCOMPARE(synopsisField()->text(), QString(32767, QChar(0)));
    QVERIFY(synopsisField()->isReadOnly());
    QCOMPARE(bodyField()->toPlainText(), QString());
    qInfo("opened %lld bytes of NUL in %lld ms", size, timer.elapsed());

    // Saved unchanged, all of it comes back, byte for byte.
    click("pushButtonSaveSnippet");
    QFile saved(lib(QStringLiteral("L/C/zero.spt")));
    QCOMPARE(saved.size(), size);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray zeros(1024 * 1024, '\0');
    for (qint64 offset = 0; offset < size; offset += zeros.size())
        QVERIFY(saved.read(zeros.size()) == zeros);
    QCOMPARE(saved.readAll(), QByteArray());

    // The next snippet is editable again.
    box("comboBoxSnippet")->setCurrentText(QStringLiteral("plain"));
    QCOMPARE(synopsisField()->text(), QStringLiteral("plain"));
    QVERIFY(!synopsisField()->isReadOnly());

    m_window.reset();
    TreeSnapshot::Tree expected = before;
    expected.erase("My Snippets/L/C/zero.spt");
    TreeSnapshot::Tree after = documents();
    after.erase("My Snippets/L/C/zero.spt");
    QVERIFY_TREE_UNCHANGED(TreeSnapshot::differences(expected, after));
}

void TestHostileLibrary::categoryWithFiftyThousandSnippets()
{
    if (TestSupport::runningUnderWine())
        QSKIP("Under Wine, making and listing 50,000 files outlasts QtTest's five minutes");
    const int count = 50000;
    makeRawDirs("L/Many");
    QByteArray path = libBytes("L/Many/");
    const qsizetype stem = path.size();
    for (int i = 0; i < count; ++i) {
        path.truncate(stem);
        path += "s" + QByteArray::number(100000 + i) + ".spt";
#ifdef Q_OS_WIN
        QFile file(QFile::decodeName(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("n\n", 2);
#else
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        ::write(fd, "n\n", 2);
        ::close(fd);
#endif
    }
    remember(QStringLiteral("L"), QStringLiteral("Many"), QStringLiteral("s149999"));

    QElapsedTimer timer;
    timer.start();
    open();
    QCOMPARE(box("comboBoxSnippet")->count(), count);
    QCOMPARE(current(), (QStringList{"L", "Many", "s149999"}));
    qInfo("listed %d snippets in %lld ms", count, timer.elapsed());

    // Adding one more lists the category again, with the new one current.
    timer.restart();
    auto typed = TestSupport::typeIntoNextInputDialog(QStringLiteral("s200000"));
    click("pushButtonAddSnippet");
    QVERIFY(*typed);
    QCOMPARE(box("comboBoxSnippet")->count(), count + 1);
    QCOMPARE(box("comboBoxSnippet")->currentText(), QStringLiteral("s200000"));
    qInfo("added and listed again in %lld ms", timer.elapsed());
}

void TestHostileLibrary::saveStoppedByTheFileSizeLimitKeepsTheOldBytes()
{
#ifndef Q_OS_UNIX
    QSKIP("Windows has no per-process file-size limit to stop a write half-way");
#else
    const QByteArray old("old synopsis\nold body that must survive\n");
    writeFile(QStringLiteral("L/C/s.spt"), old);
    remember(QStringLiteral("L"), QStringLiteral("C"), QStringLiteral("s"));
    open();
    bodyField()->setPlainText(QString(200000, u'n'));

    // The signal's disposition is the window's own: a test that ignored the
    // signal itself would pass while the program died of it.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);

    QString message;
    auto warned = TestSupport::whenModalOpens([&message](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QVERIFY(box);
        message = box->text();
        box->accept();
    });
    click("pushButtonSaveSnippet");
    setrlimit(RLIMIT_FSIZE, &saved);

    QVERIFY(*warned);
    QVERIFY2(message.contains(QStringLiteral("not saved"))
                 && message.contains(QStringLiteral("File too large")),
             qPrintable(message));
    QCOMPARE(readFile(QStringLiteral("L/C/s.spt")), old);
    QCOMPARE(bodyField()->toPlainText(), QString(200000, u'n'));
    // Nothing half-written is left beside it, and the list is as it was.
    QCOMPARE(QDir(lib(QStringLiteral("L/C"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"s.spt"});
    QCOMPARE(items("comboBoxSnippet"), QStringList{"s"});
#endif
}

void TestHostileLibrary::snippetChangedBehindTheWindow_data()
{
    QTest::addColumn<QString>("removed");
    QTest::addColumn<QByteArray>("rewritten");
    QTest::addColumn<QString>("answer"); // to the question, if one must come
    QTest::addColumn<QByteArray>("saved");

    const QByteArray ours("synopsis\nstill here\n");
    QTest::newRow("file removed: written again") << "L/C/s.spt" << QByteArray() << "" << ours;
    QTest::newRow("category removed: written again") << "L/C" << QByteArray() << "" << ours;
    QTest::newRow("same bytes written again: no question")
        << "" << QByteArray("synopsis\nbody\n") << "" << ours;
    QTest::newRow("other bytes, same size: cancel keeps them")
        << "" << QByteArray("SYNOPSIS\nBODY\n") << "cancel" << QByteArray("SYNOPSIS\nBODY\n");
    QTest::newRow("other bytes: replace") << "" << QByteArray("theirs\n") << "replace" << ours;
}

void TestHostileLibrary::snippetChangedBehindTheWindow()
{
    QFETCH(QString, removed);
    QFETCH(QByteArray, rewritten);
    QFETCH(QString, answer);
    QFETCH(QByteArray, saved);
    writeFile(QStringLiteral("L/C/s.spt"), "synopsis\nbody\n");
    remember(QStringLiteral("L"), QStringLiteral("C"), QStringLiteral("s"));
    open();
    QCOMPARE(synopsisField()->text(), QStringLiteral("synopsis"));

    if (!removed.isEmpty())
        QVERIFY(QFile::remove(lib(removed)) || QDir(lib(removed)).removeRecursively());
    else
        writeFile(QStringLiteral("L/C/s.spt"), rewritten);
    bodyField()->setPlainText(QStringLiteral("still here\n"));

    QString asked;
    auto answered = TestSupport::whenModalOpens([&asked, answer](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QVERIFY(box);
        asked = box->text();
        for (QAbstractButton *button : box->buttons()) {
            if (button->text().contains(answer, Qt::CaseInsensitive))
                return button->click();
        }
        box->reject();
    });
    click("pushButtonSaveSnippet");
    QCOMPARE(*answered, !answer.isEmpty());
    QVERIFY2(answer.isEmpty() || asked.contains(QStringLiteral("another program")), qPrintable(asked));
    QCOMPARE(readFile(QStringLiteral("L/C/s.spt")), saved);
    QCOMPARE(bodyField()->toPlainText(), QStringLiteral("still here\n"));
}

QUILLORY_TEST_MAIN(TestHostileLibrary)
#include "tst_hostilelibrary.moc"
