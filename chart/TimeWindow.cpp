// The chart's time window and its clamping to the data.
#include "chart/TimeWindow.h"

#include "chart/ChartData.h"

#include <QDateTime>
#include <algorithm>

namespace chart {

namespace {
constexpr double MinSpanMs = 5 * 1000;
}

TimeRange wholeRange(const ChartData &data)
{
    if (data.isEmpty()) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        return {now - 60 * 1000, now};
    }
    const qint64 span = data.lastTime() - data.firstTime();
    const qint64 margin = std::max<qint64>(span / 100, 1000);
    return {data.firstTime() - margin, data.lastTime() + margin};
}

void TimeWindow::show(qint64 from, qint64 to, const TimeRange &whole)
{
    if (to - from >= whole.second - whole.first) {
        m_window.reset();
        return;
    }
    if (static_cast<double>(to - from) < MinSpanMs) {
        const qint64 middle = from + (to - from) / 2;
        from = middle - static_cast<qint64>(MinSpanMs / 2);
        to = middle + static_cast<qint64>(MinSpanMs / 2);
    }
    const qint64 shift
        = from < whole.first ? whole.first - from : (to > whole.second ? whole.second - to : 0);
    m_window = std::make_pair(from + shift, to + shift);
}

void TimeWindow::zoom(double factor, double at, const TimeRange &drawn, const TimeRange &whole)
{
    // The time under the pointer is read on the range as drawn; the zoom starts from the data's own
    // range, not from the round one the whole view shows.
    const double time = static_cast<double>(drawn.first)
        + std::clamp(at, 0.0, 1.0) * static_cast<double>(drawn.second - drawn.first);
    const auto [from, to] = shown(whole);
    show(static_cast<qint64>(time - (time - static_cast<double>(from)) * factor),
        static_cast<qint64>(time + (static_cast<double>(to) - time) * factor), whole);
}

void TimeWindow::pan(double fraction, const TimeRange &drawn, const TimeRange &whole)
{
    if (following())
        return;
    const auto shift = static_cast<qint64>(fraction * static_cast<double>(drawn.second - drawn.first));
    show(drawn.first - shift, drawn.second - shift, whole);
}

} // namespace chart
