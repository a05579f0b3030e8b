#include "app/findrequests.h"
#include "app/startup.h"
#include "components/exceptionhandler.h"
#include "components/update.h"
#include "library/librarypaths.h"
#include "ui/formlook.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QFile>

int main(int argc, char *argv[])
{
#ifdef Q_OS_UNIX
    // Without HOME, Qt takes "/" for the home folder, and the settings would
    // go to "/.config"; the library code already asks the user database.
    if (qEnvironmentVariableIsEmpty("HOME"))
        qputenv("HOME", QFile::encodeName(LibraryPaths::homePath()));
#endif
    // Qt reads the options it knows from all it is given, and ends the
    // process on one it cannot use: it gets nothing of a search.
    const ProgramArguments arguments = readProgramArguments(argc, argv);
    const std::optional<QString> findQuery = arguments.findQuery;
    int qtArgumentCount = arguments.qtArgumentCount;
    const QString startupNotice = prepareProcess();
    FormLook::prepareDesktopScheme();
    QApplication application(qtArgumentCount, argv);
    FormLook::followDesktopScheme();

    if (findQuery && FindRequests::forward(*findQuery))
        return 0;

    Brantova::ExceptionHandler crashHandler;
    crashHandler.initExceptionHandler();

    Update::getUpdater()->autoCheck();

    // Constructed on the stack: closing only hides it, and it is destroyed
    // after the loop has returned, while the application still exists.
    MainWindow window;
    FindRequests findRequests;
    QObject::connect(&findRequests, &FindRequests::findRequested, &window,
                     &MainWindow::findFromOutside);
    findRequests.listen();
    applyGlassFrame(&window);
    window.show();
    window.showStartupNotice(startupNotice);
    if (findQuery)
        window.openFind(*findQuery);

    return application.exec();
}
