// The chart's readings as the records bring them: sensors matched by ROM code, one time per cycle.
#include "chart/ChartData.h"

#include "logging/SensorsFile.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace chart {

namespace {

constexpr float Gap = std::numeric_limits<float>::quiet_NaN();
constexpr qsizetype MaxLeftOutCounted = 1 << 16;

quint64 romKey(const logging::RomCode &rom)
{
    quint64 key = 0;
    for (const uint8_t byte : rom)
        key = key << 8 | byte;
    return key;
}

} // namespace

void ChartData::clear()
{
    *this = ChartData();
}

int ChartData::sensorFor(const logging::RomCode &rom)
{
    const quint64 key = romKey(rom);
    if (const auto found = m_byRom.constFind(key); found != m_byRom.cend())
        return found.value();
    if (sensorCount() >= MaxSensors) {
        // A bound, so that a hostile file cannot grow the count's memory without end.
        if (m_leftOut.size() < MaxLeftOutCounted)
            m_leftOut.insert(key);
        return -1;
    }
    const int id = static_cast<int>(m_sensors.size());
    m_sensors.push_back({rom, 0});
    m_byRom.insert(key, id);
    // A sensor that joins later had no reading in the cycles before.
    ReadingSeries &series = m_series.emplace_back();
    for (std::size_t i = 0; i < m_times.size(); ++i)
        series.append(Gap);
    return id;
}

QString ChartData::sensorName(qsizetype i) const
{
    const ChartSensor &s = sensor(i);
    const QString name
        = s.settings.name.isEmpty() ? QStringLiteral("Sensor #%1").arg(s.index) : s.settings.name;
    return logging::sensorDisplayName(name, s.rom);
}

void ChartData::beginRun(const logging::RunRecord &run)
{
    for (qsizetype p = 0; p < run.roms.size(); ++p) {
        const int id = sensorFor(run.roms[p]);
        if (id >= 0) {
            ChartSensor &sensor = m_sensors[static_cast<std::size_t>(id)];
            sensor.index = static_cast<int>(p);
            sensor.settings = run.settings.value(p);
        }
    }
    m_runBreak = true;
}

void ChartData::appendTime(qint64 msecs)
{
    // A break between runs: no line joins the last cycle of one run to the first of the next.
    if (m_runBreak && !m_times.empty()) {
        m_times.push_back(std::max(msecs, m_times.back()));
        for (ReadingSeries &series : m_series)
            series.append(Gap);
    }
    m_runBreak = false;
    // A clock set back leaves the cycles in their order, at the latest time seen, so the times stay sorted.
    m_times.push_back(m_times.empty() ? msecs : std::max(msecs, m_times.back()));
}

void ChartData::appendCycle(const logging::CycleRecord &cycle)
{
    std::vector<std::pair<int, float>> read;
    for (const logging::SensorReading &reading : cycle.sensors) {
        const int id = sensorFor(reading.rom);
        if (id < 0)
            continue;
        m_sensors[static_cast<std::size_t>(id)].index = reading.index;
        m_sensors[static_cast<std::size_t>(id)].settings = reading.settings;
        // A ROM code twice in a cycle (a log file's header can say so) keeps the reading it has.
        if (reading.celsius)
            read.emplace_back(id, *reading.celsius);
    }
    // Only now: a sensor new in this cycle has added a series.
    std::vector<float> values(m_series.size(), Gap);
    for (const auto &[id, value] : read)
        values[static_cast<std::size_t>(id)] = value;
    appendTime(cycle.when.toMSecsSinceEpoch());
    for (std::size_t s = 0; s < m_series.size(); ++s)
        m_series[s].append(values[s]);
}

float ChartData::value(qsizetype sensor, qint64 cycle) const
{
    return *m_series[static_cast<std::size_t>(sensor)].at(cycle);
}

} // namespace chart
