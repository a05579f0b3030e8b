#include "testsupport.h"

#include "library/librarypaths.h"
#include "ui/mainwindow.h"

#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTextEdit>

#ifdef Q_OS_WIN
#  include <windows.h>
#  include <shellapi.h>
#endif

// The library as the user meets it: the window's boxes, buttons and fields
// against the folders and files on disk.
class TestLibrary : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void firstStartCreatesTheDefaultFolders();
    void languagesSortByCharacterCodeAfterDefault();
    void snippetsAreSptFilesInAnyCase();
    void rememberedEntriesAndTheirFallbacks_data();
    void rememberedEntriesAndTheirFallbacks();
    void emptiedCategoryClearsBothFields();
    void documentsLocationEndingInSeparator();
    void restartComesBackToTheSameSelection();

    void saveWithEmptyListAsksForAName();
    void saveFailureIsReportedAndKeepsTheFile();

    void cancelledAddChangesNothing_data();
    void cancelledAddChangesNothing();
    void addLanguageMakesItCurrent();
    void addingAnExistingNameKeepsItsContent();
    void acceptedEmptyNames();
    void unusableNamesAreRefused_data();
    void unusableNamesAreRefused();
    void addSnippetCreatesAnEmptyFile();

    void removeLanguageTakesOnlyEmptyFolders();
    void removeCategoryTakesEmptiedParentsButNotTheRoot();
    void removeSnippetGoesToTheTrash();
    void removeWithEmptyListDoesNothing();
    void extensionInOtherCaseIsTheSameSnippet();

private:
    QComboBox *box(const char *name) { return m_window->findChild<QComboBox *>(QLatin1String(name)); }
    void click(const char *name)
    {
        m_window->findChild<QPushButton *>(QLatin1String(name))->click();
    }
    QString synopsis() { return m_window->findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis"))->text(); }
    QString body() { return m_window->findChild<QTextEdit *>(QStringLiteral("textEditSnippet"))->toPlainText(); }
    QStringList items(const char *name) { return TestSupport::itemTexts(box(name)); }
    void open() { m_window.reset(new MainWindow); }

    std::unique_ptr<MainWindow> m_window;
};

namespace {

using TestSupport::lib;
using TestSupport::readFile;
using TestSupport::remember;
using TestSupport::writeFile;

void makeDirs(std::initializer_list<const char *> relatives)
{
    for (const char *relative : relatives)
        QVERIFY(QDir().mkpath(lib(QLatin1String(relative))));
}

QString setting(const char *key)
{
    return QSettings().value(QLatin1String(key), QStringLiteral("<absent>")).toString();
}

} // namespace

void TestLibrary::init()
{
    TestSupport::beginTest();
    m_window.reset();
    QSettings().clear();
    TestSupport::resetHome();
}

void TestLibrary::cleanup()
{
    TestSupport::endTest();
}

void TestLibrary::firstStartCreatesTheDefaultFolders()
{
    open();
    QVERIFY(QFileInfo(lib(QStringLiteral("Default/Default"))).isDir());
    QCOMPARE(items("comboBoxLanguage"), QStringList{"Default"});
    QCOMPARE(items("comboBoxCategory"), QStringList{"Default"});
    QCOMPARE(box("comboBoxSnippet")->count(), 0);
    QCOMPARE(synopsis(), QString());
}

void TestLibrary::languagesSortByCharacterCodeAfterDefault()
{
    makeDirs({"beta", "Alpha", "Default", "default", "Zeta", ".hidden"});
    writeFile(QStringLiteral("a-file"), "not a language");
    open();
#ifdef Q_OS_WIN
    // Letter case does not tell names apart: "default" is "Default" there.
    QCOMPARE(items("comboBoxLanguage"), (QStringList{"Default", "Alpha", "Zeta", "beta"}));
#else
    QCOMPARE(items("comboBoxLanguage"),
             (QStringList{"Default", "Alpha", "Zeta", "beta", "default"}));
#endif
}

void TestLibrary::snippetsAreSptFilesInAnyCase()
{
    writeFile(QStringLiteral("L/C/notes.txt"), "ignored");
    writeFile(QStringLiteral("L/C/Notes.SPT"), "upper\n");
    writeFile(QStringLiteral("L/C/x.spt"), "plain x\n");
    writeFile(QStringLiteral("L/C/x.old.spt"), "old x\n");
    writeFile(QStringLiteral("L/C/std.sort.spt"), "sorting\n");
    makeDirs({"L/C/folder.spt"});
    remember("L", "C", "");
    open();
    QCOMPARE(items("comboBoxSnippet"), (QStringList{"Notes", "std.sort", "x.old", "x"}));
    QCOMPARE(synopsis(), QStringLiteral("upper"));

    // Every listed name loads its own file, dots and all.
    for (const auto &[index, expected] : {std::pair{1, "sorting"}, {2, "old x"}, {3, "plain x"}}) {
        box("comboBoxSnippet")->setCurrentIndex(index);
        QCOMPARE(synopsis(), QLatin1String(expected));
    }
}

