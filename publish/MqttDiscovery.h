// The discovery messages by which a home-automation system adds the sensors, their alarms and their device.
#pragma once

#include "logging/Readings.h"
#include "publish/MqttOptions.h"

#include <QByteArray>
#include <QString>

namespace publish {

// The bus a run reads, and so the device its sensors belong to: one per adapter port and host.
struct BusDevice
{
    QString host; // this computer's name
    int comPort = 0;
    bool simulated = false;
};
// "COM1", or "simulated-COM1": the device's part of its identifier and of the file of announced sensors.
QString busKey(const BusDevice &bus);

// One sensor as its entities show it.
struct SensorEntity
{
    int index = 0;
    logging::RomCode rom {};
    QString name; // of the sensors file; empty: none
};

QString discoveryTopic(const MqttSettings &settings, const logging::RomCode &rom);
QString alarmDiscoveryTopic(const MqttSettings &settings, const logging::RomCode &rom);
// A sensor that misses three readings in a row shows as unavailable: whole seconds, rounded up.
qint64 expireAfterSeconds(int32_t periodMs);
// The temperature: unavailable while the program is offline or the sensor is not answering.
QByteArray discoveryConfig(
    const MqttSettings &settings, const BusDevice &bus, const SensorEntity &sensor, int32_t periodMs);
// The alarm as a problem sensor: on in every state but "ok". It stays available while the sensor is not
// answering, since that is one of its problems.
QByteArray alarmDiscoveryConfig(
    const MqttSettings &settings, const BusDevice &bus, const SensorEntity &sensor);

} // namespace publish
