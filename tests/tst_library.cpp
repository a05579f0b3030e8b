#include "testsupport.h"

#include "library/librarypaths.h"
#include "library/librarypicture.h"
#include "ui/editsession.h"
#include "ui/mainwindow.h"

#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QAction>
#include <QPushButton>
#include <QSessionManager>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTextEdit>

#ifdef Q_OS_WIN
#  include <windows.h>
#  include <shellapi.h>
#endif

// The library as the user meets it: the window's boxes, buttons and fields
// against the folders and files on disk.
class TestLibrary : public QObject, private TestSupport::WindowDriver
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
    void unsavedEditsAreAskedAbout_data();
    void unsavedEditsAreAskedAbout();
    void editSessionAsksOnce_data();
    void editSessionAsksOnce();
    void typeAheadStaysInTheList_data();
    void typeAheadStaysInTheList();

    void cancelledAddChangesNothing_data();
    void cancelledAddChangesNothing();
    void addLanguageMakesItCurrent();
    void addingAnExistingNameKeepsItsContent();
    void unusableNamesAreRefused_data();
    void unusableNamesAreRefused();
    void addSnippetCreatesAnEmptyFile();

    void removeLanguageTakesOnlyEmptyFolders();
    void removeCategoryTakesEmptiedParentsButNotTheRoot();
    void removeSnippetGoesToTheTrash();
    void removeWithEmptyListDoesNothing();
    void undoRemoveBringsBackWhatWasRead_data();
    void undoRemoveBringsBackWhatWasRead();
    void extensionInOtherCaseIsTheSameSnippet();

    void outsideChangesReachTheWindow_data();
    void outsideChangesReachTheWindow();

private:
    QString synopsis() { return m_window->findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis"))->text(); }
    QString body() { return m_window->findChild<QTextEdit *>(QStringLiteral("textEditSnippet"))->toPlainText(); }
    QStringList items(const char *name) { return TestSupport::itemTexts(box(name)); }
    QString current()
    {
        return QStringList{box("comboBoxLanguage")->currentText(), box("comboBoxCategory")->currentText(),
                           box("comboBoxSnippet")->currentText()}.join(QLatin1Char('/'));
    }
};