void TestLibrary::rememberedEntriesAndTheirFallbacks_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("snippet");
    QTest::addColumn<QStringList>("current");

    QTest::newRow("all present") << "Perl" << "Loops" << "b" << QStringList{"Perl", "Loops", "b"};
    QTest::newRow("no remembered snippet: first in order")
        << "Perl" << "Loops" << "" << QStringList{"Perl", "Loops", "a"};
    QTest::newRow("vanished snippet: first in order")
        << "Perl" << "Loops" << "gone" << QStringList{"Perl", "Loops", "a"};
    QTest::newRow("vanished category: Default")
        << "Perl" << "Gone" << "b" << QStringList{"Perl", "Default", ""};
    QTest::newRow("vanished language: Default")
        << "Gone" << "Loops" << "b" << QStringList{"Default", "Default", ""};
    QTest::newRow("names compare case-sensitively")
        << "perl" << "Loops" << "b" << QStringList{"Default", "Default", ""};
}

void TestLibrary::rememberedEntriesAndTheirFallbacks()
{
    QFETCH(QString, language);
    QFETCH(QString, category);
    QFETCH(QString, snippet);
    QFETCH(QStringList, current);

    writeFile(QStringLiteral("Perl/Loops/a.spt"), "first\n");
    writeFile(QStringLiteral("Perl/Loops/b.spt"), "second\nbody");
    remember(language, category, snippet);
    open();
    QCOMPARE((QStringList{box("comboBoxLanguage")->currentText(), box("comboBoxCategory")->currentText(),
                          box("comboBoxSnippet")->currentText()}),
             current);
    // The category listing of the language shown made sure it has a Default.
    QVERIFY(QFileInfo(lib(current[0] + QStringLiteral("/Default"))).isDir());
}

void TestLibrary::emptiedCategoryClearsBothFields()
{
    writeFile(QStringLiteral("L/Full/s.spt"), "synopsis\nbody");
    makeDirs({"L/Empty"});
    remember("L", "Full", "s");
    open();
    QCOMPARE(synopsis(), QStringLiteral("synopsis"));
    QCOMPARE(body(), QStringLiteral("body"));

    box("comboBoxCategory")->setCurrentText(QStringLiteral("Empty"));
    QCOMPARE(box("comboBoxSnippet")->count(), 0);
    QCOMPARE(synopsis(), QString());
    QCOMPARE(body(), QString());
}

void TestLibrary::documentsLocationEndingInSeparator()
{
    // Qt gives Windows paths with '/' too; the parts are joined with '\\' there.
    QCOMPARE(QDir::fromNativeSeparators(LibraryPaths::rootPath(QStringLiteral("/"))),
             QStringLiteral("/My Snippets"));
    QCOMPARE(QDir::fromNativeSeparators(LibraryPaths::rootPath(QStringLiteral("C:/Docs/"))),
             QStringLiteral("C:/Docs/My Snippets"));
    QCOMPARE(QDir::fromNativeSeparators(LibraryPaths::rootPath(QStringLiteral("/home/u/Documents"))),
             QStringLiteral("/home/u/Documents/My Snippets"));
    QCOMPARE(QDir::fromNativeSeparators(LibraryPaths::categoryPath(QStringLiteral("/r"), QString(), QString())),
             QStringLiteral("/r//"));
}

void TestLibrary::restartComesBackToTheSameSelection()
{
    writeFile(QStringLiteral("Perl/Loops/a.spt"), "a\n");
    writeFile(QStringLiteral("Perl/Loops/b.spt"), "b\nbee");
    makeDirs({"Perl/Strings", "Shell/Default"});
    open();
    box("comboBoxLanguage")->setCurrentText(QStringLiteral("Perl"));
    box("comboBoxCategory")->setCurrentText(QStringLiteral("Loops"));
    box("comboBoxSnippet")->setCurrentText(QStringLiteral("b"));
    open();
    QCOMPARE(box("comboBoxLanguage")->currentText(), QStringLiteral("Perl"));
    QCOMPARE(box("comboBoxCategory")->currentText(), QStringLiteral("Loops"));
    QCOMPARE(box("comboBoxSnippet")->currentText(), QStringLiteral("b"));
    QCOMPARE(body(), QStringLiteral("bee"));
}

