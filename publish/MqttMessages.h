// The topics and payloads the publisher sends.
#pragma once

#include "logging/Readings.h"
#include "publish/MqttOptions.h"

#include <QByteArray>
#include <QString>

namespace publish {

QString statusTopic(const MqttSettings &settings);
QString temperatureTopic(const MqttSettings &settings, const logging::RomCode &rom);
// Retained: the sensor's alarm state, in the words of logging::alarmStateWord.
QString alarmTopic(const MqttSettings &settings, const logging::RomCode &rom);
// Retained: "online", or "offline" while the sensor is not answering or was not found at START.
QString availabilityTopic(const MqttSettings &settings, const logging::RomCode &rom);
// Three decimals and a dot, whatever the user's language.
QByteArray readingPayload(float celsius);

} // namespace publish
