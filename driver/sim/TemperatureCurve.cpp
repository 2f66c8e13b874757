// The temperature curve and its seeded variety.
#include "driver/sim/TemperatureCurve.h"

#include "driver/sim/RomCodes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sim {
namespace {

// A number in [low, high) drawn from the seed and a draw index.
double draw(uint64_t seed, uint64_t index, double low, double high)
{
    const double unit
        = static_cast<double>(scramble(seed * 8 + index) >> 11) / static_cast<double>(1ULL << 53);
    return low + unit * (high - low);
}

} // namespace

TemperatureCurve::TemperatureCurve(CurveShape shape)
    : m_shape(shape)
{ }

TemperatureCurve TemperatureCurve::seeded(uint64_t seed, double lowC, double highC)
{
    CurveShape shape;
    const double span = std::max(highC - lowC, 0.0);
    shape.rippleC = draw(seed, 0, 0.1, 0.4) * std::min(1.0, span / 4);
    shape.swingC = draw(seed, 1, 1.5, 6.0) * std::min(1.0, span / 16);
    const double margin = shape.swingC + shape.rippleC;
    shape.meanC = draw(seed, 2, lowC + margin, std::max(lowC + margin, highC - margin));
    shape.period = std::chrono::seconds {static_cast<int64_t>(draw(seed, 3, 600, 1800))};
    shape.ripplePeriod = std::chrono::seconds {static_cast<int64_t>(draw(seed, 4, 120, 300))};
    shape.phase = draw(seed, 5, 0, 2 * std::numbers::pi);
    return TemperatureCurve(shape);
}

double TemperatureCurve::at(std::chrono::microseconds time) const
{
    const double seconds = std::chrono::duration<double>(time).count();
    const auto wave = [&](double amplitude, std::chrono::seconds period) {
        const double p = std::max<double>(static_cast<double>(period.count()), 1.0);
        return amplitude * std::sin(2 * std::numbers::pi * seconds / p + m_shape.phase);
    };
    const double value
        = m_shape.meanC + wave(m_shape.swingC, m_shape.period) + wave(m_shape.rippleC, m_shape.ripplePeriod);
    return std::clamp(value, -55.0, 125.0);
}

} // namespace sim
