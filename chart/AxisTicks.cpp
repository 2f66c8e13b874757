// Round times and temperatures for the chart's axes, and the labels that fit them.
#include "chart/AxisTicks.h"

#include "logging/TextFormats.h"

#include <QDateTime>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <tuple>

namespace chart {

namespace {
constexpr qint64 MsPerDay = 24 * 3600 * 1000;
// A mean month: steps of months are told apart by their length.
constexpr qint64 MsPerMonth = 2629746000;

// Local midnights on the first of every `months`th month (counted from a January) from `from` to `to`.
std::vector<qint64> monthTicks(qint64 from, qint64 to, int months)
{
    const QDate start = QDateTime::fromMSecsSinceEpoch(from).date();
    std::vector<qint64> times;
    for (int m = (start.year() * 12 + start.month() - 1) / months * months;; m += months) {
        const qint64 t = QDateTime(QDate(m / 12, m % 12 + 1, 1), QTime(0, 0)).toMSecsSinceEpoch();
        if (t > to)
            break;
        if (t >= from)
            times.push_back(t);
    }
    return times;
}

} // namespace

QString timeFormat(qint64 step, qint64 span)
{
    const QLocale locale;
    const QString time = step < 60 * 1000
        ? logging::timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat))
        : locale.timeFormat(QLocale::ShortFormat);
    if (step >= 12 * MsPerMonth)
        return QStringLiteral("yyyy");
    if (step >= MsPerMonth)
        return QStringLiteral("MMM yyyy");
    if (step >= MsPerDay)
        return locale.dateFormat(QLocale::ShortFormat);
    if (span > MsPerDay)
        return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') + time;
    return time;
}

std::vector<qint64> roundTicks(qint64 from, qint64 to, int ticks, qint64 &step)
{
    static constexpr qint64 steps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800,
        21600, 43200, 86400, 172800, 259200, 604800, 1209600};
    const qint64 offset = QDateTime::fromMSecsSinceEpoch(from).offsetFromUtc() * static_cast<qint64>(1000);
    for (const qint64 seconds : steps) {
        step = seconds * 1000;
        if ((to - from) / step + 1 > ticks)
            continue;
        std::vector<qint64> times;
        for (qint64 t = (from + offset + step - 1) / step * step - offset; t <= to; t += step)
            times.push_back(t);
        return times;
    }
    for (const int months : {1, 2, 3, 6, 12, 24, 60, 120}) {
        step = months * MsPerMonth;
        if ((to - from) / step + 1 <= ticks || months == 120)
            break;
    }
    return monthTicks(from, to, static_cast<int>(step / MsPerMonth));
}

std::pair<double, double> roundCelsius(double low, double high, int ticks, int &tickCount)
{
    const double rough = (high - low) / std::max(1, ticks - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        const double step = factor * power;
        const double first = std::floor(low / step) * step;
        const double last = std::ceil(high / step) * step;
        const int count = static_cast<int>(std::lround((last - first) / step)) + 1;
        if (count <= ticks || factor == 10.0) {
            tickCount = count;
            return {first, last};
        }
    }
    return {low, high};
}

TimeTicks fittingTimeTicks(
    qint64 from, qint64 to, int width, const std::function<int(const QString &label)> &labelWidth)
{
    // The axis shortens a label to the width divided by one more than the labels' count, whatever the
    // ticks' spacing, so that width must hold it.
    const auto fitting = [width](int measured) { return std::clamp(width / (measured + 24), 2, 14); };
    qint64 step = 0;
    roundTicks(from, to, fitting(60), step);
    const QString guessed = timeFormat(step, to - from);
    TimeTicks ticks;
    ticks.ticks = roundTicks(
        from, to, fitting(labelWidth(QLocale().toString(QDateTime::fromMSecsSinceEpoch(to), guessed))), step);
    ticks.format = timeFormat(step, to - from);
    return ticks;
}

QStringList timeLabels(const std::vector<qint64> &ticks, const QString &format)
{
    const QLocale locale;
    QStringList labels;
    for (const qint64 tick : ticks) {
        QString label = locale.toString(QDateTime::fromMSecsSinceEpoch(tick), format);
        while (labels.contains(label))
            label += QChar(0x200B);
        labels.append(label);
    }
    return labels;
}

CelsiusAxis celsiusAxis(double low, double high, double height)
{
    const double margin = std::max(0.03 * (high - low), 0.2);
    CelsiusAxis axis;
    std::tie(axis.bottom, axis.top) = roundCelsius(
        low - margin, high + margin, std::clamp(static_cast<int>(height / 40) + 1, 3, 12), axis.ticks);
    const double step = (axis.top - axis.bottom) / std::max(1, axis.ticks - 1);
    while (axis.decimals < 3
        && std::fabs(step * std::pow(10, axis.decimals) - std::round(step * std::pow(10, axis.decimals)))
            > 1e-6)
        ++axis.decimals;
    return axis;
}

} // namespace chart
