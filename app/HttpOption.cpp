// Reads --http [ADDR:]PORT; the address defaults to the loopback, so the page is private unless asked.
#include "app/HttpOption.h"

#include "web/WebServer.h"

namespace app {

QCommandLineOption httpOption()
{
    return QCommandLineOption(QStringLiteral("http"),
        QStringLiteral("Serve a read-only web page, JSON API and metrics on PORT (window and console); "
                       "ADDR defaults to 127.0.0.1, any other address is reachable from the network "
                       "without a password."),
        QStringLiteral("[ADDR:]PORT"));
}

base::Result<HttpEndpoint> parseHttpEndpoint(const QString &text)
{
    HttpEndpoint endpoint;
    QString port = text;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        QString address = text.left(colon);
        if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
            address = address.mid(1, address.size() - 2);
        // Only an address: a host name could stand for several, or change under the running server.
        if (!endpoint.address.setAddress(address))
            return base::Failure {
                QStringLiteral("--http takes an IP address before the port, not '%1'.").arg(address)};
        port = text.mid(colon + 1);
    }
    bool ok = false;
    const uint number = port.toUInt(&ok);
    if (!ok || number < 1 || number > 65535 || port.startsWith(QLatin1Char('+')))
        return base::Failure {QStringLiteral("--http takes a port from 1 to 65535, not '%1'.").arg(port)};
    endpoint.port = static_cast<quint16>(number);
    return endpoint;
}

base::Result<std::unique_ptr<web::WebServer>> startWebServer(const HttpEndpoint &endpoint)
{
    auto server = std::make_unique<web::WebServer>();
    if (QString error = server->listenOn(endpoint.address, endpoint.port); !error.isEmpty())
        return base::Failure {error};
    return server;
}

} // namespace app
