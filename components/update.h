#pragma once

// The update check. One object per process; the caller never owns it.
class Update
{
public:
    static Update *getUpdater();

    void autoCheck();
    void manualCheck();
};
