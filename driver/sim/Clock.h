// Time for the simulation: the real steady clock, or a manual one that tests and the logger can share.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace sim {

class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::chrono::microseconds now() const = 0;
};

class SteadyClock : public Clock
{
public:
    std::chrono::microseconds now() const override;
};

// Stands still until told to move, so a conversion "takes" 750 ms without anyone waiting for it.
class ManualClock : public Clock
{
public:
    explicit ManualClock(std::chrono::microseconds start = std::chrono::microseconds {0});

    std::chrono::microseconds now() const override;
    void advance(std::chrono::microseconds by);
    void set(std::chrono::microseconds to);

private:
    std::atomic<int64_t> m_now;
};

} // namespace sim
