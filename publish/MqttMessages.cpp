// The topics and payloads the publisher sends.
#include "publish/MqttMessages.h"

#include "logging/SensorsFile.h"

namespace publish {

namespace {

QString sensorTopic(const MqttSettings &settings, const logging::RomCode &rom, const QString &leaf)
{
    return settings.topicPrefix + QLatin1Char('/') + logging::romKey(rom) + QLatin1Char('/') + leaf;
}

} // namespace

QString statusTopic(const MqttSettings &settings)
{
    return settings.topicPrefix + QStringLiteral("/status");
}

QString temperatureTopic(const MqttSettings &settings, const logging::RomCode &rom)
{
    return sensorTopic(settings, rom, QStringLiteral("temperature"));
}

QString alarmTopic(const MqttSettings &settings, const logging::RomCode &rom)
{
    return sensorTopic(settings, rom, QStringLiteral("alarm"));
}

QString availabilityTopic(const MqttSettings &settings, const logging::RomCode &rom)
{
    return sensorTopic(settings, rom, QStringLiteral("availability"));
}

QByteArray readingPayload(float celsius)
{
    return QByteArray::number(celsius, 'f', 3);
}

} // namespace publish