namespace {

using TestSupport::lib;
using TestSupport::libraryTree;
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

QVariantMap allSettings()
{
    QSettings settings;
    QVariantMap values;
    for (const QString &key : settings.allKeys())
        values.insert(key, settings.value(key));
    return values;
}

struct Asked
{
    QStringList texts;
    QList<Qt::TextFormat> formats;
};

// Answers the next message boxes in turn ("save", "discard", "cancel", or
// the text of another button), noting what each one said.
void answerMessages(QStringList answers, const std::shared_ptr<Asked> &asked)
{
    if (answers.isEmpty())
        return;
    TestSupport::whenModalOpens([answers, asked](QWidget *w) mutable {
        auto *box = qobject_cast<QMessageBox *>(w);
        asked->texts << box->text();
        asked->formats << box->textFormat();
        const QString answer = answers.takeFirst();
        answerMessages(answers, asked);
        const QMap<QString, QMessageBox::StandardButton> standard = {
            {"save", QMessageBox::Save}, {"discard", QMessageBox::Discard}, {"cancel", QMessageBox::Cancel}};
        if (QAbstractButton *button = box->button(standard.value(answer, QMessageBox::NoButton)))
            return button->click();
        for (QAbstractButton *button : box->buttons()) {
            if (button->text().remove(QLatin1Char('&')).compare(answer, Qt::CaseInsensitive) == 0)
                return button->click();
        }
        box->reject();
    }, "QMessageBox");
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
        << "Gone" << "Loops" << "b" << QStringList{"Default", "Default", "x"};
    QTest::newRow("names compare case-sensitively")
        << "perl" << "Loops" << "b" << QStringList{"Default", "Default", "x"};
}

void TestLibrary::rememberedEntriesAndTheirFallbacks()
{
    QFETCH(QString, language);
    QFETCH(QString, category);
    QFETCH(QString, snippet);
    QFETCH(QStringList, current);

    writeFile(QStringLiteral("Perl/Loops/a.spt"), "first\n");
    writeFile(QStringLiteral("Perl/Loops/b.spt"), "second\nbody");
    // The listing passes through Default/Default on its way. Loading x there
    // used to overwrite the remembered place before it was read.
    writeFile(QStringLiteral("Default/Default/x.spt"), "x\n");
    remember(language, category, snippet);
    open();
    QCOMPARE((QStringList{box("comboBoxLanguage")->currentText(), box("comboBoxCategory")->currentText(),
                          box("comboBoxSnippet")->currentText()}),
             current);
    if (!current[2].isEmpty())
        QCOMPARE((QStringList{setting("Language"), setting("Category"), setting("Snippet")}), current);
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
    // Listed and current: the next save writes to it. It used to stay
    // unlisted, and the next save was refused because the name existed.
    QCOMPARE(items("comboBoxSnippet"), QStringList{"alpha"});
    QCOMPARE(setting("Snippet"), QStringLiteral("alpha"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("alpha[*] \u2014 Quillory"));
    m_window->findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis"))->setText(QStringLiteral("syn 2"));
    auto again = TestSupport::cancelNextDialog();
    click("pushButtonSaveSnippet");
    QVERIFY(!*again);
    QCOMPARE(readFile(QStringLiteral("L/Default/alpha.spt")), QByteArray("syn 2\n"));
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

void TestLibrary::unsavedEditsAreAskedAbout_data()
{
    QTest::addColumn<QString>("name");     // of the snippet being edited
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("typed");    // into the action's name dialog
    QTest::addColumn<QByteArray>("theirs"); // another program's save before the action
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("goesTo");   // the selection afterwards; empty: the window closed
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray old("syn a\nbody a");
    const QByteArray saved("syn a\nbody a edited");
    struct Path
    {
        const char *row;
        const char *action;
        const char *typed;
        const char *goesTo;
        const char *otherBody; // none: the listing comes back to the edited snippet
        const char *told = nullptr; // a message after the question, answered with this
    };
    const Path paths[] = {
        {"choose snippet", "snippet box", "", "L/C/b", "body b"},
        {"choose category", "category box", "", "L/D/c", "body c"},
        {"choose language", "language box", "", "M/Default/", ""},
        {"show from Find", "find", "", "M/E/m", "body m"},
        {"add language", "pushButtonAddLanguage", "N", "N/Default/", ""},
        {"add category", "pushButtonAddCategory", "F", "L/F/", ""},
        {"add snippet", "pushButtonAddSnippet", "n", "L/C/n", ""},
        {"rename language", "actionRename_Language", "L2", "L2/C/a", nullptr},
        {"rename category", "actionRename_Category", "C2", "L/C2/a", nullptr},
        {"remove language", "pushButtonRemoveLanguage", "", "L/C/a", nullptr, "OK"},
        {"remove category", "pushButtonRemoveCategory", "", "L/C/a", nullptr, "OK"},
        {"quit", "actionQuit", "", "", nullptr},
        {"close button", "close", "", "", nullptr},
        {"session ends", "session", "", "", nullptr},
    };
    for (const Path &path : paths) {
        for (const char *answer : {"save", "discard", "cancel"}) {
            const bool cancel = qstrcmp(answer, "cancel") == 0;
            const bool save = qstrcmp(answer, "save") == 0;
            const bool backToA = path.otherBody == nullptr && *path.goesTo;
            const QString body = cancel || !*path.goesTo ? QStringLiteral("body a edited")
                : backToA ? (save ? QStringLiteral("body a edited") : QStringLiteral("body a"))
                          : QString::fromUtf8(path.otherBody);
            QStringList answers{answer};
            if (path.told && !cancel)
                answers << path.told; // "still holds snippets"
            QTest::addRow("%s, %s", path.row, answer)
                << "a" << true << path.action << path.typed << QByteArray() << answers
                << (cancel ? QStringLiteral("L/C/a") : QString::fromUtf8(path.goesTo)) << body
                << (backToA && !cancel ? path.goesTo + QStringLiteral(".spt") : QStringLiteral("L/C/a.spt"))
                << (save ? saved : old);
        }
    }

    QTest::newRow("nothing edited, nothing asked")
        << "a" << false << "snippet box" << "" << QByteArray() << QStringList() << "L/C/b"
        << "body b" << "L/C/a.spt" << old;
    QTest::newRow("nothing edited, quit asks nothing")
        << "a" << false << "actionQuit" << "" << QByteArray() << QStringList() << ""
        << "body a" << "L/C/a.spt" << old;
    QTest::newRow("rename snippet keeps the edits, unsaved")
        << "a" << true << "actionRename_Snippet" << "a2" << QByteArray() << QStringList()
        << "L/C/a2" << "body a edited" << "L/C/a2.spt" << old;
    QTest::newRow("rename snippet onto another one is refused before any question")
        << "a" << true << "actionRename_Snippet" << "b" << QByteArray() << QStringList{"OK"}
        << "L/C/a" << "body a edited" << "L/C/a.spt" << old;
    QTest::newRow("remove snippet asks nothing")
        << "a" << true << "pushButtonRemoveSnippet" << "" << QByteArray() << QStringList()
        << "L/C/b" << "body b" << "L/C/a.spt" << QByteArray("<missing>");
    QTest::newRow("save kept another program's version: nothing goes on")
        << "a" << true << "snippet box" << "" << QByteArray("theirs\n")
        << QStringList{"save", "cancel"} << "L/C/a" << "body a edited" << "L/C/a.spt"
        << QByteArray("theirs\n");
    QTest::newRow("save replaced another program's version")
        << "a" << true << "snippet box" << "" << QByteArray("theirs\n")
        << QStringList{"save", "replace"} << "L/C/b" << "body b" << "L/C/a.spt" << saved;
#ifndef Q_OS_WIN
    // A file name that, as rich text, drew a message of its own.
    QTest::newRow("markup in the name is shown as typed")
        << "<p style=\"color:green\">Replace is safe" << true << "snippet box" << ""
        << QByteArray("theirs\n") << QStringList{"save", "cancel"} << "L/C/a" << "body a edited"
        << "L/C/a.spt" << QByteArray("theirs\n");
#endif
}

void TestLibrary::unsavedEditsAreAskedAbout()
{
    QFETCH(QString, name);
    QFETCH(bool, edit);
    QFETCH(QString, action);
    QFETCH(QString, typed);
    QFETCH(QByteArray, theirs);
    QFETCH(QStringList, answers);
    QFETCH(QString, goesTo);
    QFETCH(QString, body);
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);

    // The edited snippet sorts first, as "a" does, so that a listing's
    // fallback is never mistaken for a return to it.
    writeFile(QStringLiteral("L/C/") + name + QStringLiteral(".spt"), "syn a\nbody a");
    writeFile(QStringLiteral("L/C/b.spt"), "syn b\nbody b");
    writeFile(QStringLiteral("L/D/c.spt"), "syn c\nbody c");
    writeFile(QStringLiteral("M/E/m.spt"), "syn m\nbody m");
    remember("L", "C", name);
    open();
    if (file == QLatin1String("L/C/a.spt"))
        file = QStringLiteral("L/C/") + name + QStringLiteral(".spt");
    if (goesTo == QLatin1String("L/C/a"))
        goesTo = QStringLiteral("L/C/") + name;
    QCOMPARE(current(), QStringLiteral("L/C/") + name);
    auto *bodyEdit = m_window->findChild<QTextEdit *>(QStringLiteral("textEditSnippet"));
    if (edit) {
        bodyEdit->moveCursor(QTextCursor::End);
        QTest::keyClicks(bodyEdit, QStringLiteral(" edited"));
    }
    QCOMPARE(m_window->isWindowModified(), edit);
    QCOMPARE(m_window->windowTitle(), name + QStringLiteral("[*] \u2014 Quillory"));
    if (!theirs.isEmpty())
        writeFile(QStringLiteral("L/C/") + name + QStringLiteral(".spt"), theirs);
    const QStringList treeBefore = libraryTree();
    const QVariantMap settingsBefore = allSettings();

    QSessionManager *manager = nullptr;
    if (action == QLatin1String("session")) {
        manager = qApp->findChild<QSessionManager *>();
        if (!manager)
            QSKIP("This platform has no session manager");
        if (!manager->allowsInteraction()) {
            if (answers != QStringList{"save"})
                QSKIP("This platform's session manager gives no leave to ask: the edits are "
                      "saved without a question, as the save row checks");
            answers.clear();
        }
    }
    if (!typed.isEmpty())
        TestSupport::typeIntoNextInputDialog(typed);
    auto asked = std::make_shared<Asked>();
    answerMessages(answers, asked);
    if (action == QLatin1String("snippet box"))
        box("comboBoxSnippet")->setCurrentText(QStringLiteral("b"));
    else if (action == QLatin1String("category box"))
        box("comboBoxCategory")->setCurrentText(QStringLiteral("D"));
    else if (action == QLatin1String("language box"))
        box("comboBoxLanguage")->setCurrentText(QStringLiteral("M"));
    else if (action == QLatin1String("find")) {
        m_window->findChild<QAction *>(QStringLiteral("actionFind"))->trigger();
        auto *find = m_window->findChild<QDialog *>(QStringLiteral("findDialog"));
        QVERIFY(find);
        // Chosen from finished results, as the user does: on Windows a save
        // over a file that the search is reading fails ("Access denied"),
        // and that message would wait for an answer no row gives.
        auto *status = find->findChild<QLabel *>(QStringLiteral("labelStatus"));
        QTRY_VERIFY_WITH_TIMEOUT(!status->text().startsWith(QStringLiteral("Searching")), 10000);
        QMetaObject::invokeMethod(find, "snippetChosen", Q_ARG(QString, QStringLiteral("M")),
                                  Q_ARG(QString, QStringLiteral("E")),
                                  Q_ARG(QString, QStringLiteral("m")));
    }
    else if (action.startsWith(QLatin1String("pushButton")))
        click(action.toLatin1().constData());
    else if (action.startsWith(QLatin1String("action")) || action == QLatin1String("close")) {
        m_window->show();
        if (action == QLatin1String("close"))
            m_window->close();
        else
            m_window->findChild<QAction *>(action)->trigger();
    } else if (manager) {
        Q_EMIT qApp->commitDataRequest(*manager);
    }

    QCOMPARE(asked->texts.size(), answers.size());
    if (!answers.isEmpty() && answers.constFirst() != QLatin1String("OK"))
        QCOMPARE(asked->texts.constFirst(), QStringLiteral("The snippet \u201c") + name
                                                + QStringLiteral("\u201d has changes that are not saved."));
    for (Qt::TextFormat format : asked->formats)
        QCOMPARE(format, Qt::PlainText);
    const bool cancelled = answers.contains(QStringLiteral("cancel"));
    if (action == QLatin1String("actionQuit") || action == QLatin1String("close"))
        QCOMPARE(m_window->isVisible(), cancelled);
    if (!goesTo.isEmpty())
        QCOMPARE(current(), goesTo);
    QCOMPARE(bodyEdit->toPlainText(), body);
    QCOMPARE(readFile(file), bytes);
    if (cancelled) {
        QCOMPARE(libraryTree(), treeBefore);
        QCOMPARE(allSettings(), settingsBefore);
        QVERIFY(m_window->isWindowModified());
    }
    if (action == QLatin1String("actionRename_Snippet") && answers.isEmpty()) {
        // The renamed file is still the one shown: saved without a question.
        auto askedAgain = TestSupport::cancelNextDialog();
        click("pushButtonSaveSnippet");
        QVERIFY(!*askedAgain);
        QCOMPARE(readFile(file), QByteArray("syn a\nbody a edited"));
    }
    // Let a window kept open by Cancel go without asking again.
    m_window->findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis"))->setModified(false);
    bodyEdit->document()->setModified(false);
}

void TestLibrary::editSessionAsksOnce_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<bool>("listed");     // the fields show a listed snippet, not a new one
    QTest::addColumn<bool>("edit");
    QTest::addColumn<QByteArray>("theirs"); // another program's save after the load
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("newName");   // typed when a name is asked; null: cancelled
    QTest::addColumn<bool>("result");
    QTest::addColumn<QByteArray>("file");   // a.spt afterwards
    QTest::addColumn<bool>("modified");

    const QByteArray old("syn\nbody"), ours("syn\nbody edited"), theirs("theirs\n");
    const QString none;
    QTest::newRow("nothing edited: nothing asked")
        << "mayReplace" << true << false << QByteArray() << QStringList() << none << true << old << false;
    QTest::newRow("save") << "mayReplace" << true << true << QByteArray() << QStringList{"save"}
                          << none << true << ours << false;
    QTest::newRow("discard") << "mayReplace" << true << true << QByteArray() << QStringList{"discard"}
                             << none << true << old << false;
    QTest::newRow("cancel") << "mayReplace" << true << true << QByteArray() << QStringList{"cancel"}
                            << none << false << old << true;
    QTest::newRow("save, another program's version kept")
        << "mayReplace" << true << true << theirs << QStringList{"save", "cancel"} << none << false
        << theirs << true;
    QTest::newRow("save, another program's version replaced")
        << "mayReplace" << true << true << theirs << QStringList{"save", "replace"} << none << true
        << ours << false;
    QTest::newRow("new snippet: save asks its name")
        << "save" << false << true << QByteArray() << QStringList() << "n" << true << old << false;
    QTest::newRow("new snippet: name cancelled")
        << "save" << false << true << QByteArray() << QStringList() << none << false << old << true;
    // A logout without leave to ask used to drop the edits.
    QTest::newRow("logout saves quietly")
        << "saveQuietly" << true << true << QByteArray() << QStringList() << none << true << ours
        << false;
    QTest::newRow("logout never saves over another program's version")
        << "saveQuietly" << true << true << theirs << QStringList() << none << false << theirs << true;
    QTest::newRow("logout cannot name a new snippet")
        << "saveQuietly" << false << true << QByteArray() << QStringList() << none << false << old
        << true;
}

void TestLibrary::editSessionAsksOnce()
{
    QFETCH(QString, call);
    QFETCH(bool, listed);
    QFETCH(bool, edit);
    QFETCH(QByteArray, theirs);
    QFETCH(QStringList, answers);
    QFETCH(QString, newName);
    QFETCH(bool, result);
    QFETCH(QByteArray, file);
    QFETCH(bool, modified);

    writeFile(QStringLiteral("L/C/a.spt"), "syn\nbody");
    QWidget window;
    auto *synopsis = new QLineEdit(&window);
    auto *body = new QTextEdit(&window);
    EditSession session(synopsis, body, &window);
    int namesAsked = 0;
    session.askNewName = [&]() -> std::optional<QString> {
        ++namesAsked;
        return newName.isNull() ? std::nullopt : std::optional(newName);
    };
    QSignalSpy created(&session, &EditSession::snippetCreated);
    const QString path = lib(QStringLiteral("L/C/a.spt"));
    QVERIFY(session.show({"L", "C", listed ? QStringLiteral("a") : QString()},
                         listed ? path : lib(QStringLiteral("L/C/.spt")))
            == listed);
    if (edit) {
        body->moveCursor(QTextCursor::End);
        QTest::keyClicks(body, QStringLiteral(" edited"));
    }
    if (!theirs.isEmpty())
        writeFile(QStringLiteral("L/C/a.spt"), theirs);

    auto asked = std::make_shared<Asked>();
    answerMessages(answers, asked);
    const bool answered = call == QLatin1String("mayReplace") ? session.mayReplace()
        : call == QLatin1String("save")                       ? session.save()
                                                              : session.saveQuietly();
    QCOMPARE(answered, result);
    QCOMPARE(asked->texts.size(), answers.size());
    QCOMPARE(readFile(QStringLiteral("L/C/a.spt")), file);
    QCOMPARE(session.isModified(), modified);
    QCOMPARE(namesAsked, call == QLatin1String("save") ? 1 : 0);
    if (!newName.isEmpty()) {
        QCOMPARE(readFile(QStringLiteral("L/C/") + newName + QStringLiteral(".spt")),
                 QByteArray("\n edited"));
        QCOMPARE(created.size(), 1);
    } else {
        QCOMPARE(created.size(), 0);
    }
    // Whatever stays edited is kept by a listing that comes back to its file.
    QCOMPARE(session.keepsEditsFor(listed ? path : lib(QStringLiteral("L/C/.spt"))), modified);
}

void TestLibrary::typeAheadStaysInTheList_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("goesTo");
    QTest::newRow("language") << "comboBoxLanguage" << "Sh" << "Shell/Default/";
    QTest::newRow("category") << "comboBoxCategory" << "Scr" << "Go/Scripts/run";
    QTest::newRow("snippet") << "comboBoxSnippet" << "bis" << "Go/Net/bisect";
}

