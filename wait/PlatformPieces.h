// The installed platform wait, as MsgWait calls it (internal to wait/).
#pragma once

#include <cstdint>

namespace modMsgWait::detail {

// Runs the installed platform wait (the default one unless a test replaced it).
int32_t waitForInput(int32_t count, const int32_t *handles, int32_t timeoutMs);

} // namespace modMsgWait::detail
