// The sensors' alarm limits in the chart.
#include "chart/ChartLimits.h"

#include <algorithm>

namespace chart {

namespace {

bool shown(const std::vector<ReducedLine> &reduced, const std::vector<bool> &hidden, std::size_t i)
{
    return reduced[i].hasValue && !(i < hidden.size() && hidden[i]);
}

} // namespace

std::vector<LimitLine> limitLines(
    const ChartData &data, const std::vector<ReducedLine> &reduced, const std::vector<bool> &hidden)
{
    std::vector<LimitLine> lines;
    for (std::size_t i = 0; i < reduced.size() && static_cast<qsizetype>(i) < data.sensorCount(); ++i) {
        if (!shown(reduced, hidden, i))
            continue;
        const logging::SensorLimits &limits = data.sensor(static_cast<qsizetype>(i)).settings.limits;
        for (const std::optional<double> &limit : {limits.low, limits.high})
            if (limit)
                lines.push_back({i, *limit});
    }
    return lines;
}

std::optional<std::pair<double, double>> celsiusSpan(const std::vector<ReducedLine> &reduced,
    const std::vector<bool> &hidden, const std::vector<LimitLine> &limits)
{
    std::optional<std::pair<double, double>> span;
    const auto take = [&span](double low, double high) {
        span = span ? std::make_pair(std::min(span->first, low), std::max(span->second, high))
                    : std::make_pair(low, high);
    };
    for (std::size_t i = 0; i < reduced.size(); ++i)
        if (shown(reduced, hidden, i))
            take(reduced[i].low, reduced[i].high);
    for (const LimitLine &limit : limits)
        take(limit.celsius, limit.celsius);
    return span;
}

QString limitsNote(const ChartData &data)
{
    for (qsizetype i = 0; i < data.sensorCount(); ++i)
        if (data.sensor(i).settings.limits.any())
            return QStringLiteral("Dashed lines: the sensors' alarm limits.");
    return QString();
}

} // namespace chart
