#include "testsupport.h"

#include "library/librarypicture.h"
#include "library/snippetfile.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QListView>
#include <QMimeData>
#include <QComboBox>
#include <QFile>
#include <QFontDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QSaveFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTextDocument>
#include <QTextEdit>

// The File, Edit and Settings menus, each command reaching the window through
// the menu bar's triggered signal.
class TestMenuCommands : public QObject, private TestSupport::WindowDriver
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void fileEntriesDoWhatTheirButtonsDo();
    void quitClosesThroughTheCloseHandling();
    void renameMovesTheEntryAndSelectsIt_data();
    void renameMovesTheEntryAndSelectsIt();
    void renameWithoutEntryOnDiskCreatesIt_data();
    void renameWithoutEntryOnDiskCreatesIt();
    void renameOntoAnExistingNameChangesNothing_data();
    void renameOntoAnExistingNameChangesNothing();
    void cancelledOrEmptyRenameChangesNothing_data();
    void cancelledOrEmptyRenameChangesNothing();
    void renameKeepsTheExtensionsLetterCase();
    void fontDialogOpensOnStoredOrCurrentFont();
    void findWindow_data();
    void findWindow();
    void findFollowsTheDisk_data();
    void findFollowsTheDisk();
    void acceptedFontGoesToTheBodyOnlyAndIsStored();

private:
    void trigger(const char *actionName);
    QTextEdit *bodyEdit() { return m_window->findChild<QTextEdit *>(QStringLiteral("textEditSnippet")); }
};

namespace {

using TestSupport::lib;
using TestSupport::libraryTree;
using TestSupport::readFile;
using TestSupport::remember;
using TestSupport::writeFile;

} // namespace

void TestMenuCommands::init()
{
    TestSupport::beginTest();
    m_window.reset();
    QSettings().clear();
    TestSupport::resetHome();
}

void TestMenuCommands::cleanup()
{
    LibraryPicture::setWatchesRefusedForTesting(false);
    TestSupport::endTest();
}

void TestMenuCommands::trigger(const char *actionName)
{
    auto *action = m_window->findChild<QAction *>(QLatin1String(actionName));
    QVERIFY(action);
    // Reaches the window through the menu's parent, the menu bar, as a click
    // in the open menu would.
    action->trigger();
}

void TestMenuCommands::fileEntriesDoWhatTheirButtonsDo()
{
    open();
    auto language = TestSupport::typeIntoNextInputDialog(QStringLiteral("Perl"));
    trigger("actionAdd_Language");
    QVERIFY(*language);
    QCOMPARE(box("comboBoxLanguage")->currentText(), QStringLiteral("Perl"));

    auto category = TestSupport::typeIntoNextInputDialog(QStringLiteral("Loops"));
    trigger("actionAdd_Cateegory");
    QVERIFY(*category);
    QCOMPARE(box("comboBoxCategory")->currentText(), QStringLiteral("Loops"));

    auto snippet = TestSupport::typeIntoNextInputDialog(QStringLiteral("for"));
    trigger("actionAdd_Snippet");
    QVERIFY(*snippet);
    QCOMPARE(readFile(QStringLiteral("Perl/Loops/for.spt")), QByteArray());

    m_window->findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis"))->setText(QStringLiteral("loop"));
    bodyEdit()->setPlainText(QStringLiteral("for (;;) {}"));
    trigger("actionSave");
    QCOMPARE(readFile(QStringLiteral("Perl/Loops/for.spt")), QByteArray("loop\nfor (;;) {}"));
}

void TestMenuCommands::quitClosesThroughTheCloseHandling()
{
    open();
    m_window->show();
    trigger("actionQuit");
    QVERIFY(!m_window->isVisible());
    QCOMPARE(QSettings().value(QStringLiteral("Geometry")).toByteArray(), m_window->saveGeometry());
}

void TestMenuCommands::renameMovesTheEntryAndSelectsIt_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("boxName");
    QTest::addColumn<QString>("moved");

    QTest::newRow("language") << "actionRename_Language" << "Python" << "Language"
                              << "comboBoxLanguage" << "Python/Loops/hello.spt";
    QTest::newRow("category Loops to Iteration")
        << "actionRename_Category" << "Iteration" << "Category" << "comboBoxCategory"
        << "Scripts/Iteration/hello.spt";
    QTest::newRow("snippet hello to greeting") << "actionRename_Snippet" << "greeting" << "Snippet"
                                               << "comboBoxSnippet" << "Scripts/Loops/greeting.spt";
    QTest::newRow("name with dots") << "actionRename_Snippet" << "hello.v2" << "Snippet"
                                    << "comboBoxSnippet" << "Scripts/Loops/hello.v2.spt";
}

