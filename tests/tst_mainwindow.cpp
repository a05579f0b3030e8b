#include "testsupport.h"

#include "ui/mainwindow.h"
#include "ui/mainwindowform.h"

#include <QAction>
#include <QBoxLayout>
#include <QClipboard>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QHash>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTextEdit>

// The window's form, its settings and its close and change handling.
class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void resourcesAreRegistered_data();
    void resourcesAreRegistered();
    void objectTree_data();
    void objectTree();
    void selectorRowsCentreTheirButtons();
    void menusInTheOrderTheUserSees();
    void keysReachTheCommands_data();
    void keysReachTheCommands();
    void texts();
    void styleSheets();
    void unnamedWindowIsNamedNamedOneKeepsItsName();
    void firstRunDefaults();
    void fontAndGeometryComeBack();
    void bodyIsAPlainTextCodeEditor();
    void storedValueThatIsNotAFontGivesDefaultFont();
    void closingAlwaysWritesGeometry();
    void languageChangeReappliesTextsOtherChangesDoNot();
};

void TestMainWindow::init()
{
    TestSupport::beginTest();
    QSettings().clear();
    QDir(TestSupport::documentsPath()).removeRecursively();
}

void TestMainWindow::cleanup()
{
    TestSupport::endTest();
    // Each test's window is gone by now; a widget it made without a parent
    // would outlive it here.
    QCOMPARE(QApplication::topLevelWidgets(), QWidgetList());
}

void TestMainWindow::resourcesAreRegistered_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::newRow("application") << ":/resources/icon.png" << QSize(256, 251);
    QTest::newRow("add") << ":/resources/add.png" << QSize(24, 24);
    QTest::newRow("save") << ":/resources/save.png" << QSize(24, 24);
    QTest::newRow("remove") << ":/resources/remove.png" << QSize(24, 24);
}

void TestMainWindow::resourcesAreRegistered()
{
    // The images sit in a static library: they are only there if the linker
    // kept the collection's initialiser.
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
    QVERIFY(QFile::exists(QStringLiteral(":/resources/icon.ico")));
}

void TestMainWindow::objectTree_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QString>("layoutName");
    QTest::addColumn<int>("position");

    const auto row = [](const char *name, const char *cls, const char *parent,
                        const char *layout = "", int position = -1) {
        QTest::newRow(name) << name << cls << parent << layout << position;
    };
    for (const char *action : {"actionFont", "actionAdd_Language", "actionAdd_Cateegory",
                               "actionAdd_Snippet", "actionQuit", "actionSave",
                               "actionRename_Language", "actionRename_Category",
                               "actionRename_Snippet", "actionUpdate", "actionFind",
                               "actionCopySnippet"})
        row(action, "QAction", "MainWindow");
    row("centralWidget", "QWidget", "MainWindow");
    row("label_4", "QLabel", "centralWidget", "verticalLayout_4", 0);
    row("lineEditSynopsis", "QLineEdit", "centralWidget", "verticalLayout_4", 1);
    row("textEditSnippet", "QTextEdit", "centralWidget", "verticalLayout_4", 2);
    row("label", "QLabel", "centralWidget", "verticalLayout", 0);
    row("comboBoxLanguage", "QComboBox", "centralWidget", "verticalLayout", 1);
    row("pushButtonAddLanguage", "QPushButton", "centralWidget", "horizontalLayout", 1);
    row("pushButtonRemoveLanguage", "QPushButton", "centralWidget", "horizontalLayout", 2);
    row("label_2", "QLabel", "centralWidget", "verticalLayout_2", 0);
    row("comboBoxCategory", "QComboBox", "centralWidget", "verticalLayout_2", 1);
    row("pushButtonAddCategory", "QPushButton", "centralWidget", "horizontalLayout_2", 1);
    row("pushButtonRemoveCategory", "QPushButton", "centralWidget", "horizontalLayout_2", 2);
    row("label_3", "QLabel", "centralWidget", "verticalLayout_3", 0);
    row("comboBoxSnippet", "QComboBox", "centralWidget", "verticalLayout_3", 1);
    row("pushButtonAddSnippet", "QPushButton", "centralWidget", "horizontalLayout_3", 1);
    row("pushButtonSaveSnippet", "QPushButton", "centralWidget", "horizontalLayout_3", 2);
    row("pushButtonRemoveSnippet", "QPushButton", "centralWidget", "horizontalLayout_3", 3);
    row("menuBar", "QMenuBar", "MainWindow");
    row("menuFile", "QMenu", "menuBar");
    row("menuEdit", "QMenu", "menuBar");
    row("menuSettings", "QMenu", "menuBar");
}

