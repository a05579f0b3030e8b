#include "cli/console.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

void prepareConsole()
{
    // Over a file-size limit, a write should fail and the add be undone,
    // not the process end with its new snippet half written.
    std::signal(SIGXFSZ, SIG_IGN);
}

bool isStandardInputOpen()
{
    return ::fcntl(STDIN_FILENO, F_GETFD) != -1;
}
