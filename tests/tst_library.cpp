#include "testsupport.h"

#include "library/librarypaths.h"
#include "ui/mainwindow.h"

#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QAction>
#include <QPushButton>
#include <QSessionManager>
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
    void unsavedEditsAreAskedAbout_data();
    void unsavedEditsAreAskedAbout();

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
    QString current()
    {
        return QStringList{box("comboBoxLanguage")->currentText(), box("comboBoxCategory")->currentText(),
                           box("comboBoxSnippet")->currentText()}.join(QLatin1Char('/'));
    }
    void open() { m_window.reset(new MainWindow); }

    std::unique_ptr<MainWindow> m_window;
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
        {"remove language", "pushButtonRemoveLanguage", "", "L/C/a", nullptr},
        {"remove category", "pushButtonRemoveCategory", "", "L/C/a", nullptr},
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
            QTest::addRow("%s, %s", path.row, answer)
                << "a" << true << path.action << path.typed << QByteArray() << QStringList{answer}
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
            if (answers != QStringList{"cancel"})
                QSKIP("This platform's session manager gives no leave to ask: the session ends "
                      "with the window as it is, as the cancel row checks");
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
    const bool cancelled = answers.contains(QStringLiteral("cancel")) || (manager && answers.isEmpty());
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
