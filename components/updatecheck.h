#pragma once

#include "components/updatefeed.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

// One fetch of the update feed. Reports exactly one outcome through
// finished(), always from the event loop and never from start() itself, so
// callers can connect after starting. Destroying it cancels the fetch silently.
class UpdateCheck : public QObject
{
    Q_OBJECT

public:
    UpdateCheck(const QUrl &feed, const QString &runningVersion,
                std::chrono::milliseconds timeout, QObject *parent = nullptr);
    ~UpdateCheck() override;

    void start();

Q_SIGNALS:
    void finished(const UpdateOutcome &outcome);

private:
    void get(const QUrl &url);
    void onMetaDataChanged();
    void onReadyRead();
    void onReplyFinished();
    void follow(const QUrl &target);
    void abortWith(const QString &why);
    void finish(const UpdateOutcome &outcome);

    QUrl m_feed;
    QString m_runningVersion;
    std::chrono::milliseconds m_timeout;
    QNetworkAccessManager *m_network = nullptr;
    QNetworkReply *m_reply = nullptr;
    QTimer m_deadline;
    QByteArray m_body;
    QString m_abortReason;
    int m_redirects = 0;
    bool m_started = false;
    bool m_done = false;
};