void TestMainWindow::objectTree()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QString, layoutName);
    QFETCH(int, position);

    MainWindow window;
    auto *object = window.findChild<QObject *>(name);
    QVERIFY(object);
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);
    QCOMPARE(object->parent()->objectName(), parentName);
    if (position >= 0) {
        auto *layout = window.findChild<QLayout *>(layoutName);
        QVERIFY(layout);
        QCOMPARE(layout->indexOf(qobject_cast<QWidget *>(object)), position);
    }
}

void TestMainWindow::selectorRowsCentreTheirButtons()
{
    MainWindow window;
    auto *columns = window.findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout_4"));
    QVERIFY(columns);
    QCOMPARE(columns->count(), 3);
    const char *columnNames[] = {"verticalLayout", "verticalLayout_2", "verticalLayout_3"};
    const char *rowNames[] = {"horizontalLayout", "horizontalLayout_2", "horizontalLayout_3"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(columns->itemAt(i)->layout()->objectName(), QLatin1String(columnNames[i]));
        auto *row = window.findChild<QHBoxLayout *>(QLatin1String(rowNames[i]));
        QCOMPARE(columns->itemAt(i)->layout()->itemAt(2)->layout(), row);
        QVERIFY(row->itemAt(0)->spacerItem());
        QVERIFY(row->itemAt(row->count() - 1)->spacerItem());
        QCOMPARE(row->itemAt(0)->spacerItem()->sizePolicy().horizontalPolicy(),
                 QSizePolicy::Expanding);
        QCOMPARE(row->spacing(), 6);
    }
    for (auto *button : window.findChildren<QPushButton *>()) {
        QCOMPARE(button->iconSize(), QSize(25, 25));
        QVERIFY(!button->icon().isNull());
    }
    auto *outer = window.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout_4"));
    QCOMPARE(outer->contentsMargins(), QMargins(11, 11, 11, 11));
    QCOMPARE(outer->spacing(), 6);
    QCOMPARE(outer->itemAt(3)->layout(), columns);
}

void TestMainWindow::menusInTheOrderTheUserSees()
{
    MainWindow window;
    auto *menuBar = window.findChild<QMenuBar *>(QStringLiteral("menuBar"));
    QCOMPARE(window.menuBar(), menuBar);
    QVERIFY(!menuBar->isNativeMenuBar());
    QCOMPARE(menuBar->geometry(), QRect(0, 0, 632, 21));

    // Each entry has a mnemonic of its own within its menu.
    const auto texts = [](const QList<QAction *> &actions) {
        QStringList texts;
        QStringList mnemonics;
        for (QAction *action : actions) {
            if (action->isSeparator()) {
                texts << QStringLiteral("-");
                continue;
            }
            const QString mnemonic = QKeySequence::mnemonic(action->text()).toString();
            if (mnemonic.isEmpty() || mnemonics.contains(mnemonic))
                return QStringList{QStringLiteral("no mnemonic of its own: ") + action->text()};
            mnemonics << mnemonic;
            texts << QString(action->text()).remove(QLatin1Char('&'));
        }
        return texts;
    };
    QCOMPARE(texts(menuBar->actions()), QStringList({"File", "Edit", "Settings", "Help"}));

    const auto entries = [&](const char *menuName) {
        return texts(window.findChild<QMenu *>(QLatin1String(menuName))->actions());
    };
    QCOMPARE(entries("menuFile"), QStringList({"Add Language", "Add Category", "Add Snippet", "-",
                                               "Save", "-", "Quit"}));
    QCOMPARE(entries("menuEdit"),
             QStringList({"Undo Remove", "-", "Rename Language", "Rename Category",
                          "Rename Snippet", "-", "Find\u2026", "Copy Snippet"}));
    QCOMPARE(entries("menuSettings"), QStringList({"Font", "Update"}));
    QCOMPARE(entries("menuHelp"), QStringList({"About Quillory"}));

    QCOMPARE(window.findChild<QAction *>(QStringLiteral("actionFind"))->shortcut(),
             QKeySequence(QKeySequence::Find));
    QCOMPARE(window.findChild<QAction *>(QStringLiteral("actionCopySnippet"))->shortcut(),
             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    QVERIFY(!window.findChild<QAction *>(QStringLiteral("actionAdd_Cateegory"))->icon().isNull());
    QVERIFY(window.findChild<QAction *>(QStringLiteral("actionFont"))->icon().isNull());
}

void TestMainWindow::keysReachTheCommands_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("opens"); // the dialog's title; empty: the window closes

    // With no snippet listed, Save first asks for a name.
    QTest::newRow("Ctrl+S saves") << QKeySequence(Qt::CTRL | Qt::Key_S) << "Add Snippet";
    QTest::newRow("Ctrl+N adds a snippet") << QKeySequence(Qt::CTRL | Qt::Key_N) << "Add Snippet";
    QTest::newRow("F2 renames the snippet") << QKeySequence(Qt::Key_F2) << "Rename Snippet";
    QTest::newRow("Ctrl+Q quits") << QKeySequence(Qt::CTRL | Qt::Key_Q) << "";
}

