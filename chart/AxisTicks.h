// Where the chart's axes put their labels: round times and round temperatures, and the times' format.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <utility>
#include <vector>

namespace chart {

// The labels' format for ticks `step` apart over `span`: times of day within a day, with the date when the
// view spans days, the date alone for steps of days, the month or the year alone for steps of months or
// years.
QString timeFormat(qint64 step, qint64 span);

// Round times `step` apart from `from` to `to`, the step the smallest (a second up to ten years) that gives
// no more than `ticks` of them; hours and days begin at local midnight, not at the epoch's, months and
// years on their first day.
std::vector<qint64> roundTicks(qint64 from, qint64 to, int ticks, qint64 &step);

// The °C range widened to a round step (1, 2, 2.5 or 5 times a power of ten) that gives no more than
// `ticks` labels.
std::pair<double, double> roundCelsius(double low, double high, int ticks, int &tickCount);

// The time axis over `width` pixels: round times, as many as fit side by side, and their format. The step
// is chosen for a guessed label width, then again for the width `labelWidth` gives a label in the format
// that step brings.
struct TimeTicks
{
    std::vector<qint64> ticks;
    QString format;
};
TimeTicks fittingTimeTicks(
    qint64 from, qint64 to, int width, const std::function<int(const QString &label)> &labelWidth);

// The ticks' labels, each text once: the hour that the end of summer time repeats has its texts twice, and
// the second gets an invisible mark.
QStringList timeLabels(const std::vector<qint64> &ticks, const QString &format);

// The °C axis over `height` pixels for readings from `low` to `high`: a margin either side, widened to
// round labels with as many decimals as their step needs.
struct CelsiusAxis
{
    double bottom = 0;
    double top = 0;
    int ticks = 0;
    int decimals = 0;
};
CelsiusAxis celsiusAxis(double low, double high, double height);

} // namespace chart
