#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

// Lets a later start with --find reach the Quillory already running for this
// user instead of opening a second window. Only this user can connect: the
// name lives where other users cannot reach it (per platform, below). What
// a connection may cost is bounded (see the limits in findrequests.cpp), so
// that no client, however it behaves, can wear the listener down.
class FindRequests : public QObject
{
    Q_OBJECT

public:
    explicit FindRequests(QObject *parent = nullptr);
    ~FindRequests() override;

    // Hands the query to the running Quillory; true once it has taken it.
    static bool forward(const QString &query);
    // Answers later starts, unless a running Quillory already does. A name
    // left behind by one that crashed is taken over. Once listening, it
    // listens again whenever the server stops on its own.
    bool listen();

Q_SIGNALS:
    void findRequested(const QString &query);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Outcome { Listening, AnotherAnswers, Failed };
    Outcome tryListen();
    void answer();
    void listenAgainIfClosed();

    QLocalServer *m_server;
    QList<QLocalSocket *> m_openConnections; // oldest first
    bool m_wantsToListen = false;
};

// This user's server name, or nothing where no private place exists.
QString findServerName();
// The lock that two starts take around taking over the name, or nothing.
QString findLockPath();