void TestLibrary::saveWithEmptyListAsksForAName()
{
    remember("L", "Fresh", "");
    makeDirs({"L/Default"});
    open();
    QCOMPARE(box("comboBoxCategory")->currentText(), QStringLiteral("Default"));
    QDir(lib(QStringLiteral("L/Default"))).removeRecursively();
    m_window->findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis"))->setText(QStringLiteral("syn"));

    auto cancelled = TestSupport::cancelNextDialog();
    click("pushButtonSaveSnippet");
    QVERIFY(*cancelled);
    QVERIFY(!QFileInfo::exists(lib(QStringLiteral("L/Default"))));

    auto typed = TestSupport::typeIntoNextInputDialog(QStringLiteral("alpha"));
    click("pushButtonSaveSnippet");
    QVERIFY(*typed);
    QCOMPARE(readFile(QStringLiteral("L/Default/alpha.spt")), QByteArray("syn\n"));
    QCOMPARE(box("comboBoxSnippet")->count(), 0);

    // Still no current snippet, so the next save asks again.
    auto again = TestSupport::cancelNextDialog();
    click("pushButtonSaveSnippet");
    QVERIFY(*again);
}

void TestLibrary::saveFailureIsReportedAndKeepsTheFile()
{
    writeFile(QStringLiteral("L/C/s.spt"), "old\nbody");
    remember("L", "C", "s");
    open();
    // A folder where the save's temporary file or the target must go makes
    // the save fail; the original stays as it was.
    QFile::remove(lib(QStringLiteral("L/C/s.spt")));
    makeDirs({"L/C/s.spt/inside"});

    QString message;
    auto warned = TestSupport::whenModalOpens([&message](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        QVERIFY(box);
        message = box->text();
        box->accept();
    });
    click("pushButtonSaveSnippet");
    QVERIFY(*warned);
    QVERIFY2(message.contains(QStringLiteral("not saved")), qPrintable(message));
    QVERIFY(QFileInfo(lib(QStringLiteral("L/C/s.spt/inside"))).isDir());
}

void TestLibrary::cancelledAddChangesNothing_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("language") << "pushButtonAddLanguage";
    QTest::newRow("category") << "pushButtonAddCategory";
    QTest::newRow("snippet") << "pushButtonAddSnippet";
}

