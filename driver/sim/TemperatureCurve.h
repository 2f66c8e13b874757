// A sensor's true temperature over time: a slow swing with a faster ripple, fixed by a seed.
#pragma once

#include <chrono>
#include <cstdint>

namespace sim {

struct CurveShape
{
    double meanC = 20.0;
    double swingC = 2.0; // amplitude of the slow wave
    std::chrono::seconds period {600};
    double rippleC = 0.2; // amplitude of the faster wave
    std::chrono::seconds ripplePeriod {90};
    double phase = 0.0; // radians, shared by both waves' start
};

class TemperatureCurve
{
public:
    explicit TemperatureCurve(CurveShape shape = {});
    // A plausible curve that stays within lowC .. highC.
    static TemperatureCurve seeded(uint64_t seed, double lowC = -10.0, double highC = 30.0);

    // Degrees Celsius at a time, within the sensors' range -55 .. 125.
    double at(std::chrono::microseconds time) const;

private:
    CurveShape m_shape;
};

} // namespace sim
