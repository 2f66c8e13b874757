// A simulated 1-Wire device at the level of time slots: the ROM-command layer every device shares.
#pragma once

#include "driver/onewire/RomCode.h"
#include "driver/sim/FaultSwitch.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

namespace sim {

using std::chrono::microseconds;

// The faults a test can switch on one device.
struct DeviceFaults
{
    FaultSwitch noPresence; // per reset: misses it, and so the whole transaction that follows
    FaultSwitch corruptCrc; // per scratchpad read: the CRC byte is wrong
    FaultSwitch stuckFF; // per scratchpad read: the device never pulls the line low, every byte reads 0xFF
    bool romContainsFF = false; // the device answers to its code with one serial byte 0xFF (see withFFByte)
};

// What happened on the bus, told to every device before it is asked anything else.
enum class BusEvent { Reset, Slot, PullUpOn, PullUpOff };

// Fed one slot at a time by the bus: drive() asks what the device leaves on the line, sample() tells it
// the level everybody saw. A plain Device only answers ROM commands; subclasses add function commands.
class Device
{
public:
    explicit Device(onewire::RomCode rom);
    virtual ~Device();

    onewire::RomCode romCode() const; // the code it answers to now, faults included
    onewire::RomCode builtInRomCode() const { return m_rom; }

    bool attached() const { return m_attached; }
    // A detached device takes no part in anything, as if unplugged; it keeps its memory.
    void setAttached(bool on);

    DeviceFaults &faults() { return m_faults; }

    // Bus side. reset() gives true for a presence pulse; drive() false when the device holds the line low.
    bool reset(microseconds now);
    bool drive(microseconds now);
    void sample(bool level, microseconds now);
    void pullUpChanged(bool on, microseconds now);

    // Power removed at `now` and restored: what was finished by then is kept, the rest is lost.
    virtual void powerCycle(microseconds now);

protected:
    virtual void busEvent(BusEvent event, microseconds now);
    virtual void functionCommand(uint8_t command, microseconds now);
    virtual void dataByte(uint8_t byte, microseconds now);
    // The level of a read slot after a function command, when nothing is queued to send (busy flags).
    virtual bool statusBit() const { return true; }
    // Whether the device takes part in an alarm search.
    virtual bool alarmed() const { return false; }

    void send(std::span<const uint8_t> bytes);
    void receive(int byteCount);

private:
    enum class Phase { Idle, RomCommand, MatchRom, SearchRom, FunctionCommand, Function };

    void romCommand(uint8_t command);
    bool shiftIn(bool level); // true when a whole byte has come in (in m_rxByte)
    bool sending() const { return m_txBit < m_tx.size() * 8; }

    onewire::RomCode m_rom;
    bool m_attached = true;
    DeviceFaults m_faults;

    Phase m_phase = Phase::Idle;
    onewire::RomBits m_activeRom {};
    int m_romBit = 0;
    int m_searchStep = 0; // 0: id bit, 1: complement, 2: the master's choice
    uint8_t m_rxByte = 0;
    int m_rxBits = 0;
    int m_rxBytesLeft = 0;
    std::vector<uint8_t> m_tx;
    std::size_t m_txBit = 0;
};

} // namespace sim