void TestMenuCommands::renameMovesTheEntryAndSelectsIt()
{
    QFETCH(QString, action);
    QFETCH(QString, newName);
    QFETCH(QString, key);
    QFETCH(QString, boxName);
    QFETCH(QString, moved);

    writeFile(QStringLiteral("Scripts/Loops/hello.spt"), "greets\nprint('hello')\n");
    remember(QStringLiteral("Scripts"), QStringLiteral("Loops"), QStringLiteral("hello"));
    open();

    auto typed = TestSupport::typeIntoNextInputDialog(newName);
    trigger(action.toLatin1().constData());
    QVERIFY(*typed);
    QCOMPARE(readFile(moved), QByteArray("greets\nprint('hello')\n"));
    QVERIFY(!QFileInfo::exists(lib(QStringLiteral("Scripts/Loops/hello.spt"))));
    QCOMPARE(QSettings().value(key).toString(), newName);
    QCOMPARE(box(boxName.toLatin1().constData())->currentText(), newName);
    QCOMPARE(bodyEdit()->toPlainText(), QStringLiteral("print('hello')\n"));
}

void TestMenuCommands::renameWithoutEntryOnDiskCreatesIt_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("created");
    QTest::addColumn<QString>("boxName");
    QTest::addColumn<QString>("hiddenFile");
    QTest::newRow("Default language before its folder exists")
        << "actionRename_Language" << "Fresh" << "comboBoxLanguage" << QString();
    QTest::newRow("empty snippet list") << "actionRename_Snippet" << "Default/Default/Fresh.spt"
                                        << "comboBoxSnippet" << QString();
    // Renaming used to create an empty file beside it instead.
    QTest::newRow("empty snippet list renames an unlisted .spt")
        << "actionRename_Snippet" << "Default/Default/Fresh.spt" << "comboBoxSnippet"
        << "Default/Default/.spt";
}

void TestMenuCommands::renameWithoutEntryOnDiskCreatesIt()
{
    QFETCH(QString, action);
    QFETCH(QString, created);
    QFETCH(QString, boxName);
    QFETCH(QString, hiddenFile);
    const QByteArray hiddenText("kept\nbody");
    if (!hiddenFile.isEmpty())
        writeFile(hiddenFile, hiddenText);
    open();
    // The listing made the Default folders; take the language's away again.
    if (action == QLatin1String("actionRename_Language"))
        QVERIFY(QDir(lib(QStringLiteral("Default"))).removeRecursively());

    auto typed = TestSupport::typeIntoNextInputDialog(QStringLiteral("Fresh"));
    trigger(action.toLatin1().constData());
    QVERIFY(*typed);
    QVERIFY(QFileInfo::exists(lib(created)));
    if (created.endsWith(QLatin1String(".spt")))
        QCOMPARE(readFile(created), hiddenFile.isEmpty() ? QByteArray() : hiddenText);
    if (!hiddenFile.isEmpty())
        QVERIFY(!QFileInfo::exists(lib(hiddenFile)));
    QCOMPARE(box(boxName.toLatin1().constData())->currentText(), QStringLiteral("Fresh"));
}

void TestMenuCommands::renameOntoAnExistingNameChangesNothing_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("boxName");
    QTest::addColumn<QString>("current");
    // Each used to switch to the other entry without a word, dropping the
    // typed text.
    QTest::newRow("language") << "actionRename_Language" << "Other" << "comboBoxLanguage"
                              << "Scripts";
    QTest::newRow("category") << "actionRename_Category" << "Strings" << "comboBoxCategory"
                              << "Loops";
    QTest::newRow("snippet") << "actionRename_Snippet" << "world" << "comboBoxSnippet" << "hello";
    QTest::newRow("snippet with extension in other case")
        << "actionRename_Snippet" << "Upper" << "comboBoxSnippet" << "hello";
}

