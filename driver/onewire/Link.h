// The primitive bus-master operations a 1-Wire adapter offers; everything else is built on them.
#pragma once

#include "driver/XwDriver.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace onewire {

enum class ResetResult {
    Presence, // at least one device answered with a presence pulse
    NoPresence, // the bus is idle: no device
    Short, // the bus is held low
    IoError, // the adapter did not answer as it should
};

enum class BusLevel {
    Normal,
    StrongPullUpAfterNextByte, // armed: the pull-up takes over once the next byte has gone out
};

// One search step at one ROM bit: the two read slots and the direction written.
struct Triplet
{
    bool idBit = false;
    bool complementBit = false;
    bool taken = false;
};

// A whole 64-bit search pass after the search command has been sent.
struct SearchPass
{
    std::array<bool, 64> romBits {}; // the path taken: the selected device's ROM code, LSB of byte 0 first
    std::array<bool, 64> discrepancy {}; // both values were present at this bit
    bool nobodyAnswered = false; // some bit read 1,1: no device took part
};

// Contracts: every operation returns std::nullopt / false / IoError when the adapter fails; a failed
// operation leaves the link usable for the next call (it re-initialises the adapter itself if needed).
class Link
{
public:
    virtual ~Link() = default;

    // Brings the adapter up; false when there is none (or it does not answer like one).
    virtual bool open() = 0;
    // Releases the adapter; the bus is left at its normal level.
    virtual void close() = 0;
    // What the link opens, to name it to the user; empty when there is nothing to name.
    virtual QString device() const { return {}; }
    // Why the last open() failed; a link that cannot tell blames the adapter.
    virtual xw::StartFailure::Reason openFailure() const { return xw::StartFailure::Reason::NoAdapter; }

    virtual ResetResult reset() = 0;
    // One time slot: writes bit (1 = read slot) and gives the level sampled.
    virtual std::optional<bool> touchBit(bool bit) = 0;
    // Eight time slots, LSB first; gives the byte sampled.
    virtual std::optional<uint8_t> touchByte(uint8_t byte) = 0;
    virtual bool setLevel(BusLevel level) = 0;
    // Optional: the bytes of out one after another, what was sampled into in (of the same size); false
    // when one failed, in then unspecified. Built from touchByte for links that cannot do better.
    virtual bool touchBlock(std::span<const uint8_t> out, std::span<uint8_t> in);
    // For a caller that got an answer it cannot trust from a call that succeeded: the adapter is
    // brought back to a known state before the next call, as after a failed one.
    virtual void recover() { }

    // Optional: links without their own search step get it from touchBit.
    virtual std::optional<Triplet> searchTriplet(bool direction);
    // Optional: links without a search accelerator get it from searchTriplet, bit by bit.
    // directions[n] is the way to go when both values are present at bit n.
    virtual std::optional<SearchPass> searchPass(const std::array<bool, 64> &directions);
};

} // namespace onewire
