// The chart's readings reduced to pixel columns: a few points per column, extremes kept, gaps never bridged.
#include "chart/ChartData.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace chart {

namespace {

constexpr double Gap = std::numeric_limits<double>::quiet_NaN();
constexpr qint64 BlockSize = ReadingSeries::BlockSize;

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

// Where each pixel column's cycles start, the same for every sensor, then where the last one ends.
std::vector<qint64> columnStarts(
    const std::vector<qint64> &times, qint64 first, qint64 last, qint64 from, qint64 to, int columns)
{
    const double columnMs = static_cast<double>(to - from) / columns;
    std::vector<qint64> starts;
    for (qint64 i = first; i < last;) {
        starts.push_back(i);
        const double column
            = std::floor(static_cast<double>(times[static_cast<std::size_t>(i)] - from) / columnMs);
        const double next = static_cast<double>(from) + (column + 1) * columnMs;
        const auto end = std::lower_bound(times.begin() + i + 1, times.begin() + last, next,
            [](qint64 time, double bound) { return static_cast<double>(time) < bound; });
        i = end - times.begin();
    }
    // With many blocks to a column, its edges move to the nearest block edge: less than a quarter of a
    // pixel, and no reading needs to be read one by one.
    if ((last - first) / columns >= 4 * BlockSize) {
        std::vector<qint64> snapped {first};
        for (std::size_t k = 1; k < starts.size(); ++k) {
            const qint64 edge = (starts[k] + BlockSize / 2) / BlockSize * BlockSize;
            if (edge > snapped.back() && edge < last)
                snapped.push_back(edge);
        }
        starts = std::move(snapped);
    }
    starts.push_back(last);
    return starts;
}

// The range is that of the readings inside the window, else of those by its edges.
void takeRange(ReducedLine &line, qint64 from, qint64 to)
{
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
            return;
    }
}

// One series over the columns. Within a column the readings up to its first gap join the line on the left;
// the rest make one piece that joins the line on the right unless the column ends in a gap.
class LineReducer
{
public:
    LineReducer(const std::vector<qint64> &times, const ReadingSeries &series, std::vector<QPointF> &points)
        : m_times(times)
        , m_series(series)
        , m_points(points)
    { }

    void run(const std::vector<qint64> &starts)
    {
        m_points.reserve(starts.size() * 2 + 8);
        for (std::size_t c = 0; c + 1 < starts.size(); ++c) {
            flush();
            if (m_lastWasGap)
                brk(starts[c]);
            m_gapInColumn = false;
            column(starts[c], starts[c + 1]);
        }
        flush();
    }

private:
    void column(qint64 i, qint64 end)
    {
        while (i < end) {
            // A whole block inside the column is taken from its summary.
            if (i % BlockSize == 0 && i + BlockSize <= end) {
                const ReadingSeries::Summary &block = m_series.blockOf(i);
                add(block.before, i);
                if (block.gap)
                    gapAt(i);
                add(block.after, i);
                m_lastWasGap = block.endsInGap;
                i += BlockSize;
                continue;
            }
            const qint64 stop = std::min(end, (i / BlockSize + 1) * BlockSize);
            const float *values = m_series.at(i);
            for (qint64 k = i; k < stop; ++k) {
                const float v = values[k - i];
                if (std::isnan(v)) {
                    gapAt(k);
                } else {
                    m_piece.add(v, k, v, k);
                    m_lastWasGap = false;
                }
            }
            i = stop;
        }
    }
    QPointF point(qint64 i, double y) const
    {
        return QPointF(static_cast<double>(m_times[static_cast<std::size_t>(i)]), y);
    }
    void flush()
    {
        if (!m_piece.any())
            return;
        const Extremes &p = m_piece;
        if (p.lowAt == p.highAt) {
            m_points.push_back(point(p.lowAt, p.low));
        } else if (p.lowAt < p.highAt) {
            m_points.push_back(point(p.lowAt, p.low));
            m_points.push_back(point(p.highAt, p.high));
        } else {
            m_points.push_back(point(p.highAt, p.high));
            m_points.push_back(point(p.lowAt, p.low));
        }
        m_piece = Extremes();
    }
    void brk(qint64 i)
    {
        if (!m_points.empty() && !std::isnan(m_points.back().y()))
            m_points.push_back(point(i, Gap));
    }
    void gapAt(qint64 i)
    {
        m_lastWasGap = true;
        if (m_gapInColumn)
            return;
        m_gapInColumn = true;
        flush();
        brk(i);
    }
    void add(const ReadingSeries::Piece &p, qint64 base)
    {
        if (p.any)
            m_piece.add(p.low, base + p.lowAt, p.high, base + p.highAt);
    }

    const std::vector<qint64> &m_times;
    const ReadingSeries &m_series;
    std::vector<QPointF> &m_points;
    Extremes m_piece;
    bool m_gapInColumn = false;
    bool m_lastWasGap = false;
};

} // namespace

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
    const std::vector<qint64> starts = columnStarts(m_times, first, last, from, to, columns);
    for (std::size_t s = 0; s < m_series.size(); ++s) {
        LineReducer(m_times, m_series[s], lines[s].points).run(starts);
        takeRange(lines[s], from, to);
    }
    return lines;
}

} // namespace chart
