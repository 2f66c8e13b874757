// --http [ADDR:]PORT: where the built-in web page is served.
#pragma once

#include <QCommandLineOption>
#include <QHostAddress>
#include <memory>
#include <optional>

namespace web {
class WebServer;
}

struct HttpEndpoint
{
    QHostAddress address {QHostAddress::LocalHost};
    quint16 port = 0;
};

QCommandLineOption httpOption();
// "8080", "127.0.0.1:8080", "[::1]:8080"; nothing, with the reason in `error`, for anything else.
std::optional<HttpEndpoint> parseHttpEndpoint(const QString &text, QString &error);
// The web server listening on the endpoint, or nothing with the reason in `error`; `note` gets the line
// to print when the page is reachable from the network.
std::unique_ptr<web::WebServer> startWebServer(const HttpEndpoint &endpoint, QString &error, QString &note);
