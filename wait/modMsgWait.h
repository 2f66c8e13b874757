// A timed wait on the window thread that processes pending window events each time it wakes.
#pragma once

#include <cstdint>
#include <functional>

namespace modMsgWait {

// Waits interval ms (-1: no deadline), processing pending events whenever the platform wait returns.
// handles/count are handed to the platform wait unchanged; count is read anew at every pass.
// Gives 0 when the interval has run out, otherwise the platform wait's result.
int32_t MsgWait(int32_t interval, const int32_t *handles, const int32_t &count);

// The wrapping 32-bit millisecond tick counter, read as a signed value.
int32_t GetTickCount();
// Dispatches every pending window event, then returns.
void ProcessPendingEvents();

// Blocks until timeoutMs has passed (-1: never) or input arrives; gives count when input arrived.
using PlatformWait = std::function<int32_t(int32_t count, const int32_t *handles, int32_t timeoutMs)>;
using TickSource = std::function<int32_t()>;
using EventPump = std::function<void()>;

// Replace the platform pieces (tests); an empty function restores the default.
void SetTickSource(TickSource source);
void SetPlatformWait(PlatformWait wait);
void SetEventPump(EventPump pump);

} // namespace modMsgWait
