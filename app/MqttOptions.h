// The --mqtt options: the broker, login, TLS and topics of publishing.
#pragma once

#include "base/Result.h"
#include "publish/MqttOptions.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <utility>

class QCommandLineParser;

namespace app {

// The password's environment variable: a password never appears among the arguments.
inline constexpr char PasswordVariable[] = "KX4136_MQTT_PASSWORD";

// HOST[:PORT], with an IPv6 address in brackets; nothing when the text names no broker.
std::optional<std::pair<QString, uint16_t>> parseBrokerAddress(const QString &text);

void addMqttOptions(QCommandLineParser &parser);
// After the parser has read the arguments: nothing without --mqtt, or the one line that tells what is
// wrong.
base::Result<std::optional<publish::MqttSettings>> readMqttOptions(const QCommandLineParser &parser);

} // namespace app
