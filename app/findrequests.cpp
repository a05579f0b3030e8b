#include "app/findrequests.h"

#include <QChildEvent>
#include <QDataStream>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>

namespace {

constexpr int connectTimeoutMs = 1000;
// The running window answers from its event loop, which a long operation
// (a save question left open, a listing of a slow folder) may hold.
constexpr int answerTimeoutMs = 5000;
constexpr char accepted = 'k';

// A request is a few words and a start sends it at once: a connection that
// is slower or larger than this is dropped, and so is the oldest beyond
// this many at a time.
constexpr int requestTimeoutMs = 3000;
constexpr qint64 maxRequestBytes = 8 * 1024;
constexpr int maxOpenConnections = 8;
// While the name cannot be taken again (no file descriptor left, say).
constexpr int listenRetryMs = 1000;

QByteArray encoded(const QString &query)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << query;
    return bytes;
}

// A request is one QDataStream string: its byte count comes first.
bool announcedTooLong(QLocalSocket *socket)
{
    QDataStream length(socket->peek(sizeof(quint32)));
    quint32 bytes = 0;
    length >> bytes;
    return length.status() == QDataStream::Ok && bytes != 0xffffffff
        && bytes > maxRequestBytes - sizeof(quint32);
}

} // namespace

FindRequests::FindRequests(QObject *parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // QLocalServer stops listening on its own when accept() fails (for
    // one, with no file descriptor left) and says so only by dropping the
    // notifier it watches the name with.
    m_server->installEventFilter(this);
    connect(m_server, &QLocalServer::newConnection, this, &FindRequests::answer);
}

FindRequests::~FindRequests()
{
    m_wantsToListen = false;
    m_server->removeEventFilter(this);
}

bool FindRequests::forward(const QString &query)
{
    const QString name = findServerName();
    const QByteArray request = encoded(query);
    if (name.isEmpty() || request.size() > maxRequestBytes)
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(connectTimeoutMs))
        return false;
    socket.write(request);
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
    const Outcome outcome = tryListen();
    m_wantsToListen = outcome == Outcome::Listening;
    return m_wantsToListen;
}

FindRequests::Outcome FindRequests::tryListen()
{
    const QString name = findServerName();
    const QString lockPath = findLockPath();
    if (name.isEmpty() || lockPath.isEmpty())
        return Outcome::Failed;
    // QLockFile reads what stands in its place, and a pipe there would
    // hold the window for ever.
    const QFileInfo standing(lockPath);
    if (standing.isSymLink() || (standing.exists() && !standing.isFile()))
        return Outcome::Failed;
    // Two starts in the probe's window would each find no answer and each
    // remove the other's fresh name.
    QLockFile lock(lockPath);
    if (!lock.tryLock(2 * connectTimeoutMs))
        return Outcome::Failed;
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(connectTimeoutMs))
        return Outcome::AnotherAnswers;
    // Nobody answered, so whatever holds the name is left from a crash.
    QLocalServer::removeServer(name);
    return m_server->listen(name) ? Outcome::Listening : Outcome::Failed;
}

bool FindRequests::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_server && event->type() == QEvent::ChildRemoved && m_wantsToListen)
        QTimer::singleShot(0, this, &FindRequests::listenAgainIfClosed);
    return QObject::eventFilter(watched, event);
}

void FindRequests::listenAgainIfClosed()
{
    if (!m_wantsToListen || m_server->isListening())
        return;
    // Another Quillory may have taken the name meanwhile; otherwise try
    // again, once descriptors may have been freed.
    const Outcome outcome = tryListen();
    if (outcome == Outcome::AnotherAnswers)
        m_wantsToListen = false;
    else if (outcome == Outcome::Failed)
        QTimer::singleShot(listenRetryMs, this, &FindRequests::listenAgainIfClosed);
}

void FindRequests::answer()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        // The oldest goes: a start sends its request at once, so a new
        // connection always gets its turn, and a crowd only wears out itself.
        if (m_openConnections.size() >= maxOpenConnections) {
            QLocalSocket *oldest = m_openConnections.takeFirst();
            oldest->abort();
            oldest->deleteLater();
        }
        m_openConnections.append(socket);
        connect(socket, &QObject::destroyed, this,
                [this, socket] { m_openConnections.removeOne(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // The socket stops reading once this much is buffered.
        socket->setReadBufferSize(maxRequestBytes);
        QTimer::singleShot(requestTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (announcedTooLong(socket)) {
                socket->abort();
                socket->deleteLater();
                return;
            }
            QDataStream in(socket);
            in.startTransaction();
            QString query;
            in >> query;
            if (!in.commitTransaction()) {
                if (socket->bytesAvailable() >= maxRequestBytes) {
                    socket->abort();
                    socket->deleteLater();
                }
                return; // the rest is still on its way
            }
            socket->putChar(accepted);
            socket->flush();
            socket->disconnectFromServer();
            Q_EMIT findRequested(query);
        });
    }
}
