// The readings a chart shows, kept compactly: one time per cycle, one float per sensor and cycle, and a
// min/max summary per block of cycles so that a redraw never walks every reading.
#pragma once

#include "chart/ReadingSeries.h"
#include "logging/Readings.h"

#include <QHash>
#include <QPointF>
#include <QSet>
#include <QString>
#include <vector>

namespace chart {

struct ChartSensor
{
    logging::RomCode rom {};
    int index = 0; // in the latest run that had it
    logging::SensorSettings settings {}; // the latest the run told, or the sensors file's for a log file
};

// One sensor's line over a time range, at most a few points per pixel column: x is the time in ms since
// the epoch, a point with a NaN y parts two pieces of line.
struct ReducedLine
{
    std::vector<QPointF> points;
    float low = 0;
    float high = 0;
    bool hasValue = false;
};

class ChartData
{
public:
    // More lines than this are a tangle and cost every redraw; sensors beyond them are counted, not kept.
    static constexpr qsizetype MaxSensors = 64;

    // The records are the one way in, for the run as it goes and for a log file read back alike.
    // A run begins: its sensors, with their names and limits when the run has them. Sensors are matched with
    // earlier runs by ROM code.
    void beginRun(const logging::RunRecord &run);
    // A cycle of the current run: each sensor's reading, index and settings as the cycle tells them; a
    // sensor without a reading has a gap.
    void appendCycle(const logging::CycleRecord &cycle);
    void clear();

    qsizetype sensorCount() const { return static_cast<qsizetype>(m_sensors.size()); }
    const ChartSensor &sensor(qsizetype i) const { return m_sensors[static_cast<std::size_t>(i)]; }
    // "Freezer (28 B4 84 D7 0F 4F 4C AF)"; "Sensor #i (28 B4 84 D7 0F 4F 4C AF)" for one without a name.
    QString sensorName(qsizetype i) const;
    // Sensors met but not kept, past MaxSensors; counted up to a bound.
    qint64 leftOutCount() const { return m_leftOut.size(); }
    qint64 cycleCount() const { return static_cast<qint64>(m_times.size()); }
    qint64 time(qint64 cycle) const { return m_times[static_cast<std::size_t>(cycle)]; }
    bool isEmpty() const { return m_times.empty(); }
    qint64 firstTime() const { return m_times.front(); }
    qint64 lastTime() const { return m_times.back(); }
    // NaN for a gap.
    float value(qsizetype sensor, qint64 cycle) const;

    // Each sensor's line from `from` to `to` over `columns` pixel columns: every column keeps its lowest
    // and highest reading in their order, a gap is never bridged.
    std::vector<ReducedLine> reduce(qint64 from, qint64 to, int columns) const;

private:
    // The sensor a ROM code is kept as, a new one when it is new; -1 for one past MaxSensors.
    int sensorFor(const logging::RomCode &rom);
    void appendTime(qint64 msecs);

    std::vector<ChartSensor> m_sensors;
    std::vector<ReadingSeries> m_series;
    std::vector<qint64> m_times;
    QHash<quint64, int> m_byRom;
    QSet<quint64> m_leftOut;
    bool m_runBreak = false;
};

} // namespace chart
