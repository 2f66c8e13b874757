// The web server's listening socket: a bound on connections, on each request's size and header lines, on
// what a client leaves unread, and on idle time.
#pragma once

#include <QTcpServer>
#include <chrono>

namespace web {

class BoundedTcpServer : public QTcpServer
{
    Q_OBJECT

public:
    static constexpr int MaxConnections = 32;
    // Only GET and HEAD are served, so a request is its header: a browser's is well under this.
    static constexpr qint64 MaxRequestBytes = 16 * 1024;
    static constexpr int MaxRequestLines = 64;
    // Answers a client has not taken; past this it is a client that does not read, and is dropped.
    static constexpr qint64 MaxUnsentBytes = 8 * 1024 * 1024;
    static constexpr std::chrono::seconds IdleLimit {20};

    using QTcpServer::QTcpServer;
    int openConnections() const { return m_open; }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void watch(class QTcpSocket *socket);

    int m_open = 0;
};

} // namespace web