void TestMenuCommands::renameOntoAnExistingNameChangesNothing()
{
    QFETCH(QString, action);
    QFETCH(QString, target);
    QFETCH(QString, boxName);
    QFETCH(QString, current);

    writeFile(QStringLiteral("Scripts/Loops/hello.spt"), "hello\n");
    writeFile(QStringLiteral("Scripts/Loops/world.spt"), "world\n");
    writeFile(QStringLiteral("Scripts/Loops/Upper.SPT"), "upper\n");
    writeFile(QStringLiteral("Scripts/Strings/s.spt"), "s\n");
    writeFile(QStringLiteral("Other/Default/o.spt"), "o\n");
    remember(QStringLiteral("Scripts"), QStringLiteral("Loops"), QStringLiteral("hello"));
    open();
    const QStringList before = libraryTree();
    bodyEdit()->setPlainText(QStringLiteral("typed, not saved"));

    QString message;
    auto told = std::make_shared<bool>(false);
    auto typed = TestSupport::whenModalOpens([&](QWidget *w) {
        auto *dialog = qobject_cast<QInputDialog *>(w);
        QVERIFY(dialog);
        dialog->setTextValue(target);
        dialog->accept();
        told = TestSupport::whenModalOpens([&message](QWidget *box) {
            if (auto *messageBox = qobject_cast<QMessageBox *>(box))
                message = messageBox->text();
            box->close();
        });
    });
    trigger(action.toLatin1().constData());
    QVERIFY(*typed);
    QVERIFY(*told);
    QCOMPARE(message, QStringLiteral("\u201c%1\u201d exists already.").arg(target));
    QCOMPARE(libraryTree(), before);
    QCOMPARE(box(boxName.toLatin1().constData())->currentText(), current);
    QCOMPARE(bodyEdit()->toPlainText(), QStringLiteral("typed, not saved"));
}

void TestMenuCommands::cancelledOrEmptyRenameChangesNothing_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("cancel");
    for (const char *action : {"actionRename_Language", "actionRename_Category", "actionRename_Snippet"}) {
        QTest::addRow("%s cancelled", action) << action << true;
        QTest::addRow("%s empty", action) << action << false;
    }
}

void TestMenuCommands::cancelledOrEmptyRenameChangesNothing()
{
    QFETCH(QString, action);
    QFETCH(bool, cancel);
    writeFile(QStringLiteral("Scripts/Loops/hello.spt"), "hello\n");
    remember(QStringLiteral("Scripts"), QStringLiteral("Loops"), QStringLiteral("hello"));
    open();
    const QStringList before = libraryTree();
    QSettings().clear();

    auto answered = cancel ? TestSupport::cancelNextDialog()
                           : TestSupport::typeIntoNextInputDialog(QString());
    trigger(action.toLatin1().constData());
    QVERIFY(*answered);
    QCOMPARE(libraryTree(), before);
    QCOMPARE(QSettings().allKeys(), QStringList());
    QCOMPARE(box("comboBoxSnippet")->currentText(), QStringLiteral("hello"));
}

void TestMenuCommands::renameKeepsTheExtensionsLetterCase()
{
    writeFile(QStringLiteral("L/C/Notes.SPT"), "notes\n");
    remember(QStringLiteral("L"), QStringLiteral("C"), QStringLiteral("Notes"));
    open();
    auto typed = TestSupport::typeIntoNextInputDialog(QStringLiteral("Memo"));
    trigger("actionRename_Snippet");
    QVERIFY(*typed);
    QCOMPARE(QDir(lib(QStringLiteral("L/C"))).entryList(QDir::Files), QStringList{"Memo.SPT"});
    QCOMPARE(box("comboBoxSnippet")->currentText(), QStringLiteral("Memo"));
}

