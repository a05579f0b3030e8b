#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QLocalServer;

// `quillory --find [WORDS...]`: the words as one query; nothing without --find.
std::optional<QString> findRequestIn(const QStringList &arguments);

// Lets a later start with --find reach the Quillory already running for this
// user instead of opening a second window. Only this user can connect: the
// name lives where other users cannot reach it (per platform, below).
class FindRequests : public QObject
{
    Q_OBJECT

public:
    explicit FindRequests(QObject *parent = nullptr);

    // Hands the query to the running Quillory; true once it has taken it.
    static bool forward(const QString &query);
    // Answers later starts, unless a running Quillory already does. A name
    // left behind by one that crashed is taken over.
    bool listen();

Q_SIGNALS:
    void findRequested(const QString &query);

private:
    void answer();

    QLocalServer *m_server;
};

// This user's server name, or nothing where no private place exists.
QString findServerName();
