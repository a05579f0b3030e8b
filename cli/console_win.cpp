#include "cli/console.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>

void prepareConsole()
{
    // Text mode would add carriage returns.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

bool isStandardInputOpen()
{
    return _get_osfhandle(_fileno(stdin)) != -1;
}
