// The chart's readings and their reduction to pixel columns.
#include "chart/ChartData.h"

#include "bus/modKX4136.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>

namespace chart {

namespace {

constexpr float Gap = std::numeric_limits<float>::quiet_NaN();

quint64 romKey(const logging::RomCode &rom)
{
    quint64 key = 0;
    for (const uint8_t byte : rom)
        key = key << 8 | byte;
    return key;
}

// The lowest and highest reading of a piece of line, with where each was.
struct Extremes
{
    float low = 0;
    float high = 0;
    qint64 lowAt = -1;
    qint64 highAt = -1;

    bool any() const { return lowAt >= 0; }
    void add(float low_, qint64 lowAt_, float high_, qint64 highAt_)
    {
        const bool empty = !any();
        if (empty || low_ < low) {
            low = low_;
            lowAt = lowAt_;
        }
        if (empty || high_ > high) {
            high = high_;
            highAt = highAt_;
        }
    }
};

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
    const int id = static_cast<int>(m_sensors.size());
    m_sensors.push_back({rom, 0});
    m_byRom.insert(key, id);
    // A sensor that joins later had no reading in the cycles before.
    Series &series = m_series.emplace_back();
    for (std::size_t i = 0; i < m_times.size(); ++i)
        appendValue(series, Gap);
    return id;
}

QString ChartData::sensorName(qsizetype i) const
{
    const ChartSensor &s = sensor(i);
    QStringList bytes;
    for (const uint8_t byte : s.rom)
        bytes << modKX4136::HexByte(byte);
    return QStringLiteral("Sensor #%1 (%2)").arg(s.index).arg(bytes.join(QLatin1Char(' ')));
}

void ChartData::beginRun(const QList<logging::RomCode> &roms)
{
    m_run.clear();
    for (qsizetype p = 0; p < roms.size(); ++p) {
        const int id = sensorFor(roms[p]);
        m_sensors[static_cast<std::size_t>(id)].index = static_cast<int>(p);
        m_run.push_back(id);
    }
    m_runBreak = true;
}

void ChartData::appendTime(qint64 msecs)
{
    // A break between runs: no line joins the last cycle of one run to the first of the next.
    if (m_runBreak && !m_times.empty()) {
        m_times.push_back(std::max(msecs, m_times.back()));
        for (Series &series : m_series)
            appendValue(series, Gap);
    }
    m_runBreak = false;
    // A clock set back leaves the cycles in their order, at the latest time seen, so the times stay sorted.
    m_times.push_back(m_times.empty() ? msecs : std::max(msecs, m_times.back()));
}

void ChartData::appendCycle(qint64 msecs, const QList<std::optional<float>> &readings)
{
    std::vector<float> values(m_series.size(), Gap);
    for (qsizetype p = 0; p < readings.size() && p < static_cast<qsizetype>(m_run.size()); ++p)
        if (readings[p])
            values[static_cast<std::size_t>(m_run[static_cast<std::size_t>(p)])] = *readings[p];
    appendTime(msecs);
    for (std::size_t s = 0; s < m_series.size(); ++s)
        appendValue(m_series[s], values[s]);
}

void ChartData::appendCycle(const logging::CycleRecord &cycle)
{
    std::vector<std::pair<int, float>> read;
    for (const logging::SensorReading &reading : cycle.sensors) {
        const int id = sensorFor(reading.rom);
        m_sensors[static_cast<std::size_t>(id)].index = reading.index;
        read.emplace_back(id, reading.celsius.value_or(Gap));
    }
    std::vector<float> values(m_series.size(), Gap);
    for (const auto &[id, value] : read)
        values[static_cast<std::size_t>(id)] = value;
    appendTime(cycle.when.toMSecsSinceEpoch());
    for (std::size_t s = 0; s < m_series.size(); ++s)
        appendValue(m_series[s], values[s]);
}

void ChartData::appendValue(Series &series, float value)
{
    const auto at = static_cast<qint64>(series.values.size());
    series.values.push_back(value);
    if (at % BlockSize == 0)
        series.blocks.emplace_back();
    Summary &block = series.blocks.back();
    const auto pos = static_cast<uint8_t>(at % BlockSize);
    if (std::isnan(value)) {
        block.fill = block.count == 0 || block.fill == Fill::Gaps ? Fill::Gaps : Fill::Mixed;
    } else {
        const bool first = block.count == 0 || block.fill == Fill::Gaps;
        if (block.count != 0 && block.fill == Fill::Gaps)
            block.fill = Fill::Mixed;
        else if (block.count == 0)
            block.fill = Fill::Values;
        if (first || value < block.low) {
            block.low = value;
            block.lowAt = pos;
        }
        if (first || value > block.high) {
            block.high = value;
            block.highAt = pos;
        }
    }
    ++block.count;
}

float ChartData::value(qsizetype sensor, qint64 cycle) const
{
    return m_series[static_cast<std::size_t>(sensor)].values[static_cast<std::size_t>(cycle)];
}

std::vector<ReducedLine> ChartData::reduce(qint64 from, qint64 to, int columns) const
{
    std::vector<ReducedLine> lines(m_series.size());
    if (m_times.empty() || columns <= 0 || to <= from)
        return lines;
    // One cycle either side, so the lines run on to the edges.
    const auto lower = std::lower_bound(m_times.begin(), m_times.end(), from) - m_times.begin();
    const auto upper = std::upper_bound(m_times.begin(), m_times.end(), to) - m_times.begin();
    const qint64 first = std::max<qint64>(0, lower - 1);
    const qint64 last = std::min<qint64>(cycleCount(), upper + 1);
    const double columnMs = static_cast<double>(to - from) / columns;
    for (std::size_t s = 0; s < m_series.size(); ++s)
        reduceLine(m_series[s], first, last, from, columnMs, lines[s]);
    for (ReducedLine &line : lines) {
        // The range is that of the readings inside the window, else of those by its edges.
        for (const bool inside : {true, false}) {
            for (const QPointF &p : line.points) {
                if (std::isnan(p.y()) || (inside && (p.x() < from || p.x() > to)))
                    continue;
                const auto y = static_cast<float>(p.y());
                line.low = line.hasValue ? std::min(line.low, y) : y;
                line.high = line.hasValue ? std::max(line.high, y) : y;
                line.hasValue = true;
            }
            if (line.hasValue)
                break;
        }
    }
    return lines;
}

// Walks the cycles column by column. Within a column the readings up to its first gap join the line on
// the left; the rest make one piece that joins the line on the right unless the column ends in a gap.
void ChartData::reduceLine(
    const Series &series, qint64 first, qint64 last, qint64 from, double columnMs, ReducedLine &line) const
{
    std::vector<QPointF> &points = line.points;
    const auto columnOf = [&](qint64 i) {
        return static_cast<qint64>(
            std::floor(static_cast<double>(m_times[static_cast<std::size_t>(i)] - from) / columnMs));
    };
    const auto point = [&](qint64 i, float y) {
        return QPointF(static_cast<double>(m_times[static_cast<std::size_t>(i)]), static_cast<double>(y));
    };
    Extremes piece;
    qint64 column = std::numeric_limits<qint64>::min();
    bool gapInColumn = false;
    bool lastWasGap = false;
    const auto flush = [&] {
        if (!piece.any())
            return;
        if (piece.lowAt == piece.highAt) {
            points.push_back(point(piece.lowAt, piece.low));
        } else if (piece.lowAt < piece.highAt) {
            points.push_back(point(piece.lowAt, piece.low));
            points.push_back(point(piece.highAt, piece.high));
        } else {
            points.push_back(point(piece.highAt, piece.high));
            points.push_back(point(piece.lowAt, piece.low));
        }
        piece = Extremes();
    };
    const auto gapAt = [&](qint64 i) {
        lastWasGap = true;
        if (gapInColumn)
            return;
        gapInColumn = true;
        flush();
        if (!points.empty() && !std::isnan(points.back().y()))
            points.push_back(point(i, Gap));
    };
    const auto enterColumn = [&](qint64 i) {
        const qint64 c = columnOf(i);
        if (c == column)
            return;
        flush();
        if (lastWasGap && !points.empty() && !std::isnan(points.back().y()))
            points.push_back(point(i, Gap));
        column = c;
        gapInColumn = false;
    };
    qint64 i = first;
    while (i < last) {
        enterColumn(i);
        // A whole block inside this column is taken from its summary.
        if (i % BlockSize == 0 && i + BlockSize <= last && columnOf(i + BlockSize - 1) == column) {
            const Summary &block = series.blocks[static_cast<std::size_t>(i / BlockSize)];
            if (block.fill == Fill::Values) {
                piece.add(block.low, i + block.lowAt, block.high, i + block.highAt);
                lastWasGap = false;
                i += BlockSize;
                continue;
            }
            if (block.fill == Fill::Gaps) {
                gapAt(i);
                i += BlockSize;
                continue;
            }
        }
        const float v = series.values[static_cast<std::size_t>(i)];
        if (std::isnan(v)) {
            gapAt(i);
        } else {
            piece.add(v, i, v, i);
            lastWasGap = false;
        }
        ++i;
    }
    flush();
}

} // namespace chart
