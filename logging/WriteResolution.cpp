// Resolution writing: the chosen resolution into one sensor's scratchpad, then into its EEPROM.
#include "logging/RunControl.h"

#include "bus/modKX4136.h"
#include "logging/Conversions.h"

namespace logging {

std::optional<int16_t> RunControl::sensorToWrite(const QString &sensor)
{
    const auto index = sensorIndexFromText(sensor, modKX4136::LastSensor, m_view.numberLocale());
    if (!index)
        m_view.tellMessage(QStringLiteral("Wrong sensor number."));
    return index;
}

RunControl::WriteOutcome RunControl::writeResolution(int16_t index, int bits)
{
    if (m_state != State::Running || enter() != Entry::Now)
        return WriteOutcome::Refused;
    if (!sensorToWrite(QString::number(index)))
        return WriteOutcome::Refused;
    WriteOutcome outcome = WriteOutcome::Refused;
    busWork([&] { outcome = writeSteps(index, bits - 9); });
    return outcome;
}

RunControl::WriteOutcome RunControl::writeSteps(int16_t index, int resolution)
{
    // A second click while the EEPROM copy waits would start a second write inside this one.
    m_view.setControlEnabled(Control::Command1, false);
    m_view.setLampColour(LampRed);
    const auto code = static_cast<int16_t>(resolution + 1);
    // The write replaces the alarm bytes too; the sensor gets back the ones it holds, which the user may
    // have set with another tool. Unknown ones are not guessed: then nothing is written.
    int16_t alarmLow = 0;
    int16_t alarmHigh = 0;
    WriteOutcome outcome = WriteOutcome::AlarmBytesUnread;
    if (modKX4136::ReadAlarmBytes(index, alarmLow, alarmHigh)) {
        // Both always run and neither result is shown in the window: the user learns the outcome from
        // the next START's list.
        const bool written = modKX4136::WriteScratchpad(index, code, alarmLow, alarmHigh);
        const bool copied = modKX4136::CopyScratchpad(index);
        outcome = written && copied ? WriteOutcome::Written : WriteOutcome::NotCompleted;
    } else {
        m_view.appendDeviceLine(
            QStringLiteral("The resolution was not written: the alarm bytes (TH, TL) of "
                           "sensor #%1 could not be read, and the write would replace them.")
                .arg(index));
    }
    m_view.setLampColour(LampGreen);
    m_view.setControlEnabled(Control::Command1, m_state == State::Running);
    return outcome;
}

} // namespace logging