void TestLibrary::typeAheadStaysInTheList()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, goesTo);
    writeFile(QStringLiteral("Go/Net/aa.spt"), "dial\nnet.Dial()");
    writeFile(QStringLiteral("Go/Net/bisect.spt"), "search\nsort.Search()");
    writeFile(QStringLiteral("Go/Scripts/run.spt"), "run\ngo run .");
    makeDirs({"Shell/Default"});
    remember("Go", "Net", "aa");
    open();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    const QStringList before = libraryTree();
    QComboBox *list = this->box(box.toLatin1().constData());
    list->setFocus();
    // Each letter after the first used to land in the body of the snippet
    // that the first one loaded.
    QTest::keyClicks(list, typed);
    QCOMPARE(current(), goesTo);
    QCOMPARE(QApplication::focusWidget(), list);
    QVERIFY(!m_window->isWindowModified());
    QCOMPARE(libraryTree(), before);
    QCOMPARE(readFile(QStringLiteral("Go/Scripts/run.spt")), QByteArray("run\ngo run ."));
}

void TestLibrary::cancelledAddChangesNothing_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("emptied"); // accepted with nothing typed
    for (bool emptied : {false, true}) {
        const char *how = emptied ? "emptied" : "cancelled";
        QTest::addRow("language, %s", how) << "pushButtonAddLanguage" << emptied;
        QTest::addRow("category, %s", how) << "pushButtonAddCategory" << emptied;
        QTest::addRow("snippet, %s", how) << "pushButtonAddSnippet" << emptied;
        QTest::addRow("rename category, %s", how) << "actionRename_Category" << emptied;
    }
}

