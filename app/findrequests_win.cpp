#include "app/findrequests.h"

#include <QDir>

#include <windows.h>

QString findServerName()
{
    // Pipe names are shared by the whole machine: the user and the session
    // in the name keep each desktop to its own Quillory, and the pipe's
    // access list keeps other users out.
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return QStringLiteral("org.quillory.Quillory.find.%1.%2")
        .arg(qEnvironmentVariable("USERNAME"))
        .arg(session);
}

QString findLockPath()
{
    // The user's own temporary folder, beside nothing another user reaches.
    return QDir::tempPath() + QLatin1Char('/') + findServerName() + QStringLiteral(".lock");
}
