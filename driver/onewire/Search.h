// The standard ROM search (last-discrepancy bookkeeping), written once against Link::searchPass.
#pragma once

#include "driver/onewire/Link.h"
#include "driver/onewire/RomCode.h"

#include <cstdint>

namespace onewire {

// What the caller's state buffer holds between calls.
struct SearchState
{
    bool started = false; // a search has begun since the buffer was zero
    bool lastDevice = false; // the previous pass found no untried fork: the search is over
    bool hasCurrent = false; // `current` names a device
    int lastDiscrepancy = -1; // highest fork of the previous pass where the 0 way was taken; -1: none
    RomCode current {}; // the current device (what XwRom reads and XwAccess selects)
    RomBits path {}; // the way the previous pass took, which the next one follows up to the fork

    // Buffer layout, little of it used: byte 0 flags (bit 0 started, bit 1 last device, bit 2 current held);
    // byte 1 lastDiscrepancy + 1 (0 = none); bytes 2-9 current device; bytes 10-17 the previous path as a
    // ROM code. The rest is never touched, so an all-zero buffer is a search not yet begun.
    static SearchState load(const uint8_t *buffer);
    void store(uint8_t *buffer) const;
};

enum class SearchResult {
    Found, // a further device is now current
    Finished, // no further device: the bus is empty or every device has been reported
    Failed, // the link failed, or a pass lost every device on the way or gave a code that cannot be a
            // device's (zero or bad CRC)
};

// Finds the next device, starting over when the state has not started. On Failed the state keeps what
// the step had learnt before the failure (never a device not yet reported), so it can be tried again.
SearchResult searchNext(Link &link, SearchState &state);

} // namespace onewire
