#include "cli/clicommands.h"
#include "cli/console.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Asked before Qt opens descriptors of its own: a closed standard input's
    // number would be taken by one of them, and an add would read from that.
    const bool inputOpen = isStandardInputOpen();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillory-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));

    prepareConsole();
    QFile in;
    QFile out;
    QFile err;
    if (inputOpen)
        in.open(fileno(stdin), QIODevice::ReadOnly);
    out.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(fileno(stderr), QIODevice::WriteOnly | QIODevice::Unbuffered);
    return CliCommands::run(QCoreApplication::arguments(), in, out, err);
}