void TestMenuCommands::fontDialogOpensOnStoredOrCurrentFont()
{
    if (TestSupport::runningUnderWine())
        QSKIP("Under Wine, Qt 6.4's QFontDialog crashes in Qt6Gui while it is built "
              "(a null read, with the fonts Wine offers)");
    open();
    QFont seen;
    auto fallback = TestSupport::whenModalOpens([&seen](QWidget *w) {
        auto *dialog = qobject_cast<QFontDialog *>(w);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Select Font"));
        seen = dialog->currentFont();
        dialog->reject();
    });
    trigger("actionFont");
    QVERIFY(*fallback);
    // The dialog names the family as the font database does ("Monospace"
    // for "monospace").
    QCOMPARE(QFontInfo(seen).family(), QFontInfo(bodyEdit()->font()).family());
    QVERIFY(!QSettings().contains(QStringLiteral("Font")));

    QFont stored(QStringLiteral("Monospace"), 15);
    QSettings().setValue(QStringLiteral("Font"), stored);
    auto fromSettings = TestSupport::whenModalOpens([&seen](QWidget *w) {
        seen = qobject_cast<QFontDialog *>(w)->currentFont();
        qobject_cast<QDialog *>(w)->reject();
    });
    const QFont before = bodyEdit()->font();
    trigger("actionFont");
    QVERIFY(*fromSettings);
    QCOMPARE(seen.pointSize(), 15);
    QCOMPARE(bodyEdit()->font(), before);
}

