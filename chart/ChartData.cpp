// The chart's readings and their reduction to pixel columns.
#include "chart/ChartData.h"

#include "logging/TextFormats.h"

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
    Series &series = m_series.emplace_back();
    for (std::size_t i = 0; i < m_times.size(); ++i)
        appendValue(series, Gap);
    return id;
}

QString ChartData::sensorName(qsizetype i) const
{
    const ChartSensor &s = sensor(i);
    const QString name
        = s.settings.name.isEmpty() ? QStringLiteral("Sensor #%1").arg(s.index) : s.settings.name;
    return logging::sensorDisplayName(name, s.rom);
}

void ChartData::beginRun(const QList<logging::RomCode> &roms, const QList<logging::SensorSettings> &settings)
{
    m_run.clear();
    for (qsizetype p = 0; p < roms.size(); ++p) {
        const int id = sensorFor(roms[p]);
        if (id >= 0) {
            ChartSensor &sensor = m_sensors[static_cast<std::size_t>(id)];
            sensor.index = static_cast<int>(p);
            sensor.settings = settings.value(p);
        }
        m_run.push_back(id);
    }
    m_runBreak = true;
}

void ChartData::applySettings(const logging::SensorTable &table)
{
    for (ChartSensor &sensor : m_sensors) {
        const auto found = table.find(sensor.rom);
        sensor.settings = found == table.end() ? logging::SensorSettings() : found->second;
    }
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
    for (qsizetype p = 0; p < readings.size() && p < static_cast<qsizetype>(m_run.size()); ++p) {
        const int id = m_run[static_cast<std::size_t>(p)];
        if (readings[p] && id >= 0)
            values[static_cast<std::size_t>(id)] = *readings[p];
    }
    appendTime(msecs);
    for (std::size_t s = 0; s < m_series.size(); ++s)
        appendValue(m_series[s], values[s]);
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
        read.emplace_back(id, reading.celsius.value_or(Gap));
    }
    std::vector<float> values(m_series.size(), Gap);
    for (const auto &[id, value] : read)
        values[static_cast<std::size_t>(id)] = value;
    appendTime(cycle.when.toMSecsSinceEpoch());
    for (std::size_t s = 0; s < m_series.size(); ++s)
        appendValue(m_series[s], values[s]);
}

void ChartData::Piece::add(float value, uint8_t at)
{
    if (!any || value < low) {
        low = value;
        lowAt = at;
    }
    if (!any || value > high) {
        high = value;
        highAt = at;
    }
    any = true;
}

void ChartData::appendValue(Series &series, float value)
{
    const qint64 at = series.size++;
    if (at % ChunkSize == 0)
        series.chunks.push_back(std::make_unique<float[]>(ChunkSize));
    series.chunks.back()[at % ChunkSize] = value;
    if (at % BlockSize == 0)
        series.blocks.emplace_back();
    Summary &block = series.blocks.back();
    if (std::isnan(value)) {
        block.gap = true;
        block.endsInGap = true;
    } else {
        (block.gap ? block.after : block.before).add(value, static_cast<uint8_t>(at % BlockSize));
        block.endsInGap = false;
    }
}

float ChartData::value(qsizetype sensor, qint64 cycle) const
{
    return *m_series[static_cast<std::size_t>(sensor)].at(cycle);
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
    // Where each pixel column's cycles start, the same for every sensor; then where they end.
    const double columnMs = static_cast<double>(to - from) / columns;
    std::vector<qint64> columnStarts;
    for (qint64 i = first; i < last;) {
        columnStarts.push_back(i);
        const double column
            = std::floor(static_cast<double>(m_times[static_cast<std::size_t>(i)] - from) / columnMs);
        const double next = static_cast<double>(from) + (column + 1) * columnMs;
        const auto end = std::lower_bound(m_times.begin() + i + 1, m_times.begin() + last, next,
            [](qint64 time, double bound) { return static_cast<double>(time) < bound; });
        i = end - m_times.begin();
    }
    // With many blocks to a column, its edges move to the nearest block edge: less than a quarter of a
    // pixel, and no reading needs to be read one by one.
    if ((last - first) / columns >= 4 * BlockSize) {
        std::vector<qint64> snapped {first};
        for (std::size_t k = 1; k < columnStarts.size(); ++k) {
            const qint64 edge = (columnStarts[k] + BlockSize / 2) / BlockSize * BlockSize;
            if (edge > snapped.back() && edge < last)
                snapped.push_back(edge);
        }
        columnStarts = std::move(snapped);
    }
    columnStarts.push_back(last);
    for (std::size_t s = 0; s < m_series.size(); ++s)
        reduceLine(m_series[s], columnStarts, lines[s]);
    for (ReducedLine &line : lines) {
        // The range is that of the readings inside the window, else of those by its edges.
        for (const bool inside : {true, false}) {
            for (const QPointF &p : line.points) {
                if (std::isnan(p.y())
                    || (inside && (p.x() < static_cast<qreal>(from) || p.x() > static_cast<qreal>(to))))
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

// Within a column the readings up to its first gap join the line on the left; the rest make one piece
// that joins the line on the right unless the column ends in a gap.
void ChartData::reduceLine(
    const Series &series, const std::vector<qint64> &columnStarts, ReducedLine &line) const
{
    std::vector<QPointF> &points = line.points;
    points.reserve(columnStarts.size() * 2 + 8);
    const auto point = [&](qint64 i, float y) {
        return QPointF(static_cast<double>(m_times[static_cast<std::size_t>(i)]), static_cast<double>(y));
    };
    Extremes piece;
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
    const auto brk = [&](qint64 i) {
        if (!points.empty() && !std::isnan(points.back().y()))
            points.push_back(point(i, Gap));
    };
    const auto gapAt = [&](qint64 i) {
        lastWasGap = true;
        if (gapInColumn)
            return;
        gapInColumn = true;
        flush();
        brk(i);
    };
    const auto add = [&](const Piece &p, qint64 base) {
        if (p.any)
            piece.add(p.low, base + p.lowAt, p.high, base + p.highAt);
    };
    for (std::size_t c = 0; c + 1 < columnStarts.size(); ++c) {
        const qint64 end = columnStarts[c + 1];
        qint64 i = columnStarts[c];
        flush();
        if (lastWasGap)
            brk(i);
        gapInColumn = false;
        while (i < end) {
            // A whole block inside the column is taken from its summary.
            if (i % BlockSize == 0 && i + BlockSize <= end) {
                const Summary &block = series.blocks[static_cast<std::size_t>(i / BlockSize)];
                add(block.before, i);
                if (block.gap)
                    gapAt(i);
                add(block.after, i);
                lastWasGap = block.endsInGap;
                i += BlockSize;
                continue;
            }
            const qint64 stop = std::min(end, (i / BlockSize + 1) * BlockSize);
            const float *values = series.at(i);
            for (qint64 k = i; k < stop; ++k) {
                const float v = values[k - i];
                if (std::isnan(v)) {
                    gapAt(k);
                } else {
                    piece.add(v, k, v, k);
                    lastWasGap = false;
                }
            }
            i = stop;
        }
    }
    flush();
}

} // namespace chart
