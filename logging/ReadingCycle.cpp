// The reading cycle: every sensor read (in turn, or after one conversion of all), the log's data line,
// then the listeners told.
#include "logging/RunControl.h"

#include "bus/modKX4136.h"
#include "logging/TextFormats.h"
#include "wait/modMsgWait.h"

#include <algorithm>
#include <cmath>

namespace logging {

namespace {

// To a hundredth of a second, without the zeros after it.
QString seconds(int32_t ms)
{
    return QString::number(std::round(ms / 10.0) / 100.0);
}

QString longCycleLine(int32_t tookMs, int32_t intervalMs, bool suggestConvertAll)
{
    QString line = QStringLiteral("A reading cycle took %1 s, longer than the %2 s interval: readings come "
                                  "every %1 s.")
                       .arg(seconds(tookMs), seconds(intervalMs));
    if (suggestConvertAll)
        line += QStringLiteral(" Converting all sensors at once (--convert-all) would read them all in "
                               "about one conversion time.");
    return line;
}

} // namespace

void RunControl::cycleSteps()
{
    const int32_t began = modMsgWait::GetTickCount();
    m_heldWorkMs = 0;
    CycleRecord cycle;
    if (!(m_settings.convertAll ? convertAllSteps(cycle) : perSensorSteps(cycle)))
        return;
    cycle.durationMs = msSince(began) - m_heldWorkMs;
    noteCycleTime(cycle.durationMs);
    cycle.periodMs = m_periodMs;
    cycle.when = m_clock();
    noteAlarms(cycle);
    // Shown first, so that a slow disk never delays the window.
    for (ReadingsListener *listener : QList(m_listeners))
        listener->cycleEnded(cycle);
    // The data line takes the time anew, a moment after the one the cycle shows.
    const QDateTime when = m_clock();
    if (m_settings.log) {
        QList<Reading> readings;
        for (const SensorReading &sensor : std::as_const(cycle.sensors))
            readings << sensor.celsius;
        m_log.AppendLogLine(m_settings.logPath, logDataLine(when, readings));
    }
}

bool RunControl::beginBusWork()
{
    m_view.setLampColour(LampRed);
    modMsgWait::processPendingEvents();
    // No transaction runs here, so what came in just now must not wait for the bus work that follows.
    if (runHeld()) {
        if (m_ended)
            return false;
        m_view.setLampColour(LampRed);
    }
    return true;
}

bool RunControl::perSensorSteps(CycleRecord &cycle)
{
    const int last = modKX4136::LastSensor;
    for (int i = 0; i <= last; ++i) {
        if (!beginBusWork())
            return false;
        SensorReading sensor {i, romCode(i), std::nullopt, sensorSettings(romCode(i)), AlarmState::Ok};
        if (modKX4136::ReadTemperature(static_cast<int16_t>(i)))
            sensor.celsius = modKX4136::GetTemperature();
        cycle.sensors.append(sensor);
        m_view.setLampColour(LampGreen);
        // Between two sensors the bus is free: what the user asked for meanwhile runs now.
        runHeld();
        if (m_ended)
            return false;
    }
    return true;
}

bool RunControl::convertAllSteps(CycleRecord &cycle)
{
    if (!beginBusWork())
        return false;
    // A cut wait leaves every scratchpad with an older reading: none may pass as this cycle's.
    const bool converted = modKX4136::ConvertAll(m_busPowered, modKX4136::ConvertAllWaitMs(m_discovery));
    for (int i = 0; i <= modKX4136::LastSensor; ++i) {
        SensorReading sensor {i, romCode(i), std::nullopt, sensorSettings(romCode(i)), AlarmState::Ok};
        if (converted && modKX4136::ReadConverted(static_cast<int16_t>(i)))
            sensor.celsius = modKX4136::GetTemperature();
        cycle.sensors.append(sensor);
    }
    m_view.setLampColour(LampGreen);
    runHeld();
    return !m_ended;
}

void RunControl::readPowerSupply(modKX4136::LineList &devices)
{
    m_busPowered = modKX4136::AnyBusPowered();
    if (!m_busPowered)
        return;
    if (const int16_t count = modKX4136::CountBusPowered(); count > 0)
        devices.addItem(QStringLiteral("%1 of %2 sensor(s) powered from the bus: every conversion waits its "
                                       "full time.")
                            .arg(count)
                            .arg(modKX4136::LastSensor + 1));
}

int32_t RunControl::msSince(int32_t tick)
{
    return static_cast<int32_t>(
        static_cast<uint32_t>(modMsgWait::GetTickCount()) - static_cast<uint32_t>(tick));
}

void RunControl::noteCycleTime(int32_t tookMs)
{
    if (m_state != State::Running || tookMs <= m_settings.intervalMs)
        return;
    m_periodMs = std::max(m_periodMs, tookMs);
    if (std::exchange(m_toldLongCycle, true))
        return;
    m_view.appendDeviceLine(
        longCycleLine(tookMs, m_settings.intervalMs, !m_settings.convertAll && modKX4136::LastSensor > 0));
}

} // namespace logging
