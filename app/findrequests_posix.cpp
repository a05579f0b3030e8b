#include "app/findrequests.h"

#include <QStandardPaths>

QString findServerName()
{
    // XDG_RUNTIME_DIR, or a folder Qt makes for the user alone; Qt refuses
    // one that others may enter.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/org.quillory.Quillory.find");
}

QString findLockPath()
{
    const QString name = findServerName();
    return name.isEmpty() ? QString() : name + QStringLiteral(".lock");
}
