// Time for run-control tests: a manual clock that every wait moves on, with hooks into the waits.
#include "WaitHarness.h"

#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "wait/modMsgWait.h"

WaitHarness::WaitHarness()
{
    modKX4136::ResetModuleState();
    modMsgWait::SetTickSource([this] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock->now()).count();
        return static_cast<int32_t>(static_cast<uint32_t>(ms));
    });
    modMsgWait::SetPlatformWait([this](int32_t count, const int32_t *, int32_t timeoutMs) {
        ++waits;
        const bool input = inputAfterMs >= 0 && inputAfterMs < timeoutMs;
        clock->advance(std::chrono::milliseconds(input ? inputAfterMs : timeoutMs));
        if (duringWait)
            duringWait();
        return input ? count : modMsgWait::WaitTimedOut;
    });
    modMsgWait::SetEventPump([this] {
        ++pumps;
        if (duringPump)
            duringPump();
    });
}

WaitHarness::~WaitHarness()
{
    modKX4136::EndSession();
    XWBUSLIB::Install(nullptr);
    modMsgWait::SetTickSource({});
    modMsgWait::SetPlatformWait({});
    modMsgWait::SetEventPump({});
    modKX4136::ResetModuleState();
}

std::function<QDateTime()> WaitHarness::steppingLocalTime(const QDateTime &first)
{
    auto reads = std::make_shared<int>(0);
    return [first, reads] { return first.addSecs((*reads)++); };
}
