#pragma once

// Sets up the process's standard streams for the terminal tool: snippets pass
// through byte for byte, and a write over the file-size limit fails instead of
// ending the process.
void prepareConsole();

// Whether the process was given a standard input at all.
bool isStandardInputOpen();
