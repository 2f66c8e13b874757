// The ROM-command state machine: match, search, alarm search, skip and read ROM.
#include "driver/sim/Device.h"

#include "driver/sim/RomCodes.h"

namespace sim {
namespace {

// The devices' own copy of the ROM commands, kept apart from the driver's and the bus layer's on purpose:
// a wrong byte there finds no device that answers it.
constexpr uint8_t CommandMatchRom = 0x55;
constexpr uint8_t CommandSearchRom = 0xF0;
constexpr uint8_t CommandAlarmSearch = 0xEC;
constexpr uint8_t CommandSkipRom = 0xCC;
constexpr uint8_t CommandReadRom = 0x33;

} // namespace

Device::Device(onewire::RomCode rom)
    : rom_(rom)
{ }

Device::~Device() = default;

onewire::RomCode Device::romCode() const
{
    return faults_.romContainsFF ? withFFByte(rom_) : rom_;
}

void Device::setAttached(bool on)
{
    attached_ = on;
    phase_ = Phase::Idle;
}

void Device::powerCycle(microseconds /*now*/)
{
    phase_ = Phase::Idle;
    tx_.clear();
    txBit_ = 0;
}

bool Device::reset(microseconds now)
{
    busEvent(BusEvent::Reset, now);
    phase_ = Phase::Idle;
    tx_.clear();
    txBit_ = 0;
    rxBits_ = 0;
    rxBytesLeft_ = 0;
    if (!attached_ || faults_.noPresence.fire()) {
        return false;
    }
    activeRom_ = onewire::toBits(romCode());
    phase_ = Phase::RomCommand;
    return true;
}

bool Device::drive(microseconds now)
{
    busEvent(BusEvent::Slot, now);
    if (phase_ == Phase::Idle) {
        return true;
    }
    if (sending()) {
        return ((tx_[txBit_ / 8] >> (txBit_ % 8)) & 1) != 0;
    }
    if (phase_ == Phase::SearchRom) {
        if (searchStep_ == 0) {
            return activeRom_[romBit_];
        }
        return searchStep_ == 1 ? !activeRom_[romBit_] : true;
    }
    if (phase_ == Phase::Function && rxBytesLeft_ == 0) {
        return statusBit();
    }
    return true;
}

void Device::sample(bool level, microseconds now)
{
    if (phase_ == Phase::Idle) {
        return;
    }
    if (sending()) {
        ++txBit_;
        return;
    }
    switch (phase_) {
    case Phase::RomCommand:
        if (shiftIn(level)) {
            romCommand(rxByte_);
        }
        break;
    case Phase::MatchRom:
        if (level != activeRom_[romBit_]) {
            phase_ = Phase::Idle;
        } else if (++romBit_ == 64) {
            phase_ = Phase::FunctionCommand;
        }
        break;
    case Phase::SearchRom:
        if (searchStep_ < 2) {
            ++searchStep_;
        } else if (level != activeRom_[romBit_]) {
            phase_ = Phase::Idle; // the master went the other way
        } else {
            searchStep_ = 0;
            if (++romBit_ == 64) {
                phase_ = Phase::FunctionCommand;
            }
        }
        break;
    case Phase::FunctionCommand:
        if (shiftIn(level)) {
            phase_ = Phase::Function;
            functionCommand(rxByte_, now);
        }
        break;
    case Phase::Function:
        if (rxBytesLeft_ > 0 && shiftIn(level)) {
            --rxBytesLeft_;
            dataByte(rxByte_, now);
        }
        break;
    case Phase::Idle:
        break;
    }
}

void Device::pullUpChanged(bool on, microseconds now)
{
    busEvent(on ? BusEvent::PullUpOn : BusEvent::PullUpOff, now);
}

void Device::romCommand(uint8_t command)
{
    romBit_ = 0;
    searchStep_ = 0;
    switch (command) {
    case CommandMatchRom:
        phase_ = Phase::MatchRom;
        break;
    case CommandSearchRom:
        phase_ = Phase::SearchRom;
        break;
    case CommandAlarmSearch:
        phase_ = alarmed() ? Phase::SearchRom : Phase::Idle;
        break;
    case CommandSkipRom:
        phase_ = Phase::FunctionCommand;
        break;
    case CommandReadRom: {
        const onewire::RomCode rom = romCode();
        phase_ = Phase::FunctionCommand;
        send(rom);
        break;
    }
    default:
        phase_ = Phase::Idle; // a command this device does not know: it waits for the next reset
        break;
    }
}

bool Device::shiftIn(bool level)
{
    rxByte_ = static_cast<uint8_t>((rxByte_ >> 1) | (level ? 0x80 : 0));
    if (++rxBits_ < 8) {
        return false;
    }
    rxBits_ = 0;
    return true;
}

void Device::send(std::span<const uint8_t> bytes)
{
    tx_.assign(bytes.begin(), bytes.end());
    txBit_ = 0;
}

void Device::receive(int byteCount)
{
    rxBytesLeft_ = byteCount;
    rxBits_ = 0;
}

void Device::busEvent(BusEvent /*event*/, microseconds /*now*/) { }

void Device::functionCommand(uint8_t /*command*/, microseconds /*now*/)
{
    // A device with no function commands only has its ROM code to offer.
}

void Device::dataByte(uint8_t /*byte*/, microseconds /*now*/) { }

} // namespace sim
