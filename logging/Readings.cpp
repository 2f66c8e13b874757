// Readings out: what run control tells those who show, chart or publish the readings.
#include "logging/Readings.h"

#include "logging/TextFormats.h"

namespace logging {

QString readingText(const SensorReading &sensor)
{
    return readingText(sensor.celsius);
}

QStringList readingListLines(const CycleRecord &cycle)
{
    QStringList lines;
    for (const SensorReading &sensor : cycle.sensors)
        lines << sensorListLine(sensor.index, readingText(sensor));
    return lines;
}

} // namespace logging
