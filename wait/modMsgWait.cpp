// MsgWait: a deadline kept on the wrapping 32-bit tick counter.
#include "wait/modMsgWait.h"

#include "wait/PlatformPieces.h"

namespace modMsgWait {

namespace {

constexpr int32_t NoDeadline = -1;
constexpr int32_t ExpiryResult = 0;

// The tick counter wraps every 2^32 ms, so deadlines and what remains of them are counted modulo 2^32:
// unsigned 32-bit arithmetic, which wraps by definition, read back as signed.
int32_t deadlineAt(int32_t tick, int32_t interval)
{
    return static_cast<int32_t>(static_cast<uint32_t>(tick) + static_cast<uint32_t>(interval));
}

int32_t remainingUntil(int32_t deadline, int32_t now)
{
    return static_cast<int32_t>(static_cast<uint32_t>(deadline) - static_cast<uint32_t>(now));
}

bool expired(int32_t remaining, int32_t interval)
{
    const bool sameSign = (remaining ^ interval) > 0;
    const bool beyondInterval = remaining > interval;
    const bool pastDeadline = remaining < 0;
    return sameSign ? beyondInterval : pastDeadline;
}

} // namespace

int32_t MsgWait(int32_t interval, const int32_t *handles, const int32_t &count)
{
    return MsgWait(interval, handles, count, {});
}

int32_t MsgWait(int32_t interval, const int32_t *handles, const int32_t &count,
    const std::function<bool()> &cutWhen, int32_t notBeforeMs)
{
    if (interval < NoDeadline)
        interval = 0;
    const bool cuttable = cutWhen && (interval == NoDeadline || notBeforeMs < interval);

    int32_t start = 0;
    int32_t deadline = 0;
    int32_t remaining = NoDeadline;
    if (interval != NoDeadline || cuttable)
        start = GetTickCount();
    if (interval != NoDeadline)
        deadline = deadlineAt(start, interval);

    bool cutting = false;
    for (;;) {
        if (interval != NoDeadline) {
            remaining = remainingUntil(deadline, GetTickCount());
            if (expired(remaining, interval))
                return cutting ? WaitCut : ExpiryResult;
        }
        if (cuttable && !cutting && cutWhen()) {
            if (notBeforeMs <= 0)
                return WaitCut;
            // What must not be cut is waited out: the deadline moves up to its end.
            cutting = true;
            interval = notBeforeMs;
            deadline = deadlineAt(start, interval);
            continue;
        }
        const int32_t result = detail::waitForInput(count, handles, remaining);
        processPendingEvents();
        if (result != count)
            return cutting ? WaitCut : result;
    }
}

} // namespace modMsgWait
