#include "testsupport.h"

#include "ui/codeedit.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowform.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QBoxLayout>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QFontDatabase>
#include <QHash>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTextEdit>

#include <cmath>

// The window's form, its settings and its close and change handling.
class TestMainWindow : public QObject
{
    Q_OBJECT

    QPalette desktopPalette;
    bool desktopPaletteKept = false;

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
    void labelsLeadToTheirFields_data();
    void labelsLeadToTheirFields();
    void removeSnippetKey_data();
    void removeSnippetKey();
    void formReadsOnEveryPalette_data();
    void formReadsOnEveryPalette();
    void iconsAreSharpAtTwiceTheScale_data();
    void iconsAreSharpAtTwiceTheScale();
    void bodyFontHasFixedWidths_data();
    void bodyFontHasFixedWidths();
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
    if (!desktopPaletteKept)
        desktopPalette = QApplication::palette();
    desktopPaletteKept = true;
    TestSupport::beginTest();
    QSettings().clear();
    QDir(TestSupport::documentsPath()).removeRecursively();
}

void TestMainWindow::cleanup()
{
    TestSupport::endTest();
    QApplication::setPalette(desktopPalette);
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
    QTest::addColumn<bool>("fromFind"); // pressed while the Find window is active
    // The dialog's title; empty: the window closes; the Find window's title:
    // it is the active window afterwards.
    QTest::addColumn<QString>("opens");

    const QString find = QStringLiteral("Find a Snippet");
    // With no snippet listed, Save first asks for a name.
    QTest::newRow("Ctrl+S saves") << QKeySequence(Qt::CTRL | Qt::Key_S) << false << "Add Snippet";
    QTest::newRow("Ctrl+N adds a snippet")
        << QKeySequence(Qt::CTRL | Qt::Key_N) << false << "Add Snippet";
    QTest::newRow("F2 renames the snippet") << QKeySequence(Qt::Key_F2) << false << "Rename Snippet";
    QTest::newRow("Ctrl+Q quits") << QKeySequence(Qt::CTRL | Qt::Key_Q) << false << "";
    QTest::newRow("Ctrl+F finds") << QKeySequence(Qt::CTRL | Qt::Key_F) << false << find;
    // Regression: the Find window swallowed the main window's keys.
    QTest::newRow("Ctrl+S saves from Find")
        << QKeySequence(Qt::CTRL | Qt::Key_S) << true << "Add Snippet";
    QTest::newRow("Ctrl+N adds a snippet from Find")
        << QKeySequence(Qt::CTRL | Qt::Key_N) << true << "Add Snippet";
    QTest::newRow("Ctrl+Q quits from Find") << QKeySequence(Qt::CTRL | Qt::Key_Q) << true << "";
    QTest::newRow("Ctrl+F keeps Find") << QKeySequence(Qt::CTRL | Qt::Key_F) << true << find;
}

void TestMainWindow::keysReachTheCommands()
{
    QFETCH(QKeySequence, keys);
    QFETCH(bool, fromFind);
    QFETCH(QString, opens);
    MainWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QWidget *target = &window;
    if (fromFind) {
        window.openFind();
        target = window.findChild<QDialog *>(QStringLiteral("findDialog"));
        QVERIFY(target);
        // The main window's own activation may still be on its way.
        QTest::qWait(50);
        target->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), target);
    }

    QString title;
    auto opened = TestSupport::whenModalOpens([&title](QWidget *w) {
        title = w->windowTitle();
        qobject_cast<QDialog *>(w)->reject();
    });
    QTest::keySequence(target, keys);
    if (opens.isEmpty()) {
        QVERIFY(!window.isVisible());
    } else if (opens == QLatin1String("Find a Snippet")) {
        QTRY_VERIFY(QApplication::activeWindow()
                    && QApplication::activeWindow()->windowTitle() == opens);
    } else {
        QVERIFY(*opened);
        QCOMPARE(title, opens);
    }
    if (auto *find = window.findChild<QDialog *>(QStringLiteral("findDialog")))
        find->close();
}

void TestMainWindow::labelsLeadToTheirFields_data()
{
    QTest::addColumn<QString>("label"); // empty: the field has none
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("accessibleName");

    QTest::newRow("Alt+Y: synopsis") << "label_4" << "lineEditSynopsis" << "Synopsis";
    QTest::newRow("Alt+L: languages") << "label" << "comboBoxLanguage" << "Language";
    QTest::newRow("Alt+C: categories") << "label_2" << "comboBoxCategory" << "Category";
    QTest::newRow("Alt+N: snippets") << "label_3" << "comboBoxSnippet" << "Snippet";
    QTest::newRow("body") << "" << "textEditSnippet" << "Snippet text";
}

