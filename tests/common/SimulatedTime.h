// Simulated time for tests and benchmarks: the tick counter follows a manual clock that every wait moves
// on at once, with hooks into the waits and the processing of pending events.
#pragma once

#include "driver/sim/Clock.h"

#include <QDateTime>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace testsupport {

// Installs the tick source, the platform wait and (for Events::Simulated) the event pump, on a fresh
// module state; when it ends it ends the session, removes the driver, restores the platform pieces and
// puts the module state back to zero.
class SimulatedTime
{
public:
    // Simulated: processing pending events only calls duringPump. Processed: pending events
    // are processed for real, so that timers and signals are handled inside waits.
    enum class Events { Simulated, Processed };

    explicit SimulatedTime(
        Events events = Events::Simulated, std::chrono::milliseconds start = std::chrono::seconds(10));
    ~SimulatedTime();
    SimulatedTime(const SimulatedTime &) = delete;
    SimulatedTime &operator=(const SimulatedTime &) = delete;

    std::shared_ptr<sim::ManualClock> clock;
    // Every wait moves the clock on by at least this much, however short it is.
    std::chrono::milliseconds shortestWait {0};
    // Runs inside every platform wait once its time has passed, as input handled during it would.
    std::function<void(int32_t timeoutMs)> duringWait;
    // Runs at every simulated processing of pending events.
    std::function<void()> duringPump;
    // From 0: input arrives that many ms into every longer wait, which then returns early.
    int32_t inputAfterMs = -1;

    // A local time that moves on by one second each time it is read.
    static std::function<QDateTime()> steppingLocalTime(const QDateTime &first);
};

} // namespace testsupport