void TestMenuCommands::acceptedFontGoesToTheBodyOnlyAndIsStored()
{
    if (TestSupport::runningUnderWine())
        QSKIP("Under Wine, Qt 6.4's QFontDialog crashes in Qt6Gui while it is built "
              "(a null read, with the fonts Wine offers)");
    open();
    const QFont synopsisFont = m_window->findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis"))->font();
    auto accepted = TestSupport::whenModalOpens([](QWidget *w) {
        auto *dialog = qobject_cast<QFontDialog *>(w);
        QFont font = dialog->currentFont();
        font.setPointSize(23);
        dialog->setCurrentFont(font);
        dialog->accept();
    });
    trigger("actionFont");
    QVERIFY(*accepted);
    QCOMPARE(bodyEdit()->font().pointSize(), 23);
    QCOMPARE(m_window->findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis"))->font(), synopsisFont);
    QCOMPARE(QSettings().value(QStringLiteral("Font")).value<QFont>().pointSize(), 23);

    open();
    QCOMPARE(bodyEdit()->font().pointSize(), 23);
}

void TestMenuCommands::findWindow_data()
{
    QTest::addColumn<QString>("query");
    // Typed into the Find window after the query: "enter", "down enter",
    // "ctrl+enter", "escape", or "copy action" (Edit > Copy Snippet after
    // Enter); empty: none.
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QStringList>("titles"); // the results, top to bottom
    QTest::addColumn<QString>("shown");      // Language/Category/Name afterwards
    QTest::addColumn<QString>("clipboard");  // plain text; empty: untouched
    QTest::addColumn<int>("notSearched");    // the huge file, and a link to a device where there is one

    const QString first = QStringLiteral("Default/Default/Erase");
    const QString vector = QStringLiteral("C++ \u203A Containers \u203A Vector");
    const QString split = QStringLiteral("C++ \u203A Strings \u203A Split");
    const QString erase = QStringLiteral("Default \u203A Default \u203A Erase");
    const QString map = QStringLiteral("C++ \u203A Containers \u203A Map");
    const QString latin = QStringLiteral("Python \u203A Files \u203A Latin");
    const QString wide = QStringLiteral("Python \u203A Files \u203A Wide");
    const QString compare = QStringLiteral("Tools \u203A Build \u203A compare");
    const QString compareBuild = QStringLiteral("Tools \u203A Build \u203A compare-build");
    const QString precompare = QStringLiteral("Tools \u203A Build \u203A precompare");
#ifdef Q_OS_WIN
    const int all = 1;
#else
    const int all = 2;
#endif

    QTest::newRow("words in any order and any field") << "erase vector" << QString()
                                                      << QStringList{erase, vector} << first
                                                      << QString() << all;
    QTest::newRow("name, then synopsis, then body")
        << "vector" << QString() << QStringList{vector, split, erase} << first << QString() << all;
    QTest::newRow("a capital letter makes case count")
        << "Vector" << QString() << QStringList{vector} << first << QString() << all;
    QTest::newRow("UTF-16 file") << "utf-16" << QString() << QStringList{wide} << first << QString() << all;
    QTest::newRow("Windows-1252 file") << "caf\u00E9 na\u00EFve" << QString() << QStringList{latin}
                                       << first << QString() << all;
    QTest::newRow("a file too large to load is no result")
        << "huge" << QString() << QStringList() << first << QString() << all;
    QTest::newRow("empty query lists the whole library")
        << "" << QString()
        << QStringList{erase, map, vector, split, latin, wide, compareBuild, compare, precompare}
        << first << QString() << all;
    QTest::newRow("Enter shows the snippet and remembers it")
        << "map" << "enter" << QStringList{map} << "C++/Containers/Map" << QString() << all;
    QTest::newRow("Down moves from the line edit")
        << "vector" << "down enter" << QStringList{vector, split, erase} << "C++/Strings/Split"
        << QString() << all;
    QTest::newRow("Ctrl+Enter copies the body as plain text")
        << "map" << "ctrl+enter" << QStringList{map} << first << "auto it = m.find(key);\n" << all;
    QTest::newRow("Escape changes nothing") << "map" << "escape" << QStringList{map} << first
                                            << QString() << all;
    QTest::newRow("Copy Snippet copies the shown body")
        << "vector" << "copy action" << QStringList{vector, split, erase} << "C++/Containers/Vector"
        << "v.push_back(x);\nv.erase(it);\n" << all;
    QTest::newRow("an exact name, then names that start with the words")
        << "compare" << QString() << QStringList{compare, compareBuild, precompare} << first
        << QString() << all;
    QTest::newRow("Language/ narrows to a language")
        << "c++/ vector" << QString() << QStringList{vector, split} << first << QString() << 0;
    QTest::newRow("Language/Category/ in any case narrows to a category")
        << "C++/containers/ vector" << QString() << QStringList{vector} << first << QString() << 0;
    QTest::newRow("a place alone lists it")
        << "python/files/" << QString() << QStringList{latin, wide} << first << QString() << 0;
    QTest::newRow("a word at the very end of a body") << "key);" << QString() << QStringList{map}
                                                      << first << QString() << all;
    QTest::newRow("case folded over bytes, a repeated letter")
        << "aab" << QString() << QStringList{precompare} << first << QString() << all;
    QTest::newRow("a word of slashes is a word, not a place")
        << "//" << QString() << QStringList{erase} << first << QString() << all;
    QTest::newRow("Enter right after typing acts on the new query")
        << "map" << "after vector, enter at once" << QStringList{map} << "C++/Containers/Map"
        << QString() << all;
}

void TestMenuCommands::findWindow()
{
    QFETCH(QString, query);
    QFETCH(QString, keys);
    QFETCH(QStringList, titles);
    QFETCH(QString, shown);
    QFETCH(QString, clipboard);
    QFETCH(int, notSearched);

    writeFile(QStringLiteral("C++/Containers/Vector.spt"), "Grow a vector\nv.push_back(x);\nv.erase(it);\n");
    writeFile(QStringLiteral("C++/Containers/Map.spt"), "Find in a map\nauto it = m.find(key);\n");
    writeFile(QStringLiteral("C++/Strings/Split.spt"), "Split on a vector of separators\ns.split(',');\n");
    writeFile(QStringLiteral("Default/Default/Erase.spt"), "remove\nstd::erase(v, x); // vector\n");
    const QString wideText = QStringLiteral("Wide read\nopen(path, encoding='utf-16')\n");
    writeFile(QStringLiteral("Python/Files/Wide.spt"),
              QByteArray("\xFF\xFE", 2)
                  + QByteArray(reinterpret_cast<const char *>(wideText.utf16()), wideText.size() * 2));
    writeFile(QStringLiteral("Python/Files/Latin.spt"), "caf\xE9 menu\nna\xEFve\n");
    QDir().mkpath(lib(QStringLiteral("Odd/Files")));
    QFile huge(lib(QStringLiteral("Odd/Files/huge.spt"))); // sparse: only its size counts
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(SnippetFile::maximumSize + 1));
    huge.close();
#ifndef Q_OS_WIN
    // Listed by the window, never opened: a device may act on being opened.
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), lib(QStringLiteral("Odd/Files/zero.spt"))));
#endif
    // A synopsis that looks like HTML shows as typed.
    writeFile(QStringLiteral("Tools/Build/compare.spt"), "<h1 style=\"color:red\">Hello\ndiff -r a b\n");
    writeFile(QStringLiteral("Tools/Build/compare-build.spt"), "Two builds\ncmp a b\n");
    writeFile(QStringLiteral("Tools/Build/precompare.spt"), "Before a build\nmake -n AAAB\n");
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    open();
    m_window->show();
    const QStringList treeBefore = libraryTree();

    trigger("actionFind");
    auto *dialog = m_window->findChild<QDialog *>(QStringLiteral("findDialog"));
    QVERIFY(dialog && dialog->isVisible());
    auto *line = dialog->findChild<QLineEdit *>(QStringLiteral("lineEditFind"));
    auto *results = dialog->findChild<QListView *>(QStringLiteral("listViewResults"));
    auto *status = dialog->findChild<QLabel *>(QStringLiteral("labelStatus"));
    const auto searched = [status] {
        return !status->text().contains(QStringLiteral("Searching"))
            && !status->text().startsWith(QStringLiteral("Reading"));
    };
    const bool enterAtOnce = keys.endsWith(QLatin1String("enter at once"));
    if (enterAtOnce) {
        // An earlier query's list stands while the new one is searched.
        QTest::keyClicks(line, QStringLiteral("vector"));
        QTRY_VERIFY(searched());
        line->selectAll();
    }
    // Every keystroke starts a search; QTest types ASCII only.
    for (const QChar c : query) {
        if (c.unicode() < 0x80)
            QTest::keyClick(line, char(c.unicode()));
        else
            line->insert(c);
    }
    if (enterAtOnce)
        QTest::keyClick(line, Qt::Key_Return);
    QTRY_VERIFY(searched());
    QStringList seen;
    for (int row = 0; row < results->model()->rowCount(); ++row) {
        const QModelIndex index = results->model()->index(row, 0);
        seen << index.data().toString().section(QLatin1Char('\n'), 0, 0);
        QTextDocument tip;
        tip.setHtml(index.data(Qt::ToolTipRole).toString());
        QCOMPARE(tip.toPlainText(), index.data().toString());
    }
    QCOMPARE(seen, titles);
    if (notSearched > 0) {
        QVERIFY2(status->text().contains(QStringLiteral("%1 not searched").arg(notSearched)),
                 qPrintable(status->text()));
        QTextDocument tip;
        tip.setHtml(status->toolTip());
        QVERIFY2(tip.toPlainText().contains(QStringLiteral("huge.spt")), qPrintable(status->toolTip()));
    } else {
        QVERIFY2(!status->text().contains(QStringLiteral("not searched")), qPrintable(status->text()));
    }

    const bool copyAction = keys == QLatin1String("copy action");
    if (keys.startsWith(QLatin1String("down")))
        QTest::keyClick(line, Qt::Key_Down);
    if (keys.endsWith(QLatin1String("enter")) || copyAction)
        QTest::keyClick(line, Qt::Key_Return,
                        keys.startsWith(QLatin1String("ctrl")) ? Qt::ControlModifier : Qt::NoModifier);
    if (keys == QLatin1String("escape"))
        QTest::keyClick(line, Qt::Key_Escape);
    if (copyAction)
        trigger("actionCopySnippet");
    QTRY_COMPARE(dialog->isVisible(), keys.isEmpty());

    const QString current = box("comboBoxLanguage")->currentText() + QLatin1Char('/')
        + box("comboBoxCategory")->currentText() + QLatin1Char('/')
        + box("comboBoxSnippet")->currentText();
    QCOMPARE(current, shown);
    const QSettings settings;
    QCOMPARE(settings.value(QStringLiteral("Language")).toString() + QLatin1Char('/')
                 + settings.value(QStringLiteral("Category")).toString() + QLatin1Char('/')
                 + settings.value(QStringLiteral("Snippet")).toString(),
             shown);
    const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
    QCOMPARE(copied->text(), clipboard.isEmpty() ? QStringLiteral("before") : clipboard);
    QVERIFY(!copied->hasHtml());
    // Listing the shown language makes sure it has a Default category, as
    // choosing it in its box does; nothing else on disk changes.
    QDir().rmdir(lib(shown.section(QLatin1Char('/'), 0, 0) + QStringLiteral("/Default")));
    QCOMPARE(libraryTree(), treeBefore);

    // Opening again keeps the query, selected, so that typing replaces it.
    trigger("actionFind");
    QCOMPARE(line->text(), query);
    QCOMPARE(line->selectedText(), query);
}