void TestMainWindow::keysReachTheCommands()
{
    QFETCH(QKeySequence, keys);
    QFETCH(QString, opens);
    MainWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QString title;
    auto opened = TestSupport::whenModalOpens([&title](QWidget *w) {
        title = w->windowTitle();
        qobject_cast<QDialog *>(w)->reject();
    });
    QTest::keySequence(&window, keys);
    if (opens.isEmpty()) {
        QVERIFY(!window.isVisible());
    } else {
        QVERIFY(*opened);
        QCOMPARE(title, opens);
    }
}

void TestMainWindow::texts()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Quillory"));
    const QList<QPair<const char *, const char *>> labels = {
        {"label_4", "Synopsis:"}, {"label", "Language:"},
        {"label_2", "Category:"}, {"label_3", "Snippet:"}};
    for (const auto &[name, text] : labels)
        QCOMPARE(window.findChild<QLabel *>(QLatin1String(name))->text(), QLatin1String(text));
    const QList<QPair<const char *, const char *>> buttons = {
        {"pushButtonAddLanguage", "Add"}, {"pushButtonRemoveLanguage", "Remove"},
        {"pushButtonAddCategory", "Add"}, {"pushButtonRemoveCategory", "Remove"},
        {"pushButtonAddSnippet", "Add"}, {"pushButtonSaveSnippet", "Save"},
        {"pushButtonRemoveSnippet", "Remove"}};
    for (const auto &[name, text] : buttons)
        QCOMPARE(window.findChild<QPushButton *>(QLatin1String(name))->text(), QLatin1String(text));
}

void TestMainWindow::styleSheets()
{
    MainWindow window;
    const QString windowSheet = window.styleSheet();
    QCOMPARE(windowSheet.size(), 159);
    QVERIFY(windowSheet.startsWith(QLatin1String("QWidget#centralWidget {\n\t border: 1px solid;")));
    QVERIFY(windowSheet.endsWith(QLatin1String("rgba(228, 238, 249,200);\n} ")));
    // No composition on this platform: the central area is painted opaque.
    QCOMPARE(window.centralWidget()->styleSheet(),
             QStringLiteral("QWidget#centralWidget {background-color: rgb(232,236,246);} "));
    QCOMPARE(window.contentsMargins(), QMargins());
}

void TestMainWindow::unnamedWindowIsNamedNamedOneKeepsItsName()
{
    MainWindow unnamed;
    QCOMPARE(unnamed.objectName(), QStringLiteral("MainWindow"));

    QMainWindow named;
    named.setObjectName(QStringLiteral("Kept"));
    MainWindowForm form;
    form.setupForm(&named);
    QCOMPARE(named.objectName(), QStringLiteral("Kept"));
}

