#include "app/startup.h"

#include "app/version.h"
#include "glass/composition.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>
#include <QWidget>

#include <cstring>

ProgramArguments readProgramArguments(int argc, char *argv[])
{
    ProgramArguments arguments;
    arguments.qtArgumentCount = argc;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--find") != 0)
            continue;
        arguments.qtArgumentCount = i;
        arguments.findQuery = PlatformStartup::commandLine(argc, argv).mid(i + 1).join(QLatin1Char(' '));
        break;
    }
    return arguments;
}

QString prepareProcess()
{
    setApplicationIdentity();
    PlatformStartup::prepareThreads();
    // Before the first QSettings, which keeps the paths it was first set up with.
    return PlatformStartup::keepSettingsFromBlocking();
}

void setApplicationIdentity()
{
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));
    QCoreApplication::setOrganizationName(QStringLiteral("Brantova"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillory"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("quillory.org"));
    // Lets Wayland match the open window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quillory.Quillory"));
}

void applyGlassFrame(QWidget *window)
{
    if (!isCompositionEnabled())
        return;
    extendFrameIntoClientArea(window, -1, -1, -1, -1);
    window->setContentsMargins(0, 0, 0, 0);
}
