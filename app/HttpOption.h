// --http [ADDR:]PORT: where the built-in web page is served.
#pragma once

#include "base/Result.h"

#include <QCommandLineOption>
#include <QHostAddress>
#include <memory>

namespace web {
class WebServer;
}

namespace app {

struct HttpEndpoint
{
    QHostAddress address {QHostAddress::LocalHost};
    quint16 port = 0;
};

QCommandLineOption httpOption();
// "8080", "127.0.0.1:8080", "[::1]:8080"; anything else fails.
base::Result<HttpEndpoint> parseHttpEndpoint(const QString &text);
// The web server listening on the endpoint, or why it cannot listen.
base::Result<std::unique_ptr<web::WebServer>> startWebServer(const HttpEndpoint &endpoint);

} // namespace app
