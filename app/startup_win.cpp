#include "app/startup.h"

#include <QByteArray>

#include <windows.h>
#include <shellapi.h>

namespace PlatformStartup {

QStringList commandLine(int argc, char *argv[])
{
    // argv is in the ANSI code page, which cannot hold every word the user
    // can type; the wide command line can.
    QStringList arguments;
    int count = 0;
    if (wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            arguments << QString::fromWCharArray(wide[i]);
        LocalFree(wide);
    }
    if (arguments.size() == argc)
        return arguments;
    arguments.clear();
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void prepareThreads()
{
    // A thread that has run a regular expression owns a thread_local PCRE2
    // JIT stack. At thread exit the MinGW runtime frees the emulated TLS
    // before libstdc++ destroys that stack; the destructor then works on
    // freed memory and can leave the TLS lock held, so that exit() waits
    // for ever. Any worker may match a regular expression (Qt's own pool
    // threads included), so the JIT is off for the whole process; the
    // program's expressions are small, and interpreted they cost nothing
    // that shows. Qt reads this once, at the first match.
    qputenv("QT_ENABLE_REGEXP_JIT", "0");
}

// Windows keeps the settings in the registry, where nothing can block their
// reading or writing.
QString keepSettingsFromBlocking()
{
    return QString();
}

} // namespace PlatformStartup
