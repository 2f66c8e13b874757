// Time for run-control tests: a manual clock that every wait moves on, with hooks into the waits.
#pragma once

#include "driver/sim/Clock.h"

#include <QDateTime>
#include <functional>
#include <memory>

class WaitHarness
{
public:
    // Installs the tick source, the platform wait and the event pump; the destructor restores them
    // and puts the module state and the installed driver back to their start.
    WaitHarness();
    ~WaitHarness();
    WaitHarness(const WaitHarness &) = delete;
    WaitHarness &operator=(const WaitHarness &) = delete;

    std::shared_ptr<sim::ManualClock> clock = std::make_shared<sim::ManualClock>(std::chrono::seconds(10));
    // Runs inside every platform wait once its time has passed, as a click handled during it would.
    std::function<void()> duringWait;
    // Runs at every processing of pending events.
    std::function<void()> duringPump;
    // From 0: input arrives that many ms into every longer wait, which then returns early.
    int32_t inputAfterMs = -1;
    int waits = 0;
    int pumps = 0;

    // A local time that moves on by one second each time it is read.
    std::function<QDateTime()> steppingLocalTime(const QDateTime &first);
};
