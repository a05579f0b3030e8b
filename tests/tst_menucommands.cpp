#include "testsupport.h"

#include "ui/mainwindow.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFontDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QSettings>
#include <QTextEdit>

// The File, Edit and Settings menus, each command reaching the window through
// the menu bar's triggered signal.
class TestMenuCommands : public QObject
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
    void acceptedFontGoesToTheBodyOnlyAndIsStored();

private:
    void trigger(const char *actionName);
    QComboBox *box(const char *name) { return m_window->findChild<QComboBox *>(QLatin1String(name)); }
    QTextEdit *bodyEdit() { return m_window->findChild<QTextEdit *>(QStringLiteral("textEditSnippet")); }
    void open() { m_window.reset(new MainWindow); }

    std::unique_ptr<MainWindow> m_window;
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

QUILLORY_TEST_MAIN(TestMenuCommands)
#include "tst_menucommands.moc"
