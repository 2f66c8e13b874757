// A timed wait on the window thread that processes pending window events each time it wakes.
#pragma once

#include <cstdint>
#include <functional>

namespace modMsgWait {

// What a platform wait gives when it ran to its time-out without input arriving.
inline constexpr int32_t WaitTimedOut = 258;
// What MsgWait gives when its cut condition ended it before its time.
inline constexpr int32_t WaitCut = -2;

// Waits interval ms (-1: no deadline; below -1 counts as 0), processing pending events whenever the
// platform wait returns. handles/count are handed to the platform wait unchanged; count is read anew at
// every pass. Gives 0 when a pass finds the deadline passed, otherwise the platform wait's first result
// that is not count (WaitTimedOut when it ran to its time-out).
int32_t MsgWait(int32_t interval, const int32_t *handles, const int32_t &count);

// The same, but a wait that cutWhen, asked before every pass, answers true for ends early and gives
// WaitCut: at once, or once notBeforeMs have passed since it began (still processing events). A wait
// no longer than notBeforeMs is never cut.
int32_t MsgWait(int32_t interval, const int32_t *handles, const int32_t &count,
    const std::function<bool()> &cutWhen, int32_t notBeforeMs = 0);

// The wrapping 32-bit millisecond tick counter, read as a signed value.
int32_t GetTickCount();
// Dispatches every pending window event, then returns.
void processPendingEvents();

// Blocks until timeoutMs has passed (-1: never) or input arrives; gives count when input arrived.
using PlatformWait = std::function<int32_t(int32_t count, const int32_t *handles, int32_t timeoutMs)>;
using TickSource = std::function<int32_t()>;
using EventPump = std::function<void()>;

// Replace the platform pieces (tests); an empty function restores the default.
void setTickSource(TickSource source);
void setPlatformWait(PlatformWait wait);
void setEventPump(EventPump pump);

// The default platform wait: blocks in the thread's event dispatcher until the time-out or until any
// event arrives (timers, posted events, user input). Handles are not supported and must number 0.
// A thread without an event dispatcher (no application object yet) has no input to wait for: it
// sleeps for the time-out, and a -1 time-out returns at once instead of blocking for ever.
int32_t defaultPlatformWait(int32_t count, const int32_t *handles, int32_t timeoutMs);

} // namespace modMsgWait
