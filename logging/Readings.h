// Readings out: what run control tells those who show, chart or publish the readings.
#pragma once

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

namespace logging {

using RomCode = std::array<uint8_t, 8>;

// A run that START has begun: the sensors it found, by index.
struct RunRecord
{
    QList<RomCode> roms;
    int32_t intervalMs = 0; // the reading interval the run took over
};

struct SensorReading
{
    int index = 0;
    RomCode rom {};
    std::optional<float> celsius; // none when the read failed
};

// A cycle that has read every sensor: its local time and what each sensor gave.
struct CycleRecord
{
    QDateTime when;
    QList<SensorReading> sensors;
    // How often the run's readings really come: the interval, or the longest cycle so far when longer.
    int32_t periodMs = 0;
};

// Told on the window's thread: a listener must never hold it up.
class ReadingsListener
{
public:
    virtual ~ReadingsListener() = default;
    virtual void runStarted(const RunRecord &) { }
    virtual void cycleEnded(const CycleRecord &cycle) = 0;
};

// The reading as the list and the log show it, "?" for a failed read.
QString readingText(const SensorReading &sensor);
// The lines of lstTemp for a cycle, one per sensor.
QStringList readingListLines(const CycleRecord &cycle);

} // namespace logging
