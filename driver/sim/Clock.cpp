// The two clocks.
#include "driver/sim/Clock.h"

namespace sim {

std::chrono::microseconds SteadyClock::now() const
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

ManualClock::ManualClock(std::chrono::microseconds start)
    : m_now(start.count())
{ }

std::chrono::microseconds ManualClock::now() const
{
    return std::chrono::microseconds {m_now.load()};
}

void ManualClock::advance(std::chrono::microseconds by)
{
    m_now += by.count();
}

void ManualClock::set(std::chrono::microseconds to)
{
    m_now = to.count();
}

} // namespace sim
