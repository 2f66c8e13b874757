// The built-in read-only web server: the page, the JSON API, the chart and the metrics of the current run.
#pragma once

#include "logging/Readings.h"
#include "web/WebDocuments.h"

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QList>

namespace web {

class BoundedTcpServer;

// Lives on the window thread, non-blocking: the chart renderer's graphics items exist on that thread only,
// and every socket write is buffered by Qt, never waited for. A cycle only copies its record into the
// server; a client that is slow, idle or never reads is bounded and dropped by BoundedTcpServer.
class WebServer : public QAbstractHttpServer, public logging::ReadingsListener
{
    Q_OBJECT

public:
    explicit WebServer(QObject *parent = nullptr);

    // Listens on the address and port (0: any free one); the reason when it cannot, empty when it can.
    QString listenOn(const QHostAddress &address, quint16 port);
    quint16 port() const;

    void runStarted(const logging::RunRecord &run) override;
    void cycleEnded(const logging::CycleRecord &cycle) override;
    void runStopped() override;

    // The one line an address other than the loopback's gets, or nothing.
    static QString exposedNote(const QHostAddress &address, quint16 port);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    struct Reply
    {
        int status = 200;
        QByteArray type;
        QByteArray body;
    };
    Reply reply(const QString &path, const QUrlQuery &query);
    Reply chartPng(const QUrlQuery &query);

    BoundedTcpServer *m_tcp = nullptr;
    WebRun m_run;
    // The last PNGs rendered, by query, for the current cycle: a page polling the chart costs one render.
    QList<std::pair<QString, QByteArray>> m_pngs;
};

} // namespace web
