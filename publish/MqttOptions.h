// The broker, login, TLS and topics of publishing, as the command line gives them.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

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

// Overwrites a password where it lies, so that no copy sharing it keeps it either; text in read-only
// memory (a literal) is left.
void wipe(QString &text);
void wipe(QByteArray &bytes);

} // namespace publish
