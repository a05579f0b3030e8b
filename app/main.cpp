#include "app/startup.h"
#include "components/exceptionhandler.h"
#include "components/update.h"
#include "ui/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    setApplicationIdentity();

    Brantova::ExceptionHandler crashHandler;
    crashHandler.initExceptionHandler();

    Update::getUpdater()->autoCheck();

    // Constructed on the stack: closing only hides it, and it is destroyed
    // after the loop has returned, while the application still exists.
    MainWindow window;
    applyGlassFrame(&window);
    window.show();

    return application.exec();
}
