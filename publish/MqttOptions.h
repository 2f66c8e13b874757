// The broker, login, TLS and topics of publishing, as the command line gives them.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

class QCommandLineParser;

namespace publish {

struct MqttSettings
{
    QString host;
    uint16_t port = 1883;
    QString topicPrefix = QStringLiteral("kx4136");
    QString discoveryPrefix = QStringLiteral("homeassistant");
    QString user; // empty: no login
    std::optional<QString> password;
    QString caFile; // empty: no TLS
    int qos = 1;
    // --mqtt-remove-missing: the discovery messages of sensors an earlier run announced and this START did
    // not find are removed, not only marked unavailable.
    bool removeMissing = false;
    // Where the sensors announced to this broker are remembered; empty: nowhere.
    QString stateFolder;
    // Set by the program: the run reads the simulated bus, a device of its own in discovery.
    bool simulatedBus = false;
};

// The password's environment variable: a password never appears among the arguments.
inline constexpr char PasswordVariable[] = "KX4136_MQTT_PASSWORD";

// HOST[:PORT], with an IPv6 address in brackets; nothing when the text names no broker.
std::optional<std::pair<QString, uint16_t>> parseBrokerAddress(const QString &text);

// The message for a FIFO, a device or a folder named where a file is read or written, which could hang
// the program for ever; nothing for a regular file or none at all.
QString specialFileError(const QString &option, const QString &path);

// Overwrites a password where it lies, so that no copy sharing it keeps it either; text in read-only
// memory (a literal) is left.
void wipe(QString &text);
void wipe(QByteArray &bytes);

void addMqttOptions(QCommandLineParser &parser);
// After the parser has read the arguments: nothing without --mqtt, or when `error` is set to the one
// line that tells what is wrong.
std::optional<MqttSettings> readMqttOptions(const QCommandLineParser &parser, QString &error);

} // namespace publish
