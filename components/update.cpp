#include "components/update.h"

Update *Update::getUpdater()
{
    static Update updater;
    return &updater;
}

void Update::autoCheck() {}
void Update::manualCheck() {}
