// Linked with the program's own main(): starts the real program in a
// temporary home, waits until its window is up, closes it the way the user
// does and lets main() run its teardown. The test passes when main() returns
// 0, and, in a sanitizer build, when nothing was reported on the way.

#include "ui/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

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

void closeWhenShown(int triesLeft)
{
    MainWindow *window = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *candidate = qobject_cast<MainWindow *>(widget); candidate && candidate->isVisible())
            window = candidate;
    }
    if (!window) {
        if (triesLeft == 0)
            return giveUp("the window did not show within 30 seconds");
        QTimer::singleShot(10, [triesLeft] { closeWhenShown(triesLeft - 1); });
        return;
    }
    const QString category = QDir::homePath() + QStringLiteral("/Documents/My Snippets/Default/Default");
    if (!QFileInfo(category).isDir())
        return giveUp("the window came up without listing the library");
    if (window->findChild<QComboBox *>(QStringLiteral("comboBoxLanguage"))->currentText()
        != QStringLiteral("Default"))
        return giveUp("the language list is not filled");
    // Let it paint once, then close it by the title bar's route.
    QTimer::singleShot(100, window, [window] {
        if (!window->close())
            giveUp("the window refused to close");
    });
}

// Runs inside the QApplication constructor, before main() goes on: the home
// must be in place before anything reads the settings.
void startUp()
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
    QTimer::singleShot(0, [] { closeWhenShown(3000); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startUp)
