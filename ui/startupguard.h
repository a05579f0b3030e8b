#pragma once

#include <QString>

// What the window makes sure of before it first saves or reads its
// settings. One implementation per platform, picked by CMake.
namespace StartupGuard {

// A save over the per-process file-size limit must fail with "File too
// large" and keep the typed text, not end the window.
void ignoreFileSizeSignal();

// Opening a FIFO in the settings file's place, or taking a lock where a
// folder or FIFO stands, waits for ever. When anything but a regular file or
// nothing stands there, the settings are neither read nor written for the
// rest of the process; the answer then says why, naming the file, and is
// empty otherwise.
QString keepSettingsFromBlocking();

} // namespace StartupGuard
