// Simulated time for tests and benchmarks: the tick counter follows a manual clock that every wait moves
// on at once, with hooks into the waits and the processing of pending events.
#include "common/SimulatedTime.h"

#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "wait/modMsgWait.h"

#include <algorithm>

namespace testsupport {

SimulatedTime::SimulatedTime(Events events, std::chrono::milliseconds start)
    : clock(std::make_shared<sim::ManualClock>(start))
{
    modKX4136::resetModuleState();
    modMsgWait::setTickSource([this] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock->now()).count();
        return static_cast<int32_t>(static_cast<uint32_t>(ms));
    });
    modMsgWait::setPlatformWait([this](int32_t count, const int32_t *, int32_t timeoutMs) {
        const bool input = inputAfterMs >= 0 && inputAfterMs < timeoutMs;
        clock->advance(std::max(std::chrono::milliseconds(input ? inputAfterMs : timeoutMs), shortestWait));
        if (duringWait)
            duringWait(timeoutMs);
        return input ? count : modMsgWait::WaitTimedOut;
    });
    if (events == Events::Processed)
        modMsgWait::setEventPump({});
    else
        modMsgWait::setEventPump([this] {
            if (duringPump)
                duringPump();
        });
}

SimulatedTime::~SimulatedTime()
{
    modKX4136::EndSession();
    XWBUSLIB::Install(nullptr);
    modMsgWait::setTickSource({});
    modMsgWait::setPlatformWait({});
    modMsgWait::setEventPump({});
    modKX4136::resetModuleState();
}

std::function<QDateTime()> SimulatedTime::steppingLocalTime(const QDateTime &first)
{
    auto reads = std::make_shared<int>(0);
    return [first, reads] { return first.addSecs((*reads)++); };
}

} // namespace testsupport
