#include "ui/startupguard.h"

// Windows has no file-size signal, and keeps the settings in the registry,
// where nothing can block their reading or writing.
namespace StartupGuard {

void ignoreFileSizeSignal()
{
}

QString keepSettingsFromBlocking()
{
    return QString();
}

} // namespace StartupGuard
