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
#include <fcntl.h>
#include <unistd.h>
#endif

int main(int argc, char *argv[])
{
    // Asked before Qt opens descriptors of its own: a closed standard input's
    // number would be taken by one of them, and an add would read from that.
#ifdef Q_OS_WIN
    const bool inputOpen = _get_osfhandle(_fileno(stdin)) != -1;
#else
    const bool inputOpen = ::fcntl(STDIN_FILENO, F_GETFD) != -1;
#endif
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
    if (inputOpen)
        in.open(fileno(stdin), QIODevice::ReadOnly);
    out.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(fileno(stderr), QIODevice::WriteOnly | QIODevice::Unbuffered);
    return CliCommands::run(QCoreApplication::arguments(), in, out, err);
}
