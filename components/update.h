#pragma once

#include <QPointer>

#include <chrono>

class QMessageBox;
class UpdateCheck;
struct UpdateOutcome;

// The update check. One object per process; the caller never owns it.
// The feed comes from the build (QUILLORY_UPDATE_FEED_URL) or, overriding it
// even when empty, from the QUILLORY_UPDATE_FEED environment variable.
class Update
{
public:
    static Update *getUpdater();

    // Returns at once. Tells the user only about a newer version; every
    // failure stays silent, since nobody asked.
    void autoCheck();
    // Always answers in a dialog, also when the check fails or no feed is set.
    void manualCheck();

    bool isAutoCheckRunning() const;
    // Tests shorten it so that a silent server does not hold them up.
    void setTimeout(std::chrono::milliseconds timeout);

private:
    Update();
    ~Update();
    Update(const Update &) = delete;
    Update &operator=(const Update &) = delete;

    void notify(const UpdateOutcome &outcome);

    std::chrono::milliseconds m_timeout;
    QPointer<UpdateCheck> m_autoCheck;
    QPointer<QMessageBox> m_notice;
    QPointer<QMessageBox> m_manualBox;
};