void TestMainWindow::firstRunDefaults()
{
    MainWindow window;
    QCOMPARE(window.size(), QSize(632, 400));
    QCOMPARE(window.findChild<QTextEdit *>(QStringLiteral("textEditSnippet"))->font(),
             QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QCOMPARE(window.findChild<QComboBox *>(QStringLiteral("comboBoxLanguage"))->currentText(),
             QStringLiteral("Default"));
    QCOMPARE(window.findChild<QComboBox *>(QStringLiteral("comboBoxCategory"))->currentText(),
             QStringLiteral("Default"));
    QCOMPARE(window.findChild<QComboBox *>(QStringLiteral("comboBoxSnippet"))->count(), 0);
}

void TestMainWindow::fontAndGeometryComeBack()
{
    QFont chosen = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    chosen.setPointSize(17);
    {
        MainWindow window;
        window.show();
        window.setGeometry(40, 50, 700, 480);
        QSettings().setValue(QStringLiteral("Font"), chosen);
        window.close();
    }
    MainWindow window;
    QCOMPARE(window.size(), QSize(700, 480));
    QCOMPARE(window.findChild<QTextEdit *>(QStringLiteral("textEditSnippet"))->font(), chosen);
    // Only the body editor takes the stored font.
    QVERIFY(window.findChild<QLineEdit *>(QStringLiteral("lineEditSynopsis"))->font() != chosen);
}

void TestMainWindow::bodyIsAPlainTextCodeEditor()
{
    MainWindow window;
    auto *body = window.findChild<QTextEdit *>(QStringLiteral("textEditSnippet"));

    // From a browser: colours and a dark background that a save would drop.
    auto *pasted = new QMimeData;
    pasted->setHtml(QStringLiteral("<pre style=\"background:#222;color:#0f0\"><b>int</b> x;</pre>"));
    pasted->setText(QStringLiteral("int x;"));
    QGuiApplication::clipboard()->setMimeData(pasted);
    body->paste();
    QCOMPARE(body->toPlainText(), QStringLiteral("int x;"));
    QTextCursor cursor(body->document());
    cursor.movePosition(QTextCursor::End);
    QCOMPARE(cursor.charFormat().background().style(), Qt::NoBrush);
    QVERIFY(!cursor.charFormat().hasProperty(QTextFormat::ForegroundBrush));
    QVERIFY(!cursor.charFormat().font().bold());

    // Copied out as the text itself, no-break spaces included.
    body->setPlainText(QStringLiteral("a\u00a0b\nc"));
    body->selectAll();
    body->copy();
    const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
    QCOMPARE(copied->formats(), QStringList{"text/plain"});
    QCOMPARE(copied->text(), QStringLiteral("a\u00a0b\nc"));

    // A tab reaches as far as four spaces, in the default font and in a
    // chosen one.
    for (const QFont &font : {body->font(), QFont(QStringLiteral("Serif"), 17)}) {
        body->setFont(font);
        body->setPlainText(QStringLiteral("\tx\n    x"));
        QTextCursor afterTab(body->document());
        afterTab.setPosition(1);
        QTextCursor afterSpaces(body->document());
        afterSpaces.setPosition(7);
        QCOMPARE(body->cursorRect(afterTab).x(), body->cursorRect(afterSpaces).x());
    }
}

void TestMainWindow::storedValueThatIsNotAFontGivesDefaultFont()
{
    QSettings().setValue(QStringLiteral("Font"), QVariant::fromValue(QSize(3, 4)));
    QSettings().setValue(QStringLiteral("Geometry"), QByteArray("not a geometry"));
    MainWindow window;
    QCOMPARE(window.findChild<QTextEdit *>(QStringLiteral("textEditSnippet"))->font(), QFont());
    QCOMPARE(window.size(), QSize(632, 400));
}

void TestMainWindow::closingAlwaysWritesGeometry()
{
    MainWindow window;
    window.show();
    QVERIFY(!QSettings().contains(QStringLiteral("Geometry")));
    QVERIFY(window.close());
    QVERIFY(!window.isVisible());
    const QByteArray stored = QSettings().value(QStringLiteral("Geometry")).toByteArray();
    QCOMPARE(stored, window.saveGeometry());
}

void TestMainWindow::languageChangeReappliesTextsOtherChangesDoNot()
{
    MainWindow window;
    auto *label = window.findChild<QLabel *>(QStringLiteral("label_4"));
    auto *menu = window.findChild<QMenu *>(QStringLiteral("menuEdit"));

    label->setText(QStringLiteral("changed"));
    menu->setTitle(QStringLiteral("changed"));
    QEvent fontChange(QEvent::FontChange);
    QApplication::sendEvent(&window, &fontChange);
    QCOMPARE(label->text(), QStringLiteral("changed"));

    QEvent languageChange(QEvent::LanguageChange);
    QApplication::sendEvent(&window, &languageChange);
    QCOMPARE(label->text(), QStringLiteral("Synopsis:"));
    QCOMPARE(menu->title(), QStringLiteral("&Edit"));
    QCOMPARE(window.findChildren<QObject *>().size(), MainWindow().findChildren<QObject *>().size());
}

QUILLORY_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
