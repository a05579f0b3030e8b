#include "app/startup.h"

#include "app/version.h"
#include "glass/composition.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>
#include <QWidget>

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
