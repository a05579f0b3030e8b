#include "app/findrequests.h"

#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

constexpr int connectTimeoutMs = 1000;
// The running window answers from its event loop, which a long operation
// (a save question left open, a listing of a slow folder) may hold.
constexpr int answerTimeoutMs = 5000;
constexpr char accepted = 'k';

} // namespace

std::optional<QString> findRequestIn(const QStringList &arguments)
{
    if (arguments.size() < 2 || arguments.at(1) != QLatin1String("--find"))
        return std::nullopt;
    return arguments.mid(2).join(QLatin1Char(' '));
}

FindRequests::FindRequests(QObject *parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &FindRequests::answer);
}

bool FindRequests::forward(const QString &query)
{
    const QString name = findServerName();
    if (name.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(connectTimeoutMs))
        return false;
    QDataStream out(&socket);
    out << query;
    if (!socket.waitForBytesWritten(answerTimeoutMs))
        return false;
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(answerTimeoutMs))
            return false;
    }
    char reply = 0;
    return socket.getChar(&reply) && reply == accepted;
}

bool FindRequests::listen()
{
    const QString name = findServerName();
    if (name.isEmpty())
        return false;
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(connectTimeoutMs))
        return false; // another Quillory of this user answers
    // Nobody answered, so whatever holds the name is left from a crash.
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

void FindRequests::answer()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            QDataStream in(socket);
            in.startTransaction();
            QString query;
            in >> query;
            if (!in.commitTransaction())
                return; // the rest is still on its way
            socket->putChar(accepted);
            socket->flush();
            socket->disconnectFromServer();
            Q_EMIT findRequested(query);
        });
    }
}