void TestMainWindow::labelsLeadToTheirFields()
{
    QFETCH(QString, label);
    QFETCH(QString, field);
    QFETCH(QString, accessibleName);
    MainWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *target = window.findChild<QWidget *>(field);

    // A screen reader reads what the user sees next to the field.
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(target);
    QVERIFY(accessible);
    const QString name = accessible->text(QAccessible::Name);
#ifdef Q_OS_UNIX
    // There Qt names a list after its current entry and tells its label
    // through the relation below.
    if (auto *box = qobject_cast<QComboBox *>(target); box && !box->currentText().isEmpty())
        QCOMPARE(name, box->currentText());
    else
#endif
        QCOMPARE(name, accessibleName);
    if (label.isEmpty())
        return;
    const auto labels = accessible->relations(QAccessible::Label);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first().first->object(), window.findChild<QLabel *>(label));

    // The letter is no menu title's: Alt with it would open the menu instead.
    const QString text = window.findChild<QLabel *>(label)->text();
    const QKeySequence mnemonic = QKeySequence::mnemonic(text);
    QVERIFY2(!mnemonic.isEmpty(), qPrintable(text));
    for (QAction *menu : window.menuBar()->actions())
        QVERIFY2(QKeySequence::mnemonic(menu->text()) != mnemonic, qPrintable(menu->text()));

    window.findChild<QTextEdit *>(QStringLiteral("textEditSnippet"))->setFocus();
    QTest::keySequence(&window, mnemonic);
    QCOMPARE(QApplication::focusWidget(), target);
}

void TestMainWindow::removeSnippetKey_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("removes");

    QTest::newRow("in the snippet list") << "comboBoxSnippet" << true;
    QTest::newRow("in the language list") << "comboBoxLanguage" << true;
    // There it is Cut, as everywhere else: no snippet goes by a slip.
    QTest::newRow("in the body it cuts") << "textEditSnippet" << false;
}

void TestMainWindow::removeSnippetKey()
{
    QFETCH(QString, focus);
    QFETCH(bool, removes);
    TestSupport::writeFile(QStringLiteral("Default/Default/a.spt"), "about a\nbody of a");
    TestSupport::writeFile(QStringLiteral("Default/Default/b.spt"), "about b\nbody of b");
    MainWindow window;
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *snippets = window.findChild<QComboBox *>(QStringLiteral("comboBoxSnippet"));
    auto *body = window.findChild<QTextEdit *>(QStringLiteral("textEditSnippet"));
    QCOMPARE(snippets->currentText(), QStringLiteral("a"));
    QWidget *focused = window.findChild<QWidget *>(focus);
    focused->setFocus();
    body->selectAll();

    QTest::keySequence(focused, QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    if (removes) {
        QTRY_COMPARE(TestSupport::itemTexts(snippets), QStringList{"b"});
        QVERIFY(!QFile::exists(TestSupport::lib(QStringLiteral("Default/Default/a.spt"))));
    } else {
        QTest::qWait(300); // a button's key clicks after a short delay
        QCOMPARE(TestSupport::itemTexts(snippets), QStringList({"a", "b"}));
        QCOMPARE(body->toPlainText(), QString());
        QCOMPARE(TestSupport::readFile(QStringLiteral("Default/Default/a.spt")),
                 QByteArray("about a\nbody of a"));
        // Leaving with the cut body asks; the test's answer is Discard.
        auto answered = TestSupport::whenModalOpens([](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            box->button(QMessageBox::Discard)->click();
        });
        window.close();
        QVERIFY(*answered);
    }
}

namespace {

QPalette darkPalette(const QColor &window = QColor(0x2d, 0x2d, 0x2d))
{
    QPalette palette(window);
    palette.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    return palette;
}

QPalette lightPalette()
{
    QPalette palette(QColor(0xef, 0xef, 0xef));
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Base, Qt::white);
    return palette;
}

double relativeLuminance(QRgb rgb)
{
    const auto linear = [](int c) {
        const double v = c / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(rgb)) + 0.7152 * linear(qGreen(rgb)) + 0.0722 * linear(qBlue(rgb));
}

// The contrast of a label as drawn: its commonest colour is the background,
// the pixel farthest from it the core of a glyph.
double drawnContrast(const QImage &image)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000];
    QRgb background = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    const double lb = relativeLuminance(background);
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const double l = relativeLuminance(it.key());
        best = std::max(best, (std::max(l, lb) + 0.05) / (std::min(l, lb) + 0.05));
    }
    return best;
}

} // namespace

void TestMainWindow::formReadsOnEveryPalette_data()
{
    QTest::addColumn<QPalette>("atStart");
    QTest::addColumn<QPalette>("whileRunning"); // applied once the window shows
    QTest::addColumn<bool>("darkSheet");

    QTest::newRow("light") << lightPalette() << lightPalette() << false;
    // Regression: light labels on the fixed light sheet, 1.05:1.
    QTest::newRow("dark") << darkPalette() << darkPalette() << true;
    QTest::newRow("dark, window too close to its text")
        << darkPalette(QColor(0x90, 0x90, 0x90)) << darkPalette(QColor(0x90, 0x90, 0x90)) << true;
    QTest::newRow("light, then dark while running") << lightPalette() << darkPalette() << true;
    QTest::newRow("dark, then light while running") << darkPalette() << lightPalette() << false;
}