void TestMenuCommands::findFollowsTheDisk_data()
{
    QTest::addColumn<QString>("change"); // by another program, while Find shows "vector"
    QTest::addColumn<bool>("refused");   // no watch granted: re-checks stand in
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("folders"); // among those the picture reports
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("mostReports"); // 0: any number

    const QString vector = QStringLiteral("C++ \u203A Containers \u203A Vector");
    const QString erase = QStringLiteral("Default \u203A Default \u203A Erase");
    const struct
    {
        const char *change;
        QStringList titles;
        QStringList folders;
        QStringList files;
        int mostReports = 0;
    } rows[] = {
        {"add", {vector, QStringLiteral("C++ \u203A Containers \u203A Array"), erase},
         {"C++/Containers"}, {"C++/Containers/Array.spt"}},
        {"remove", {erase}, {"C++/Containers"}, {"C++/Containers/Vector.spt"}},
        {"rename", {QStringLiteral("C++ \u203A Containers \u203A Vectors"), erase},
         {"C++/Containers"}, {"C++/Containers/Vector.spt", "C++/Containers/Vectors.spt"}},
        {"write in place", {vector}, {}, {"Default/Default/Erase.spt"}},
        {"new language", {vector, QStringLiteral("Go \u203A Slices \u203A Grow"), erase},
         {"", "Go"}, {"Go/Slices/Grow.spt"}},
        {"remove category", {erase}, {"C++"}, {"C++/Containers/Vector.spt"}},
        {"remove language", {erase}, {"", "C++"}, {"C++/Containers/Vector.spt"}},
        {"new category", {vector, QStringLiteral("C++ \u203A Lists \u203A List"), erase},
         {"C++"}, {"C++/Lists/List.spt"}},
        // Taken in once the rename has been: the watch must know the new name.
        {"renamed language gains a snippet",
         {QStringLiteral("Cpp \u203A Containers \u203A Vector"),
          QStringLiteral("Cpp \u203A Containers \u203A Array"), erase},
         {"", "Cpp/Containers"}, {"Cpp/Containers/Array.spt"}},
        // How editors save: a new file renamed over the old one.
        {"replaced by a rename", {vector}, {}, {"Default/Default/Erase.spt"}},
        // Only the modification time tells this one from the file before.
        {"rewrite at the same size", {vector}, {}, {"Default/Default/Erase.spt"}},
        // A checkout of many files is one refresh, not one per file.
        {"burst of 300 files",
         {vector, QStringLiteral("C++ \u203A Containers \u203A burst299"), erase},
         {"C++/Containers"}, {"C++/Containers/burst0.spt", "C++/Containers/burst299.spt"}, 2},
    };
    for (const bool refused : {false, true}) {
        for (const auto &row : rows) {
            QTest::addRow("%s%s", row.change, refused ? ", watches refused" : "")
                << QString::fromLatin1(row.change) << refused << row.titles << row.folders
                << row.files << row.mostReports;
        }
    }
}

