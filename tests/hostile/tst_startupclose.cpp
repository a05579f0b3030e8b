// Linked with the program's own main(): starts the real program in a
// temporary home, waits until its window is up, runs a Find search, shows
// the snippet it found with its colours, closes the window the way the user
// does and lets main() run its teardown. The test passes when main() returns
// 0 and the process exits by itself (nothing here ends it), and, in a
// sanitizer build, when nothing was reported on the way.

#include "ui/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

QTemporaryDir *home = nullptr;

void removeHome()
{
    delete home;
    home = nullptr;
}

void giveUp(const char *why)
{
    std::fprintf(stderr, "%s\n", why);
    QCoreApplication::exit(1);
}

// Runs `step` once `ready` holds, checking every 10 ms for 30 seconds.
void when(const std::function<bool()> &ready, const char *failure, const std::function<void()> &step,
          int triesLeft = 3000)
{
    if (ready())
        return step();
    if (triesLeft == 0)
        return giveUp(failure);
    QTimer::singleShot(10, [=] { when(ready, failure, step, triesLeft - 1); });
}

MainWindow *shownWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *candidate = qobject_cast<MainWindow *>(widget); candidate && candidate->isVisible())
            return candidate;
    }
    return nullptr;
}

bool bodyIsColoured(MainWindow *window)
{
    const QTextDocument *body = window->findChild<QTextEdit *>(QStringLiteral("textEditSnippet"))->document();
    if (!body->toPlainText().contains(QLatin1String("sorted(")))
        return false;
    for (QTextBlock block = body->begin(); block.isValid(); block = block.next()) {
        if (!block.layout()->formats().isEmpty())
            return true;
    }
    return false;
}

void closeWhenShown()
{
    MainWindow *window = shownWindow();
    if (window->findChild<QComboBox *>(QStringLiteral("comboBoxLanguage"))->currentText()
        != QStringLiteral("Default"))
        return giveUp("the language list is not filled");
    // A search runs on the Find window's thread, which lists the folders;
    // the snippet it finds is then shown and coloured.
    window->openFind(QStringLiteral("sorted"));
    auto *find = window->findChild<QDialog *>(QStringLiteral("findDialog"));
    const auto status = [find] {
        return find->findChild<QLabel *>(QStringLiteral("labelStatus"))->text();
    };
    when([status] { return status() == QLatin1String("1 snippet"); },
         "the Find window found nothing", [window, find] {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(find->findChild<QLineEdit *>(QStringLiteral("lineEditFind")), &enter);
        when([window] { return bodyIsColoured(window); }, "the found snippet was not shown coloured",
             [window] {
            // Let it paint once, then close it by the title bar's route.
            QTimer::singleShot(100, window, [window] {
                if (!window->close())
                    giveUp("the window refused to close");
            });
        });
    });
}

// Default stays the first language; the search finds the other one.
bool writeLibrary()
{
    const QString library = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
        + QStringLiteral("/My Snippets");
    for (const char *category : {"/Default/Default", "/Python/Lists"}) {
        if (!QDir().mkpath(library + QLatin1String(category)))
            return false;
    }
    QFile snippet(library + QStringLiteral("/Python/Lists/order.spt"));
    return snippet.open(QIODevice::WriteOnly)
        && snippet.write("sort a list\nnames = sorted(names, key=str.lower)  # by name\n") > 0;
}

// Runs inside the QApplication constructor, before the window lists the
// library; the event loop, which a failure has to end, starts later.
void startUp()
{
    const bool written = writeLibrary();
    QTimer::singleShot(0, [written] {
        if (!written)
            return giveUp("no library in the temporary home");
        when([] { return shownWindow() != nullptr; }, "the window did not show within 30 seconds",
             closeWhenShown);
    });
}

// Before main(): the program's start-up reads the home and the settings
// before the application object exists.
struct TemporaryHome
{
    TemporaryHome();
} temporaryHome;

TemporaryHome::TemporaryHome()
{
#ifdef Q_OS_WIN
    // HOME means nothing here: the program would use the user's own Documents
    // and registry, so it runs only in a profile made for the run.
    if (qEnvironmentVariable("QUILLORY_TEST_PROFILE") != QLatin1String("isolated")) {
        std::fputs("Refusing to start the program outside a throwaway Windows profile; "
                   "run it through ctest with scripts/wine-test.sh.\n", stderr);
        std::_Exit(2);
    }
#endif
    home = new QTemporaryDir;
    if (!home->isValid())
        std::abort();
    qputenv("HOME", QFile::encodeName(home->path()));
    // The program listens there for `quillory --find`; never the user's own.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home->path()));
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                             "XDG_DOCUMENTS_DIR", "XDG_CONFIG_DIRS"})
        qunsetenv(name);
    // Set and empty: no update check, whatever feed the build was given.
    qputenv("QUILLORY_UPDATE_FEED", "");
    qAddPostRoutine(removeHome);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startUp)
