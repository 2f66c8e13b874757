// The span of time the chart shows: the whole range, following new cycles, or a window the user zoomed or
// panned to, kept inside the whole range and never narrower than a few seconds.
#pragma once

#include <QtGlobal>
#include <optional>
#include <utility>

namespace chart {

class ChartData;

// From and to, in ms since the epoch.
using TimeRange = std::pair<qint64, qint64>;

// The data's range with a margin either side; the last minute up to now while there is no data.
TimeRange wholeRange(const ChartData &data);

class TimeWindow
{
public:
    bool following() const { return !m_window; }
    // The window, or `whole` while following.
    TimeRange shown(const TimeRange &whole) const { return m_window.value_or(whole); }
    void showWhole() { m_window.reset(); }
    // From `from` to `to` moved inside `whole`; as wide as `whole` or wider, it follows `whole`.
    void show(qint64 from, qint64 to, const TimeRange &whole);
    // Zooms by `factor` (below 1 zooms in) about the time `at` across `drawn`, the range last drawn (0 at its
    // left, 1 at its right).
    void zoom(double factor, double at, const TimeRange &drawn, const TimeRange &whole);
    // Moves `drawn` by `fraction` of its span, to the past for a positive one; nothing while following.
    void pan(double fraction, const TimeRange &drawn, const TimeRange &whole);
    // The last `ms` milliseconds up to the end of `whole`.
    void showLast(qint64 ms, const TimeRange &whole) { show(whole.second - ms, whole.second, whole); }

private:
    std::optional<TimeRange> m_window;
};

} // namespace chart
