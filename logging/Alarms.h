// Alarm states: a reading past a sensor's limits (with hysteresis), or a sensor that stopped answering.
#pragma once

#include "logging/Readings.h"

#include <QString>
#include <map>

namespace logging {

// "ok", "low", "high", "not answering": the words of the MQTT payload, the command's KX4136_STATE and the
// API.
QString alarmStateWord(AlarmState state);

// Per sensor index, the range state and the count of "?" in a row, across the cycles of one run.
class AlarmTracker
{
public:
    // "?" this many cycles in a row: not answering.
    static constexpr int MissedForNotAnswering = 3;

    void reset() { m_sensors.clear(); }
    // Takes one sensor's reading of a cycle (its settings and limits in it), sets its `alarm`, and returns
    // the change when the state changed.
    std::optional<AlarmChange> update(SensorReading &sensor, const QDateTime &when);

private:
    struct Sensor
    {
        AlarmState range = AlarmState::Ok;
        int missed = 0;
    };
    std::map<int, Sensor> m_sensors;
};

// The line lstDevices and the console show for a change, with its time, name or ROM code, reading and limit.
QString alarmLine(const AlarmChange &change);

} // namespace logging