void TestMainWindow::formReadsOnEveryPalette()
{
    QFETCH(QPalette, atStart);
    QFETCH(QPalette, whileRunning);
    QFETCH(bool, darkSheet);
    QApplication::setPalette(atStart);
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (whileRunning != atStart) {
        QApplication::setPalette(whileRunning);
        QCoreApplication::processEvents();
    }

    const QString sheet = window.centralWidget()->styleSheet();
    QCOMPARE(sheet == QLatin1String("QWidget#centralWidget {background-color: rgb(232,236,246);} "),
             !darkSheet);
    const QImage shot = window.grab().toImage();
    for (const char *name : {"label_4", "label", "label_2", "label_3"}) {
        auto *label = window.findChild<QLabel *>(QLatin1String(name));
        const QRect area(label->mapTo(&window, QPoint()), label->size());
        const double contrast = drawnContrast(shot.copy(area));
        QVERIFY2(contrast >= 4.5, qPrintable(QStringLiteral("%1: %2:1").arg(name).arg(contrast)));
    }
}

void TestMainWindow::iconsAreSharpAtTwiceTheScale_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QSize>("size"); // as laid out, in device-independent pixels
    QTest::addColumn<QString>("oneX");
    QTest::addColumn<QString>("twoX");

    QTest::newRow("add") << "pushButtonAddSnippet" << QSize(25, 25) << ":/resources/add.png"
                         << ":/resources/add@2x.png";
    QTest::newRow("save") << "pushButtonSaveSnippet" << QSize(25, 25) << ":/resources/save.png"
                          << ":/resources/save@2x.png";
    QTest::newRow("remove") << "pushButtonRemoveCategory" << QSize(25, 25)
                            << ":/resources/remove.png" << ":/resources/remove@2x.png";
    // A title bar's icon, drawn at its size rather than shrunk from 256.
    QTest::newRow("window, title bar") << "" << QSize(16, 16) << ":/resources/icon@16px.png"
                                       << ":/resources/icon@32px.png";
    QTest::newRow("window, task bar") << "" << QSize(32, 32) << ":/resources/icon@32px.png"
                                      << ":/resources/icon@64px.png";
}

void TestMainWindow::iconsAreSharpAtTwiceTheScale()
{
    QFETCH(QString, object);
    QFETCH(QSize, size);
    QFETCH(QString, oneX);
    QFETCH(QString, twoX);
    MainWindow window;
    const QIcon icon = object.isEmpty() ? window.windowIcon()
                                        : window.findChild<QPushButton *>(object)->icon();
    const auto image = [](const QPixmap &pixmap) {
        QImage pixels = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        pixels.setDevicePixelRatio(1);
        return pixels;
    };
    const auto file = [&image](const QString &path) { return image(QPixmap(path)); };
    QCOMPARE(file(twoX).size(), file(oneX).size() * 2);
    // At 1x the drawing is the one it always was.
    QCOMPARE(image(icon.pixmap(size, 1.0)), file(oneX));
    QCOMPARE(image(icon.pixmap(size, 2.0)), file(twoX));
}

void TestMainWindow::bodyFontHasFixedWidths_data()
{
    QTest::addColumn<QFont>("desktopFixed");
    QTest::addColumn<bool>("kept");

    const auto installed = [](const QString &family) {
        return QFontDatabase::families().contains(family);
    };
    // Regression: under Wine the desktop's fixed font is a proportional serif.
    for (const char *family : {"DejaVu Serif", "Times New Roman", "Tahoma"}) {
        if (installed(QLatin1String(family)))
            QTest::newRow(family) << QFont(QLatin1String(family), 13) << false;
    }
    if (installed(QStringLiteral("DejaVu Sans Mono")))
        QTest::newRow("fixed") << QFont(QStringLiteral("DejaVu Sans Mono"), 10) << true;
    // Fixed, though it does not declare itself so.
    if (installed(QStringLiteral("Noto Sans Mono")))
        QTest::newRow("fixed, undeclared") << QFont(QStringLiteral("Noto Sans Mono"), 11) << true;
}

void TestMainWindow::bodyFontHasFixedWidths()
{
    QFETCH(QFont, desktopFixed);
    QFETCH(bool, kept);
    const QFont chosen = CodeEdit::fixedWidthFont(desktopFixed);
    QCOMPARE(chosen == desktopFixed, kept);
    QCOMPARE(chosen.pointSize(), desktopFixed.pointSize());
    const QFontMetricsF metrics(chosen);
    for (const QChar c : QStringLiteral("il.MW_"))
        QCOMPARE(metrics.horizontalAdvance(c), metrics.horizontalAdvance(QLatin1Char('m')));
}

void TestMainWindow::texts()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Quillory"));
    const QList<QPair<const char *, const char *>> labels = {
        {"label_4", "S&ynopsis:"}, {"label", "&Language:"},
        {"label_2", "&Category:"}, {"label_3", "S&nippet:"}};
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
             CodeEdit::fixedWidthFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)));
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
    QCOMPARE(label->text(), QStringLiteral("S&ynopsis:"));
    QCOMPARE(menu->title(), QStringLiteral("&Edit"));
    QCOMPARE(window.findChildren<QObject *>().size(), MainWindow().findChildren<QObject *>().size());
}

QUILLORY_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