void TestLibrary::cancelledAddChangesNothing()
{
    QFETCH(QString, button);
    QFETCH(bool, emptied);
    open();
    QSettings().clear();
    const QStringList before = QDir(lib(QStringLiteral("Default/Default"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    // An emptied language used to be remembered as "", which every later
    // start read as "Default".
    auto answered = emptied ? TestSupport::typeIntoNextInputDialog(QString())
                            : TestSupport::cancelNextDialog();
    if (button.startsWith(QLatin1String("action")))
        m_window->findChild<QAction *>(button)->trigger();
    else
        click(button.toLatin1().constData());
    QVERIFY(*answered);
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

void TestLibrary::unusableNamesAreRefused_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("name");
    QTest::newRow("parent of the library") << "pushButtonAddLanguage" << "../Escaped";
    QTest::newRow("dot-dot inside") << "pushButtonAddCategory" << "a/../../../Escaped";
    QTest::newRow("absolute path") << "pushButtonAddSnippet" << QDir::homePath() + "/Escaped";
    // Each used to make an entry that no list shows.
    QTest::newRow("separator nests a category") << "pushButtonAddCategory" << "Outer/Inner";
    // Each used to be accepted, as a name no list tells from another.
    QTest::newRow("language of only spaces") << "pushButtonAddLanguage" << "   ";
    QTest::newRow("category of only a space") << "pushButtonAddCategory" << " ";
    QTest::newRow("snippet of only spaces") << "pushButtonAddSnippet" << "  ";
#ifdef Q_OS_WIN
    QTest::newRow("name Windows forbids") << "pushButtonAddCategory" << "a:b";
#else
    QTest::newRow("hidden language") << "pushButtonAddLanguage" << ".NET";
    QTest::newRow("empty snippet name is a hidden .spt") << "pushButtonSaveSnippet" << "";
    QTest::newRow("save under a hidden name") << "pushButtonSaveSnippet" << ".x";
#endif
}

void TestLibrary::unusableNamesAreRefused()
{
    QFETCH(QString, button);
    QFETCH(QString, name);
    open();
    QSettings().clear();
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
    // Ready for the synopsis to be typed.
    QCOMPARE(m_window->focusWidget(), m_window->findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis")));
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
    // It used to do nothing, and say nothing.
    auto asked = std::make_shared<Asked>();
    answerMessages({"OK"}, asked);
    click("pushButtonRemoveLanguage");
    QCOMPARE(asked->texts, QStringList{"\u201cKept\u201d still holds snippets; remove them first."});
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
    auto asked = std::make_shared<Asked>();
    answerMessages({"OK"}, asked);
    click("pushButtonRemoveCategory");
    QCOMPARE(asked->texts.size(), 1);
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

void TestLibrary::undoRemoveBringsBackWhatWasRead_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("from the trash") << "";
    // What the trash holds by then is not what the user removed.
    QTest::newRow("trashed copy changed") << "change the trashed copy";
    QTest::newRow("name taken meanwhile") << "take the name";
#ifndef Q_OS_WIN
    QTest::newRow("no trash") << "no trash";
#endif
}

void TestLibrary::undoRemoveBringsBackWhatWasRead()
{
    QFETCH(QString, meanwhile);
    // Windows-1252 and CR LF: brought back as bytes, not re-encoded.
    const QByteArray bytes("caf\xe9\r\nbody\r\n");
    writeFile(QStringLiteral("L/C/a.spt"), bytes);
    writeFile(QStringLiteral("L/C/b.spt"), "b\nbody of b");
    const QString trash = QDir::homePath() + QStringLiteral("/.local/share/Trash");
    if (meanwhile == QLatin1String("no trash")) {
        QVERIFY(QDir().mkpath(QDir::homePath() + QStringLiteral("/.local/share")));
        QFile blocker(trash);
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the trash folder goes
    }
    remember("L", "C", "a");
    open();
    auto *undo = m_window->findChild<QAction *>(QStringLiteral("actionUndo_Remove"));
    QVERIFY(!undo->isEnabled());
    click("pushButtonRemoveSnippet");
    QCOMPARE(readFile(QStringLiteral("L/C/a.spt")), QByteArray("<missing>"));
    QVERIFY(undo->isEnabled());
    QCOMPARE(undo->text().remove(QLatin1Char('&')), QStringLiteral("Undo Remove \u201ca\u201d"));
#ifndef Q_OS_WIN
    if (meanwhile == QLatin1String("change the trashed copy")) {
        QFile trashed(trash + QStringLiteral("/files/a.spt"));
        QVERIFY(trashed.open(QIODevice::WriteOnly));
        trashed.write("changed in the trash\n");
    }
#endif
    if (meanwhile == QLatin1String("take the name"))
        writeFile(QStringLiteral("L/C/a.spt"), "someone else's\n");

    auto asked = std::make_shared<Asked>();
    const bool taken = meanwhile == QLatin1String("take the name");
    answerMessages(taken ? QStringList{"OK"} : QStringList(), asked);
    undo->trigger();
    if (taken) {
        QCOMPARE(asked->texts,
                 QStringList{"\u201ca\u201d exists already: the removed snippet was not brought back."});
        QCOMPARE(readFile(QStringLiteral("L/C/a.spt")), QByteArray("someone else's\n"));
        QVERIFY(undo->isEnabled());
        return;
    }
    QCOMPARE(asked->texts, QStringList());
    QCOMPARE(readFile(QStringLiteral("L/C/a.spt")), bytes);
    QCOMPARE(current(), QStringLiteral("L/C/a"));
    QCOMPARE(synopsis(), QStringLiteral("caf\u00e9"));
    QVERIFY(!undo->isEnabled());
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

void TestLibrary::outsideChangesReachTheWindow_data()
{
    QTest::addColumn<QString>("change"); // what another program does
    QTest::addColumn<bool>("edit");      // the shown snippet has unsaved edits
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("refused"); // no change notifications: re-checks stand in

    const QStringList snippets{"a", "b"};
    for (bool edit : {false, true}) {
        const char *how = edit ? "with edits" : "without edits";
        const QString body = edit ? QStringLiteral("body a edited") : QStringLiteral("body a");
        QTest::addRow("snippet added, %s", how) << "add L/C/n.spt" << edit << "comboBoxSnippet"
                                               << QStringList{"a", "b", "n"} << body << "" << false;
        QTest::addRow("snippet removed, %s", how) << "remove L/C/b.spt" << edit << "comboBoxSnippet"
                                                 << QStringList{"a"} << body << "" << false;
        QTest::addRow("category renamed, %s", how)
            << "rename L/D L/E" << edit << "comboBoxCategory" << QStringList{"Default", "C", "E"}
            << body << "" << false;
        QTest::addRow("language added, %s", how) << "add M/Default" << edit << "comboBoxLanguage"
                                                << QStringList{"Default", "L", "M"} << body << ""
                                                << false;
        // The fields stay, and Save writes the snippet again.
        QTest::addRow("shown snippet deleted, %s", how) << "remove L/C/a.spt" << edit
                                                        << "comboBoxSnippet" << snippets << body
                                                        << "deleted" << false;
    }
    QTest::newRow("shown snippet changed, without edits: shown again")
        << "change L/C/a.spt" << false << "comboBoxSnippet" << snippets << "theirs" << "changed"
        << false;
    QTest::newRow("shown snippet changed, with edits: they stay")
        << "change L/C/a.spt" << true << "comboBoxSnippet" << snippets << "body a edited"
        << "Save asks" << false;
    QTest::newRow("snippet added, watches refused")
        << "add L/C/n.spt" << false << "comboBoxSnippet" << QStringList{"a", "b", "n"}
        << "body a" << "" << true;
    QTest::newRow("shown snippet changed, watches refused")
        << "change L/C/a.spt" << false << "comboBoxSnippet" << snippets << "theirs" << "changed"
        << true;
}

void TestLibrary::outsideChangesReachTheWindow()
{
    QFETCH(QString, change);
    QFETCH(bool, edit);
    QFETCH(QString, box);
    QFETCH(QStringList, items);
    QFETCH(QString, body);
    QFETCH(QString, status);
    QFETCH(bool, refused);

    LibraryPicture::setWatchesRefusedForTesting(refused);
    const auto watchAgain = qScopeGuard([] { LibraryPicture::setWatchesRefusedForTesting(false); });
    writeFile(QStringLiteral("L/C/a.spt"), "syn a\nbody a");
    writeFile(QStringLiteral("L/C/b.spt"), "syn b\nbody b");
    makeDirs({"L/D", "L/Default", "Default/Default"});
    remember("L", "C", "a");
    open();
    auto *picture = m_window->findChild<LibraryPicture *>();
    QVERIFY(picture);
    QTRY_VERIFY(picture->snapshot().isComplete());
    auto *bodyEdit = m_window->findChild<QTextEdit *>(QStringLiteral("textEditSnippet"));
    if (edit) {
        bodyEdit->moveCursor(QTextCursor::End);
        QTest::keyClicks(bodyEdit, QStringLiteral(" edited"));
    }
    // Whatever happens, nothing may ask the user anything.
    auto asked = TestSupport::whenModalOpens([](QWidget *w) { qobject_cast<QDialog *>(w)->reject(); });

    const QStringList words = change.split(QLatin1Char(' '));
    if (words[0] == QLatin1String("add") && words[1].endsWith(QLatin1String(".spt")))
        writeFile(words[1], "new\n");
    else if (words[0] == QLatin1String("add"))
        makeDirs({qPrintable(words[1])});
    else if (words[0] == QLatin1String("remove"))
        QVERIFY(QFile::remove(lib(words[1])));
    else if (words[0] == QLatin1String("rename"))
        QVERIFY(QDir().rename(lib(words[1]), lib(words[2])));
    else if (words[0] == QLatin1String("change"))
        writeFile(words[1], "syn a\ntheirs");

    QTRY_COMPARE_WITH_TIMEOUT(TestSupport::itemTexts(this->box(box.toLatin1().constData())), items,
                              5000);
    if (!status.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(m_window->statusBar()->currentMessage().contains(status), 5000);
    QCOMPARE(current(), QStringLiteral("L/C/a"));
    QCOMPARE(bodyEdit->toPlainText(), body);
    QCOMPARE(m_window->isWindowModified(), edit);
    QVERIFY(!*asked);

    if (change == QLatin1String("remove L/C/a.spt")) {
        click("pushButtonSaveSnippet");
        QCOMPARE(readFile(QStringLiteral("L/C/a.spt")), "syn a\n" + body.toUtf8());
    }
    bodyEdit->document()->setModified(false);
}

QUILLORY_TEST_MAIN(TestLibrary)
#include "tst_library.moc"
