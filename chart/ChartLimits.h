// The sensors' alarm limits in the chart: which are drawn, and the °C span they and the readings take.
#pragma once

#include "chart/ChartData.h"

#include <optional>
#include <utility>
#include <vector>

namespace chart {

struct LimitLine
{
    std::size_t sensor = 0;
    double celsius = 0;
};

// The low and high limits of the lines shown that have a reading in view: a limit of a sensor that is not
// in view would only squeeze the lines that are.
std::vector<LimitLine> limitLines(
    const ChartData &data, const std::vector<ReducedLine> &reduced, const std::vector<bool> &hidden);

// The lowest and highest of the shown readings and of those limits; none when no line is shown.
std::optional<std::pair<double, double>> celsiusSpan(const std::vector<ReducedLine> &reduced,
    const std::vector<bool> &hidden, const std::vector<LimitLine> &limits);

// What the dashed lines are, below the chart; nothing while no sensor has a limit.
QString limitsNote(const ChartData &data);

} // namespace chart
