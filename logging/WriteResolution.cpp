// Resolution writing: the chosen resolution into one sensor's scratchpad, then into its EEPROM.
#include "logging/RunControl.h"

#include "bus/modKX4136.h"
#include "logging/Conversions.h"

namespace logging {

std::optional<int16_t> RunControl::sensorToWrite(const QString &sensor)
{
    const auto index = sensorIndexFromText(sensor, modKX4136::LastSensor);
    if (!index)
        m_view.tellMessage(QStringLiteral("Wrong sensor number."));
    return index;
}

void RunControl::writeSteps(int16_t index, int resolution)
{
    // A second click while the EEPROM copy waits would start a second write inside this one.
    m_view.setControlEnabled(Control::Command1, false);
    m_view.setLampColour(LampRed);
    const auto code = static_cast<int16_t>(resolution + 1);
    // Both always run and neither result is shown: the user learns the outcome from the next START's list.
    modKX4136::WriteScratchpad(index, code, 0, 20);
    modKX4136::CopyScratchpad(index);
    m_view.setLampColour(LampGreen);
    m_view.setControlEnabled(Control::Command1, m_state == State::Running);
}

} // namespace logging
