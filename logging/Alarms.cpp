// Alarm states: a reading past a sensor's limits (with hysteresis), or a sensor that stopped answering.
#include "logging/Alarms.h"

#include "logging/SensorsFile.h"
#include "logging/TextFormats.h"

#include <QLocale>

namespace logging {

namespace {

// The range state after a reading: an alarm is left only once the reading is back inside by the hysteresis.
AlarmState rangeAfter(AlarmState range, double celsius, const SensorLimits &limits)
{
    const bool belowLow = limits.low && celsius < *limits.low;
    const bool aboveHigh = limits.high && celsius > *limits.high;
    if (range == AlarmState::Low && limits.low && celsius < *limits.low + limits.hysteresis)
        return AlarmState::Low;
    if (range == AlarmState::High && limits.high && celsius > *limits.high - limits.hysteresis)
        return AlarmState::High;
    return belowLow ? AlarmState::Low : aboveHigh ? AlarmState::High : AlarmState::Ok;
}

std::optional<double> limitOf(AlarmState state, const SensorLimits &limits)
{
    switch (state) {
    case AlarmState::Low:
        return limits.low;
    case AlarmState::High:
        return limits.high;
    case AlarmState::Ok:
    case AlarmState::NotAnswering:
        break;
    }
    return std::nullopt;
}

QString degrees(double celsius)
{
    return QLocale().toString(celsius, 'g', 10) + QStringLiteral(" \u00B0C");
}

} // namespace

QString alarmStateWord(AlarmState state)
{
    switch (state) {
    case AlarmState::Low:
        return QStringLiteral("low");
    case AlarmState::High:
        return QStringLiteral("high");
    case AlarmState::NotAnswering:
        return QStringLiteral("not answering");
    case AlarmState::Ok:
        break;
    }
    return QStringLiteral("ok");
}

std::optional<AlarmChange> AlarmTracker::update(SensorReading &sensor, const QDateTime &when)
{
    Sensor &tracked = m_sensors[sensor.index];
    const auto state = [&tracked] {
        return tracked.missed >= MissedForNotAnswering ? AlarmState::NotAnswering : tracked.range;
    };
    const AlarmState before = state();
    const SensorLimits &limits = sensor.settings.limits;
    if (sensor.celsius) {
        tracked.missed = 0;
        tracked.range = rangeAfter(tracked.range, *sensor.celsius, limits);
    } else if (tracked.missed < MissedForNotAnswering) {
        ++tracked.missed;
    }
    sensor.alarm = state();
    if (sensor.alarm == before)
        return std::nullopt;
    AlarmChange change {sensor.index, sensor.rom, sensor.settings.name, sensor.alarm, before,
        sensor.alarm == AlarmState::NotAnswering ? std::nullopt : sensor.celsius,
        limitOf(sensor.alarm == AlarmState::Ok ? before : sensor.alarm, limits), when};
    return change;
}

QString alarmLine(const AlarmChange &change)
{
    const QString who = dateTimeText(change.when) + QLatin1Char(' ')
        + sensorDisplayName(change.name, change.rom) + QStringLiteral(": ");
    const QString reading
        = change.celsius ? readingText(*change.celsius) + QStringLiteral(" \u00B0C") : QString();
    const QString limit = change.limit ? degrees(*change.limit) : QString();
    switch (change.state) {
    case AlarmState::Low:
        return who + QStringLiteral("low alarm, %1 is below the low limit %2.").arg(reading, limit);
    case AlarmState::High:
        return who + QStringLiteral("high alarm, %1 is above the high limit %2.").arg(reading, limit);
    case AlarmState::NotAnswering:
        return who
            + QStringLiteral("not answering, no reading for %1 cycles in a row.")
                  .arg(AlarmTracker::MissedForNotAnswering);
    case AlarmState::Ok:
        break;
    }
    if (change.previous == AlarmState::NotAnswering)
        return who + QStringLiteral("answering again, %1.").arg(reading);
    if (!change.limit)
        return who + QStringLiteral("alarm over, %1; the limit was taken away.").arg(reading);
    return who
        + QStringLiteral("alarm over, %1 is back inside the %2 limit %3.")
              .arg(reading, alarmStateWord(change.previous), limit);
}

} // namespace logging
