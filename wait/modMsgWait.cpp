// MsgWait: a deadline kept on the wrapping tick counter with trapped 32-bit arithmetic.
#include "wait/modMsgWait.h"

#include "wait/PlatformPieces.h"

#include <limits>

namespace modMsgWait {

namespace {

// Only the sign bit set.
constexpr int32_t M = std::numeric_limits<int32_t>::min();
constexpr int32_t NoDeadline = -1;
constexpr int32_t ExpiryResult = 0;

// A signed 32-bit value that remembers whether any operation leading to it overflowed.
struct Trapped
{
    int32_t value = 0;
    bool overflow = false;
};

Trapped t(int32_t value)
{
    return {value, false};
}

Trapped operator+(Trapped a, Trapped b)
{
    Trapped r;
    r.overflow = a.overflow || b.overflow || __builtin_add_overflow(a.value, b.value, &r.value);
    return r;
}

Trapped operator-(Trapped a, Trapped b)
{
    Trapped r;
    r.overflow = a.overflow || b.overflow || __builtin_sub_overflow(a.value, b.value, &r.value);
    return r;
}

// One trapped stretch: a step whose arithmetic overflowed is abandoned, so its target keeps its
// previous value, and the flag is raised for the steps that follow.
class Stretch
{
public:
    bool flag() const { return overflowFlag; }
    void assign(int32_t &target, Trapped result)
    {
        if (result.overflow)
            overflowFlag = true;
        else
            target = result.value;
    }

private:
    bool overflowFlag = false;
};

// (tick + interval) modulo 2^32, read as signed.
int32_t Deadline(int32_t tick, int32_t interval)
{
    int32_t deadline = tick;
    Stretch trap;
    trap.assign(deadline, t(deadline) + t(interval));
    if (trap.flag()) {
        if (deadline > 0)
            trap.assign(deadline, ((t(deadline) + t(M)) + t(interval)) + t(M));
        else
            trap.assign(deadline, ((t(deadline) - t(M)) + t(interval)) - t(M));
    }
    return deadline;
}

// (deadline - now) modulo 2^32, read as signed; remaining keeps its value if both steps overflow.
void Remaining(int32_t &remaining, int32_t deadline, int32_t now)
{
    Stretch trap;
    trap.assign(remaining, t(deadline) - t(now));
    if (trap.flag()) {
        if (deadline > 0)
            trap.assign(remaining, (t(deadline) + t(M)) - (t(now) - t(M)));
        else
            trap.assign(remaining, (t(deadline) - t(M)) - (t(now) + t(M)));
    }
}

bool Expired(int32_t remaining, int32_t interval)
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
        deadline = Deadline(start, interval);

    bool cutting = false;
    for (;;) {
        if (interval != NoDeadline) {
            Remaining(remaining, deadline, GetTickCount());
            if (Expired(remaining, interval))
                return cutting ? WaitCut : ExpiryResult;
        }
        if (cuttable && !cutting && cutWhen()) {
            if (notBeforeMs <= 0)
                return WaitCut;
            // What must not be cut is waited out: the deadline moves up to its end.
            cutting = true;
            interval = notBeforeMs;
            deadline = Deadline(start, interval);
            continue;
        }
        const int32_t result = detail::WaitForInput(count, handles, remaining);
        ProcessPendingEvents();
        if (result != count)
            return cutting ? WaitCut : result;
    }
}

} // namespace modMsgWait
