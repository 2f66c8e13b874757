// The discovery messages by which a home-automation system adds the sensors, their alarms and their device.
#include "publish/MqttDiscovery.h"

#include "logging/SensorsFile.h"
#include "publish/MqttMessages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace publish {

namespace {

constexpr int missedReadingsForExpiry = 3;
// Three decimals go out; the sensors are accurate to about half a degree.
constexpr int displayDecimals = 1;
const QString Program = QStringLiteral("kx4136-logger");

// Never changes with a name: the home-automation system keeps its entity by it.
QString uniqueId(const logging::RomCode &rom)
{
    return QStringLiteral("kx4136_") + logging::romKey(rom);
}

QString entityName(const SensorEntity &sensor)
{
    return !sensor.name.isEmpty()
        ? sensor.name
        : QStringLiteral("Sensor #%1 %2").arg(sensor.index).arg(logging::romKey(sensor.rom));
}

// The device block, the origin and the availability payloads, which every entity carries.
QJsonObject common(const BusDevice &bus)
{
    const QJsonObject device {
        {QStringLiteral("identifiers"),
            QJsonArray {QStringLiteral("kx4136_%1_%2").arg(bus.host, busKey(bus))}},
        {QStringLiteral("name"),
            QStringLiteral("%1 COM%2%3")
                .arg(bus.host)
                .arg(bus.comPort)
                .arg(bus.simulated ? " (simulated)" : "")},
        {QStringLiteral("manufacturer"), Program},
        {QStringLiteral("model"),
            bus.simulated ? QStringLiteral("simulated 1-Wire bus") : QStringLiteral("KA7700 1-Wire adapter")},
        {QStringLiteral("sw_version"), QStringLiteral(KX_VERSION)},
    };
    return {
        {QStringLiteral("device"), device},
        {QStringLiteral("origin"),
            QJsonObject {{QStringLiteral("name"), Program},
                {QStringLiteral("sw_version"), QStringLiteral(KX_VERSION)}}},
        {QStringLiteral("payload_available"), QStringLiteral("online")},
        {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
    };
}

QString configTopic(const MqttSettings &settings, const QString &component, const QString &objectId)
{
    return settings.discoveryPrefix + QLatin1Char('/') + component + QLatin1Char('/') + objectId
        + QStringLiteral("/config");
}

} // namespace

QString busKey(const BusDevice &bus)
{
    return QStringLiteral("%1COM%2").arg(bus.simulated ? "simulated-" : "").arg(bus.comPort);
}

QString discoveryTopic(const MqttSettings &settings, const logging::RomCode &rom)
{
    return configTopic(settings, QStringLiteral("sensor"), uniqueId(rom));
}

QString alarmDiscoveryTopic(const MqttSettings &settings, const logging::RomCode &rom)
{
    return configTopic(settings, QStringLiteral("binary_sensor"), uniqueId(rom) + QStringLiteral("_alarm"));
}

qint64 expireAfterSeconds(int32_t periodMs)
{
    const qint64 expiryMs = static_cast<qint64>(periodMs) * missedReadingsForExpiry;
    // Rounded up so that a short period never expires before its third miss.
    return std::max<qint64>(1, (expiryMs + 999) / 1000);
}

QByteArray discoveryConfig(
    const MqttSettings &settings, const BusDevice &bus, const SensorEntity &sensor, int32_t periodMs)
{
    QJsonObject config = common(bus);
    config.insert(QStringLiteral("name"), entityName(sensor));
    config.insert(QStringLiteral("unique_id"), uniqueId(sensor.rom));
    config.insert(QStringLiteral("state_topic"), temperatureTopic(settings, sensor.rom));
    config.insert(QStringLiteral("device_class"), QStringLiteral("temperature"));
    config.insert(QStringLiteral("unit_of_measurement"), QStringLiteral("\u00B0C"));
    config.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
    config.insert(QStringLiteral("suggested_display_precision"), displayDecimals);
    config.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
    config.insert(QStringLiteral("availability"),
        QJsonArray {QJsonObject {{QStringLiteral("topic"), statusTopic(settings)}},
            QJsonObject {{QStringLiteral("topic"), availabilityTopic(settings, sensor.rom)}}});
    config.insert(QStringLiteral("expire_after"), expireAfterSeconds(periodMs));
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

QByteArray alarmDiscoveryConfig(
    const MqttSettings &settings, const BusDevice &bus, const SensorEntity &sensor)
{
    QJsonObject config = common(bus);
    config.insert(QStringLiteral("name"), entityName(sensor) + QStringLiteral(" alarm"));
    config.insert(QStringLiteral("unique_id"), uniqueId(sensor.rom) + QStringLiteral("_alarm"));
    config.insert(QStringLiteral("state_topic"), alarmTopic(settings, sensor.rom));
    config.insert(QStringLiteral("device_class"), QStringLiteral("problem"));
    // "low", "high" and "not answering" are all a problem.
    config.insert(QStringLiteral("value_template"), QStringLiteral("{{ 'OFF' if value == 'ok' else 'ON' }}"));
    config.insert(QStringLiteral("availability_topic"), statusTopic(settings));
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

} // namespace publish