void TestLibrary::cancelledAddChangesNothing()
{
    QFETCH(QString, button);
    open();
    QSettings().clear();
    const QStringList before = QDir(lib(QStringLiteral("Default/Default"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    auto cancelled = TestSupport::cancelNextDialog();
    click(button.toLatin1().constData());
    QVERIFY(*cancelled);
    QCOMPARE(QSettings().allKeys(), QStringList());
    QCOMPARE(QDir(TestSupport::libraryPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"Default"});
    QCOMPARE(QDir(lib(QStringLiteral("Default/Default"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
}

void TestLibrary::addLanguageMakesItCurrent()
{
    open();
    auto typed = TestSupport::typeIntoNextInputDialog(QStringLiteral("Perl"));
    click("pushButtonAddLanguage");
    QVERIFY(*typed);
    QCOMPARE(setting("Language"), QStringLiteral("Perl"));
    QCOMPARE(box("comboBoxLanguage")->currentText(), QStringLiteral("Perl"));
    QCOMPARE(items("comboBoxCategory"), QStringList{"Default"});
    QVERIFY(QFileInfo(lib(QStringLiteral("Perl/Default"))).isDir());

    auto category = TestSupport::typeIntoNextInputDialog(QStringLiteral("Loops"));
    click("pushButtonAddCategory");
    QVERIFY(*category);
    QCOMPARE(box("comboBoxCategory")->currentText(), QStringLiteral("Loops"));
    QVERIFY(QFileInfo(lib(QStringLiteral("Perl/Loops"))).isDir());
}

void TestLibrary::addingAnExistingNameKeepsItsContent()
{
    writeFile(QStringLiteral("Perl/Loops/for.spt"), "for loop\nbody");
    writeFile(QStringLiteral("Perl/Loops/while.spt"), "while loop\nbody");
    remember("Perl", "Loops", "for");
    open();

    auto language = TestSupport::typeIntoNextInputDialog(QStringLiteral("Perl"));
    click("pushButtonAddLanguage");
    QVERIFY(*language);
    QVERIFY(QFileInfo::exists(lib(QStringLiteral("Perl/Loops/for.spt"))));

    auto snippet = TestSupport::typeIntoNextInputDialog(QStringLiteral("while"));
    click("pushButtonAddSnippet");
    QVERIFY(*snippet);
    QCOMPARE(readFile(QStringLiteral("Perl/Loops/while.spt")), QByteArray("while loop\nbody"));
    QCOMPARE(box("comboBoxSnippet")->currentText(), QStringLiteral("while"));
    QCOMPARE(synopsis(), QStringLiteral("while loop"));
}

void TestLibrary::acceptedEmptyNames()
{
    open();
    auto language = TestSupport::typeIntoNextInputDialog(QString());
    click("pushButtonAddLanguage");
    QVERIFY(*language);
    QCOMPARE(setting("Language"), QString());
    QCOMPARE(box("comboBoxLanguage")->currentText(), QStringLiteral("Default"));
}

void TestLibrary::unusableNamesAreRefused_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("name");
    QTest::newRow("parent of the library") << "pushButtonAddLanguage" << "../Escaped";
    QTest::newRow("dot-dot inside") << "pushButtonAddCategory" << "a/../../../Escaped";
    QTest::newRow("absolute path") << "pushButtonAddSnippet" << QDir::homePath() + "/Escaped";
    // Each used to make an entry that no list shows.
    QTest::newRow("separator nests a category") << "pushButtonAddCategory" << "Outer/Inner";
#ifdef Q_OS_WIN
    QTest::newRow("name Windows forbids") << "pushButtonAddCategory" << "a:b";
#else
    QTest::newRow("hidden language") << "pushButtonAddLanguage" << ".NET";
    QTest::newRow("empty snippet name is a hidden .spt") << "pushButtonAddSnippet" << "";
    QTest::newRow("save under a hidden name") << "pushButtonSaveSnippet" << ".x";
#endif
}

void TestLibrary::unusableNamesAreRefused()
{
    QFETCH(QString, button);
    QFETCH(QString, name);
    open();
    QSettings().clear();
    const auto libraryTree = [] {
        QStringList entries;
        QDirIterator it(TestSupport::libraryPath(),
                        QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            entries << it.next();
        return entries;
    };
    const QStringList before = libraryTree();

    auto typed = TestSupport::typeIntoNextInputDialog(name);
    bool warned = false;
    QTimer::singleShot(50, [&warned] {
        TestSupport::whenModalOpens([&warned](QWidget *w) {
            warned = qobject_cast<QMessageBox *>(w) != nullptr;
            qobject_cast<QDialog *>(w)->accept();
        });
    });
    click(button.toLatin1().constData());
    QVERIFY(*typed);
    QTRY_VERIFY(warned);
    QCOMPARE(QSettings().allKeys(), QStringList());
    QDir home(QDir::homePath());
    QVERIFY(!home.exists(QStringLiteral("Escaped")) && !home.exists(QStringLiteral("Escaped.spt")));
    QVERIFY(!QDir(TestSupport::documentsPath()).exists(QStringLiteral("Escaped")));
    QCOMPARE(libraryTree(), before);
}

void TestLibrary::addSnippetCreatesAnEmptyFile()
{
    writeFile(QStringLiteral("L/C/old.spt"), "old\nbody");
    remember("L", "C", "old");
    open();
    auto typed = TestSupport::typeIntoNextInputDialog(QStringLiteral("v1.2"));
    click("pushButtonAddSnippet");
    QVERIFY(*typed);
    QCOMPARE(readFile(QStringLiteral("L/C/v1.2.spt")), QByteArray());
    QCOMPARE(box("comboBoxSnippet")->currentText(), QStringLiteral("v1.2"));
    QCOMPARE(synopsis(), QString());
    QCOMPARE(body(), QString());
}

void TestLibrary::removeLanguageTakesOnlyEmptyFolders()
{
    makeDirs({"Empty/Default", "Empty/Deeper/Still"});
    writeFile(QStringLiteral("Kept/Loops/deep/file.txt"), "keep me");
    remember("Empty", "Default", "");
    open();
    click("pushButtonRemoveLanguage");
    QVERIFY(!QFileInfo::exists(lib(QStringLiteral("Empty"))));
    QCOMPARE(box("comboBoxLanguage")->currentText(), QStringLiteral("Default"));

    box("comboBoxLanguage")->setCurrentText(QStringLiteral("Kept"));
    click("pushButtonRemoveLanguage");
    QCOMPARE(readFile(QStringLiteral("Kept/Loops/deep/file.txt")), QByteArray("keep me"));
    QVERIFY(QFileInfo(lib(QStringLiteral("Kept/Default"))).isDir());
    QVERIFY(items("comboBoxLanguage").contains(QStringLiteral("Kept")));
}

void TestLibrary::removeCategoryTakesEmptiedParentsButNotTheRoot()
{
    open();
    auto typed = TestSupport::typeIntoNextInputDialog(QStringLiteral("Solo"));
    click("pushButtonAddLanguage");
    QVERIFY(*typed);
    // "Solo" holds only its Default category: removing it empties "Solo",
    // which goes too, and the listing that follows creates both again.
    QDir(lib(QStringLiteral("Default"))).removeRecursively();
    click("pushButtonRemoveCategory");
    QVERIFY(QFileInfo(lib(QStringLiteral("Solo/Default"))).isDir());
    QVERIFY(QFileInfo(TestSupport::libraryPath()).isDir());
    QVERIFY(QFileInfo(TestSupport::documentsPath()).isDir());

    writeFile(QStringLiteral("Solo/Default/s.spt"), "s\n");
    box("comboBoxCategory")->setCurrentIndex(0);
    click("pushButtonRemoveCategory");
    QVERIFY(QFileInfo::exists(lib(QStringLiteral("Solo/Default/s.spt"))));
}

void TestLibrary::removeSnippetGoesToTheTrash()
{
    writeFile(QStringLiteral("L/C/a.spt"), "a\n");
    writeFile(QStringLiteral("L/C/b.spt"), "b\nbody of b");
    remember("L", "C", "a");
    open();
#ifdef Q_OS_WIN
    SHQUERYRBINFO before = {sizeof(SHQUERYRBINFO), 0, 0};
    QCOMPARE(SHQueryRecycleBinW(nullptr, &before), S_OK);
#endif
    click("pushButtonRemoveSnippet");
    QVERIFY(!QFileInfo::exists(lib(QStringLiteral("L/C/a.spt"))));
    QCOMPARE(items("comboBoxSnippet"), QStringList{"b"});
    QCOMPARE(body(), QStringLiteral("body of b"));
#ifdef Q_OS_WIN
    // The Recycle Bin has no folder of its own to look into; the shell counts it.
    SHQUERYRBINFO after = {sizeof(SHQUERYRBINFO), 0, 0};
    QCOMPARE(SHQueryRecycleBinW(nullptr, &after), S_OK);
    QCOMPARE(after.i64NumItems, before.i64NumItems + 1);
    QCOMPARE(after.i64Size, before.i64Size + 2);
#else
    QFile trashed(QDir::homePath() + QStringLiteral("/.local/share/Trash/files/a.spt"));
    QVERIFY(trashed.open(QIODevice::ReadOnly));
    QCOMPARE(trashed.readAll(), QByteArray("a\n"));
#endif

    click("pushButtonRemoveSnippet");
    QCOMPARE(box("comboBoxSnippet")->count(), 0);
    QCOMPARE(synopsis(), QString());
    QCOMPARE(body(), QString());
}

void TestLibrary::removeWithEmptyListDoesNothing()
{
    writeFile(QStringLiteral("Default/Default/.spt"), "hidden\n");
    open();
    QCOMPARE(box("comboBoxSnippet")->count(), 0);
    click("pushButtonRemoveSnippet");
    QVERIFY(QFileInfo::exists(lib(QStringLiteral("Default/Default/.spt"))));
}

void TestLibrary::extensionInOtherCaseIsTheSameSnippet()
{
    writeFile(QStringLiteral("L/C/Notes.SPT"), "upper\nold");
    remember("L", "C", "Notes");
    open();
    QCOMPARE(body(), QStringLiteral("old"));

    m_window->findChild<QTextEdit *>(QStringLiteral("textEditSnippet"))->setPlainText(QStringLiteral("new"));
    click("pushButtonSaveSnippet");
    QCOMPARE(readFile(QStringLiteral("L/C/Notes.SPT")), QByteArray("upper\nnew"));
    QCOMPARE(QDir(lib(QStringLiteral("L/C"))).entryList(QDir::Files), QStringList{"Notes.SPT"});

    auto typed = TestSupport::typeIntoNextInputDialog(QStringLiteral("Notes"));
    click("pushButtonAddSnippet");
    QVERIFY(*typed);
    QCOMPARE(items("comboBoxSnippet"), QStringList{"Notes"});

    click("pushButtonRemoveSnippet");
    QCOMPARE(QDir(lib(QStringLiteral("L/C"))).entryList(QDir::Files), QStringList());
}

QUILLORY_TEST_MAIN(TestLibrary)
#include "tst_library.moc"
