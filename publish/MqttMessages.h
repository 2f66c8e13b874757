// The topics and payloads the publisher sends.
#pragma once

#include "logging/Readings.h"
#include "publish/MqttOptions.h"

#include <QByteArray>
#include <QString>

namespace publish {

// The ROM code as 16 upper-case hex digits, family code first.
QString romText(const logging::RomCode &rom);

QString statusTopic(const MqttSettings &settings);
QString temperatureTopic(const MqttSettings &settings, const logging::RomCode &rom);
// Three decimals and a dot, whatever the user's language.
QByteArray readingPayload(float celsius);

QString discoveryTopic(const MqttSettings &settings, const logging::RomCode &rom);
// A sensor that misses three readings in a row shows as unavailable: whole seconds, rounded up.
qint64 expireAfterSeconds(int32_t periodMs);
QByteArray discoveryConfig(
    const MqttSettings &settings, int index, const logging::RomCode &rom, int32_t periodMs);

} // namespace publish
