#include "app/version.h"
#include "cli/clicommands.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif
#ifdef Q_OS_UNIX
#include <csignal>
#endif

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillory-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));

#ifdef Q_OS_UNIX
    // Over a file-size limit, a write should fail and the add be undone,
    // not the process end with its new snippet half written.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
#ifdef Q_OS_WIN
    // Snippets are passed on byte for byte; text mode would add carriage returns.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    QFile in;
    QFile out;
    QFile err;
    in.open(fileno(stdin), QIODevice::ReadOnly);
    out.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(fileno(stderr), QIODevice::WriteOnly | QIODevice::Unbuffered);
    return CliCommands::run(QCoreApplication::arguments(), in, out, err);
}
