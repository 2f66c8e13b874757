// The topics and payloads the publisher sends.
#include "publish/MqttMessages.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace publish {

namespace {

constexpr int missedReadingsForExpiry = 3;

QString uniqueId(const logging::RomCode &rom)
{
    return QStringLiteral("kx4136_") + romText(rom);
}

} // namespace

QString romText(const logging::RomCode &rom)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(rom.data()), rom.size()).toHex())
        .toUpper();
}

QString statusTopic(const MqttSettings &settings)
{
    return settings.topicPrefix + QStringLiteral("/status");
}

QString temperatureTopic(const MqttSettings &settings, const logging::RomCode &rom)
{
    return settings.topicPrefix + QLatin1Char('/') + romText(rom) + QStringLiteral("/temperature");
}

QByteArray readingPayload(float celsius)
{
    return QByteArray::number(celsius, 'f', 3);
}

QString discoveryTopic(const MqttSettings &settings, const logging::RomCode &rom)
{
    return settings.discoveryPrefix + QStringLiteral("/sensor/") + uniqueId(rom) + QStringLiteral("/config");
}

qint64 expireAfterSeconds(int32_t periodMs)
{
    const qint64 expiryMs = qint64(periodMs) * missedReadingsForExpiry;
    // Rounded up so that a short period never expires before its third miss.
    return std::max<qint64>(1, (expiryMs + 999) / 1000);
}

QByteArray discoveryConfig(
    const MqttSettings &settings, int index, const logging::RomCode &rom, int32_t periodMs)
{
    const QJsonObject config {
        {QStringLiteral("name"), QStringLiteral("Sensor #%1 %2").arg(index).arg(romText(rom))},
        {QStringLiteral("unique_id"), uniqueId(rom)},
        {QStringLiteral("state_topic"), temperatureTopic(settings, rom)},
        {QStringLiteral("device_class"), QStringLiteral("temperature")},
        {QStringLiteral("unit_of_measurement"), QStringLiteral("\u00B0C")},
        {QStringLiteral("state_class"), QStringLiteral("measurement")},
        {QStringLiteral("availability_topic"), statusTopic(settings)},
        {QStringLiteral("payload_available"), QStringLiteral("online")},
        {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
        {QStringLiteral("expire_after"), expireAfterSeconds(periodMs)},
    };
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

} // namespace publish
