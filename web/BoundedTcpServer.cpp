// Bounds what one client can make the web server hold: connections, request size, unread answers, idle time.
#include "web/BoundedTcpServer.h"

#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace web {

void BoundedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_open >= MaxConnections) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_open;
    connect(socket, &QObject::destroyed, this, [this] { --m_open; });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // Connected before the HTTP server takes the socket, so these checks see new bytes before it parses.
    watch(socket);
    addPendingConnection(socket);
}

void BoundedTcpServer::watch(QTcpSocket *socket)
{
    auto *idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->start(IdleLimit);
    connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
    // What has come in since the last answer went out: the request being read.
    auto pendingBytes = std::make_shared<qint64>(0);
    auto pendingLines = std::make_shared<qint64>(0);
    connect(socket, &QTcpSocket::readyRead, socket, [socket, idle, pendingBytes, pendingLines] {
        idle->start(IdleLimit);
        const QByteArray fresh = socket->peek(std::min(socket->bytesAvailable(), MaxRequestBytes + 1));
        *pendingBytes += socket->bytesAvailable();
        *pendingLines += fresh.count('\n');
        if (*pendingBytes > MaxRequestBytes || *pendingLines > MaxRequestLines
            || socket->bytesToWrite() > MaxUnsentBytes)
            socket->abort();
    });
    connect(socket, &QTcpSocket::bytesWritten, socket, [idle, pendingBytes, pendingLines] {
        idle->start(IdleLimit);
        *pendingBytes = 0;
        *pendingLines = 0;
    });
}

} // namespace web
