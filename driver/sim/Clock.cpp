// The two clocks.
#include "driver/sim/Clock.h"

namespace sim {

std::chrono::microseconds SteadyClock::now() const
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
}

ManualClock::ManualClock(std::chrono::microseconds start)
    : now_(start.count())
{ }

std::chrono::microseconds ManualClock::now() const
{
    return std::chrono::microseconds {now_.load()};
}

void ManualClock::advance(std::chrono::microseconds by)
{
    now_ += by.count();
}

void ManualClock::set(std::chrono::microseconds to)
{
    now_ = to.count();
}

} // namespace sim
