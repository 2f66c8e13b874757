// The reading cycle: every sensor read in turn, then the log's data line, then the listeners told.
#include "logging/RunControl.h"

#include "bus/modKX4136.h"
#include "logging/TextFormats.h"
#include "wait/modMsgWait.h"

namespace logging {

void RunControl::cycleSteps()
{
    const int last = modKX4136::LastSensor;
    CycleRecord cycle;
    for (int i = 0; i <= last; ++i) {
        m_view.setLampColour(LampRed);
        modMsgWait::processPendingEvents();
        // No transaction runs here, so what came in just now must not wait for this sensor's read.
        if (runHeld()) {
            if (m_ended)
                return;
            m_view.setLampColour(LampRed);
        }
        SensorReading sensor {i, romCode(i), std::nullopt};
        if (modKX4136::ReadTemperature(static_cast<int16_t>(i)))
            sensor.celsius = modKX4136::GetTemperature();
        cycle.sensors.append(sensor);
        m_view.setLampColour(LampGreen);
        // Between two sensors the bus is free: what the user asked for meanwhile runs now.
        runHeld();
        if (m_ended)
            return;
    }
    cycle.when = m_clock();
    // The data line takes the time anew, a moment after the one the cycle shows.
    const QDateTime when = m_clock();
    if (m_view.check1State() != 0) {
        QList<Reading> readings;
        for (const SensorReading &sensor : std::as_const(cycle.sensors))
            readings << sensor.celsius;
        m_log.AppendLogLine(m_view.text(TextField::Text5), logDataLine(when, readings));
    }
    for (ReadingsListener *listener : QList(m_listeners))
        listener->cycleEnded(cycle);
}

} // namespace logging
