// Turning the window's texts into the numbers the bus and the timer use, in the locale they are typed in.
#include "logging/Conversions.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace logging {

namespace {

std::optional<int16_t> roundedInt16(double value, int16_t low, int16_t high)
{
    const double rounded = roundHalfEven(value);
    if (rounded < low || rounded > high)
        return std::nullopt;
    return static_cast<int16_t>(rounded);
}

} // namespace

std::optional<double> parseNumber(const QString &text, const QLocale &locale)
{
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double roundHalfEven(double value)
{
    // std::round sends halves away from zero; a half is exact in binary, so it can be told apart.
    if (std::fabs(value - std::trunc(value)) == 0.5)
        return 2.0 * std::round(value / 2.0);
    return std::round(value);
}

std::optional<int16_t> portNumberFromText(const QString &text, const QLocale &locale)
{
    const auto value = parseNumber(text, locale);
    if (!value)
        return std::nullopt;
    return roundedInt16(*value, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max());
}

std::optional<int16_t> oneWireDelayFromText(const QString &text, const QLocale &locale)
{
    const auto value = parseNumber(text, locale);
    if (!value)
        return std::nullopt;
    return roundedInt16(*value, 0, std::numeric_limits<int16_t>::max());
}

std::optional<int32_t> intervalMsFromText(const QString &text, const QLocale &locale)
{
    const auto value = parseNumber(text, locale);
    if (!value)
        return std::nullopt;
    const double ms = roundHalfEven(*value * 1000.0);
    if (ms < 1 || ms > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(ms);
}

std::optional<int16_t> sensorIndexFromText(const QString &text, int16_t lastSensor, const QLocale &locale)
{
    const auto value = parseNumber(text, locale);
    if (!value || *value < 0 || *value > lastSensor)
        return std::nullopt;
    return static_cast<int16_t>(roundHalfEven(*value));
}

} // namespace logging
