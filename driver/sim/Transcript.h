// What the master did on a simulated bus, in order, for tests to assert on.
#pragma once

#include "driver/onewire/Link.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace sim {

struct TranscriptEntry
{
    enum class Kind {
        Reset, // `reset` holds the result
        Byte, // eight slots: `sent` and `received`
        Bit, // one slot on its own: `sent` and `received` are 0 or 1
        PullUpArmed, // the link will raise the strong pull-up after the next byte
        PullUpOn,
        PullUpOff,
    };

    Kind kind;
    std::chrono::microseconds at;
    uint8_t sent = 0;
    uint8_t received = 0;
    onewire::ResetResult reset = onewire::ResetResult::NoPresence;

    // "R" reset with presence, "R-" without, "R!" shorted; "55" a byte sent; "b1" a bit;
    // "P^" pull-up armed, "P+" on, "P-" off.
    std::string text() const;
};

// Keeps the most recent entries only, so a simulated bus can run for days.
class Transcript
{
public:
    explicit Transcript(std::size_t capacity = 100000);

    void record(const TranscriptEntry &entry);
    void clear() { m_entries.clear(); }
    void setCapacity(std::size_t capacity);

    const std::deque<TranscriptEntry> &entries() const { return m_entries; }
    std::size_t size() const { return m_entries.size(); }
    // The entries' texts joined by spaces, from entry `from` on (bits left out unless asked for).
    std::string text(std::size_t from = 0, bool withBits = false) const;
    // The bytes the master sent, in order, from entry `from` on.
    std::vector<uint8_t> bytesSent(std::size_t from = 0) const;

private:
    std::size_t m_capacity;
    std::deque<TranscriptEntry> m_entries;
};

} // namespace sim