void TestMenuCommands::findFollowsTheDisk()
{
    QFETCH(QString, change);
    QFETCH(bool, refused);
    QFETCH(QStringList, titles);
    QFETCH(QStringList, folders);
    QFETCH(QStringList, files);
    QFETCH(int, mostReports);

    writeFile(QStringLiteral("C++/Containers/Vector.spt"), "Grow a vector\nv.push_back(x);\n");
    writeFile(QStringLiteral("Default/Default/Erase.spt"), "remove\nstd::erase(v, x); // vector\n");
    LibraryPicture::setWatchesRefusedForTesting(refused);
    open();
    m_window->show();
    auto *picture = m_window->findChild<LibraryPicture *>();
    QVERIFY(picture);
    trigger("actionFind");
    auto *dialog = m_window->findChild<QDialog *>(QStringLiteral("findDialog"));
    auto *line = dialog->findChild<QLineEdit *>(QStringLiteral("lineEditFind"));
    auto *results = dialog->findChild<QListView *>(QStringLiteral("listViewResults"));
    auto *status = dialog->findChild<QLabel *>(QStringLiteral("labelStatus"));
    const auto titlesNow = [results] {
        QStringList seen;
        for (int row = 0; row < results->model()->rowCount(); ++row)
            seen << results->model()->index(row, 0).data().toString().section(QLatin1Char('\n'), 0, 0);
        return seen;
    };
    QTest::keyClicks(line, QStringLiteral("vector"));
    QTRY_VERIFY(picture->snapshot().isComplete() && status->text().endsWith(QStringLiteral("snippets")));
    QCOMPARE(titlesNow(), (QStringList{QStringLiteral("C++ \u203A Containers \u203A Vector"),
                                       QStringLiteral("Default \u203A Default \u203A Erase")}));
    QCOMPARE(picture->isWatching(), !refused);
    QSignalSpy reported(picture, &LibraryPicture::changedOnDisk);

    if (change == QLatin1String("add")) {
        writeFile(QStringLiteral("C++/Containers/Array.spt"), "Like a vector\nstd::array<int, 3> a;\n");
    } else if (change == QLatin1String("remove")) {
        QVERIFY(QFile::remove(lib(QStringLiteral("C++/Containers/Vector.spt"))));
    } else if (change == QLatin1String("rename")) {
        QVERIFY(QFile::rename(lib(QStringLiteral("C++/Containers/Vector.spt")),
                              lib(QStringLiteral("C++/Containers/Vectors.spt"))));
    } else if (change == QLatin1String("write in place")) {
        QFile file(lib(QStringLiteral("Default/Default/Erase.spt")));
        QVERIFY(file.open(QIODevice::ReadWrite | QIODevice::Truncate));
        file.write("remove\nnothing here\n");
    } else if (change == QLatin1String("new language")) {
        writeFile(QStringLiteral("Go/Slices/Grow.spt"), "Grow a vector-like slice\ns = append(s, x)\n");
    } else if (change == QLatin1String("remove category")) {
        QVERIFY(QDir(lib(QStringLiteral("C++/Containers"))).removeRecursively());
    } else if (change == QLatin1String("renamed language gains a snippet")) {
        QVERIFY(QDir().rename(lib(QStringLiteral("C++")), lib(QStringLiteral("Cpp"))));
        QTRY_COMPARE(titlesNow(), (QStringList{QStringLiteral("Cpp \u203A Containers \u203A Vector"),
                                               QStringLiteral("Default \u203A Default \u203A Erase")}));
        writeFile(QStringLiteral("Cpp/Containers/Array.spt"), "Like a vector\nstd::array<int, 3> a;\n");
    } else if (change == QLatin1String("new category")) {
        writeFile(QStringLiteral("C++/Lists/List.spt"), "A vector-like list\nstd::list<int> l;\n");
    } else if (change == QLatin1String("replaced by a rename")) {
        QSaveFile file(lib(QStringLiteral("Default/Default/Erase.spt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("remove\nno match here\n");
        QVERIFY(file.commit());
    } else if (change == QLatin1String("remove language")) {
        QVERIFY(QDir(lib(QStringLiteral("C++"))).removeRecursively());
    } else if (change == QLatin1String("rewrite at the same size")) {
        QFile file(lib(QStringLiteral("Default/Default/Erase.spt")));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(file.size() - 7));
        file.write("victor\n");
    } else if (change.startsWith(QLatin1String("burst"))) {
        for (int i = 0; i < 300; ++i)
            writeFile(QStringLiteral("C++/Containers/burst%1.spt").arg(i),
                      i == 299 ? "the last vector\n" : "one of many\n");
    }
    QTRY_COMPARE(titlesNow(), titles);
    if (mostReports > 0)
        QVERIFY2(reported.size() <= mostReports, qPrintable(QString::number(reported.size())));

    QSet<QString> seenFolders;
    QSet<QString> seenFiles;
    for (const QList<QVariant> &signal : std::as_const(reported)) {
        for (const QString &path : signal.at(0).toStringList())
            seenFolders.insert(QDir::fromNativeSeparators(path));
        for (const QString &path : signal.at(1).toStringList())
            seenFiles.insert(QDir::fromNativeSeparators(path));
    }
    for (const QString &folder : std::as_const(folders)) {
        const QString path = folder.isEmpty() ? TestSupport::libraryPath() : lib(folder);
        QVERIFY2(seenFolders.contains(path), qPrintable(QStringList(seenFolders.values()).join(u',')));
    }
    for (const QString &file : std::as_const(files))
        QVERIFY2(seenFiles.contains(lib(file)), qPrintable(QStringList(seenFiles.values()).join(u',')));
}

QUILLORY_TEST_MAIN(TestMenuCommands)
#include "tst_menucommands.moc"
