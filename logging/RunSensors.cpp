// Run control's sensors: the names and limits of the sensors file, and their alarm states.
#include "logging/RunControl.h"

#include "bus/modKX4136.h"

namespace logging {

std::optional<RomCode> RunControl::sensorRom(int index) const
{
    if (m_state == State::Idle || index < 0 || index > modKX4136::LastSensor)
        return std::nullopt;
    return romCode(index);
}

SensorSettings RunControl::sensorSettings(const RomCode &rom) const
{
    const auto found = m_sensors.find(rom);
    return found == m_sensors.end() ? SensorSettings() : found->second;
}

void RunControl::setSensorSettings(const RomCode &rom, const SensorSettings &settings)
{
    m_sensors[rom] = settings;
}

void RunControl::readSensorsFile(RunRecord &run)
{
    m_alarms.reset();
    const base::Result<SensorTable> file
        = m_sensorsFile.isEmpty() ? SensorTable() : logging::readSensorsFile(m_sensorsFile);
    m_sensors = file.valueOr({});
    // The run goes on without the file's names and limits; the message does not wait for the user.
    if (!file)
        m_view.tellMessage(file.failure());
    for (const RomCode &rom : std::as_const(run.roms))
        run.settings.append(sensorSettings(rom));
}

void RunControl::noteAlarms(CycleRecord &cycle)
{
    for (SensorReading &sensor : cycle.sensors) {
        // A sensor the file does not list is watched for nothing, as it was before there was a file.
        if (!m_sensors.contains(sensor.rom))
            continue;
        if (const std::optional<AlarmChange> change = m_alarms.update(sensor, cycle.when)) {
            cycle.alarmChanges.append(*change);
            m_view.tellAlarm(*change);
        }
    }
}

} // namespace logging
