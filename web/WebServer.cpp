// The web server: GET and HEAD only, one answer per path from the copy of the run it keeps.
#include "web/WebServer.h"

#include "chart/PngRender.h"
#include "web/BoundedTcpServer.h"

#include <QBuffer>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QUrlQuery>

namespace web {

namespace {

constexpr qsizetype CachedPngs = 4;
constexpr int MinChartSide = 100;
constexpr int MaxChartSide = 3000;
constexpr double MaxChartHours = 24.0 * 366 * 10;

QByteArray text(const QString &line)
{
    return line.toUtf8() + '\n';
}

} // namespace

WebServer::WebServer(QObject *parent)
    : QAbstractHttpServer(parent)
{ }

QString WebServer::listenOn(const QHostAddress &address, quint16 port)
{
    auto *tcp = new BoundedTcpServer(this);
    if (!tcp->listen(address, port)) {
        const QString reason = tcp->errorString();
        delete tcp;
        return QStringLiteral("Cannot serve the web page on %1 port %2: %3.")
            .arg(address.toString())
            .arg(port)
            .arg(reason);
    }
    m_tcp = tcp;
    bind(tcp);
    return {};
}

quint16 WebServer::port() const
{
    return m_tcp ? m_tcp->serverPort() : 0;
}

QString WebServer::exposedNote(const QHostAddress &address, quint16 port)
{
    if (address.isLoopback())
        return {};
    return QStringLiteral("The web page on %1 port %2 is reachable from the network, without a password.")
        .arg(address.toString())
        .arg(port);
}

void WebServer::runStarted(const logging::RunRecord &run)
{
    m_run.start(run);
    m_pngs.clear();
}

void WebServer::cycleEnded(const logging::CycleRecord &cycle)
{
    m_run.add(cycle);
    m_pngs.clear();
}

void WebServer::runStopped()
{
    if (m_run.state == RunState::Running)
        m_run.state = RunState::Stopped;
}

bool WebServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    using Method = QHttpServerRequest::Method;
    QHttpServerResponder responder = makeResponder(request, socket);
    const bool head = request.method() == Method::Head;
    if (!head && request.method() != Method::Get) {
        responder.write(text(QStringLiteral("Only GET and HEAD are served.")),
            {{"Content-Type", "text/plain; charset=utf-8"}, {"Allow", "GET, HEAD"}},
            QHttpServerResponder::StatusCode::MethodNotAllowed);
        return true;
    }
    const Reply answer = reply(request.url().path(), request.query());
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(answer.status));
    responder.writeHeader("Content-Type", answer.type);
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("Content-Length", QByteArray::number(answer.body.size()));
    responder.writeBody(head ? QByteArray() : answer.body);
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest &, QTcpSocket *)
{
    // Every request is answered by handleRequest.
}

WebServer::Reply WebServer::reply(const QString &path, const QUrlQuery &query)
{
    if (path == QLatin1String("/")) {
        QFile page(QStringLiteral(":/web/index.html"));
        page.open(QIODevice::ReadOnly);
        return {200, "text/html; charset=utf-8", page.readAll()};
    }
    if (path == QLatin1String("/api/readings"))
        return {200, "application/json", readingsJson(m_run)};
    if (path == QLatin1String("/api/run"))
        return {200, "application/json", runJson(m_run)};
    if (path == QLatin1String("/metrics"))
        return {200, "text/plain; version=0.0.4; charset=utf-8", metricsText(m_run)};
    if (path == QLatin1String("/chart.png"))
        return chartPng(query);
    return {404, "text/plain; charset=utf-8", text(QStringLiteral("Nothing here: try / or /api/readings."))};
}

WebServer::Reply WebServer::chartPng(const QUrlQuery &query)
{
    const auto bad = [](const QString &why) { return Reply {400, "text/plain; charset=utf-8", text(why)}; };
    std::optional<qint64> lastMs;
    if (query.hasQueryItem(QStringLiteral("hours"))) {
        bool ok = false;
        const double hours = query.queryItemValue(QStringLiteral("hours")).toDouble(&ok);
        if (!ok || !(hours > 0) || hours > MaxChartHours)
            return bad(QStringLiteral("hours takes a number of hours above 0, up to %1.").arg(MaxChartHours));
        lastMs = static_cast<qint64>(hours * 3600 * 1000);
    }
    QSize size(800, 400);
    if (query.hasQueryItem(QStringLiteral("size"))) {
        const QStringList parts = query.queryItemValue(QStringLiteral("size")).split(QLatin1Char('x'));
        bool wide = false;
        bool high = false;
        if (parts.size() == 2)
            size = QSize(parts[0].toInt(&wide), parts[1].toInt(&high));
        if (!wide || !high || std::min(size.width(), size.height()) < MinChartSide
            || std::max(size.width(), size.height()) > MaxChartSide)
            return bad(
                QStringLiteral("size takes WxH, each from %1 to %2.").arg(MinChartSide).arg(MaxChartSide));
    }
    const QString key = query.toString();
    for (const auto &[cachedKey, png] : std::as_const(m_pngs))
        if (cachedKey == key)
            return {200, "image/png", png};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    chart::renderChart(m_run.chart, size, lastMs).save(&buffer, "PNG");
    if (m_pngs.size() >= CachedPngs)
        m_pngs.removeFirst();
    m_pngs.append({key, png});
    return {200, "image/png", png};
}

} // namespace web
