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
    : m_rom(rom)
{ }

Device::~Device() = default;

onewire::RomCode Device::romCode() const
{
    return m_faults.romContainsFF ? withFFByte(m_rom) : m_rom;
}

void Device::setAttached(bool on)
{
    m_attached = on;
    m_phase = Phase::Idle;
}

void Device::powerCycle(microseconds /*now*/)
{
    m_phase = Phase::Idle;
    m_tx.clear();
    m_txBit = 0;
}

bool Device::reset(microseconds now)
{
    busEvent(BusEvent::Reset, now);
    m_phase = Phase::Idle;
    m_tx.clear();
    m_txBit = 0;
    m_rxBits = 0;
    m_rxBytesLeft = 0;
    if (!m_attached || m_faults.noPresence.fire())
        return false;
    m_activeRom = onewire::toBits(romCode());
    m_phase = Phase::RomCommand;
    return true;
}

bool Device::drive(microseconds now)
{
    busEvent(BusEvent::Slot, now);
    if (m_phase == Phase::Idle)
        return true;
    if (sending())
        return ((m_tx[m_txBit / 8] >> (m_txBit % 8)) & 1) != 0;
    if (m_phase == Phase::SearchRom) {
        if (m_searchStep == 0)
            return m_activeRom[m_romBit];
        return m_searchStep == 1 ? !m_activeRom[m_romBit] : true;
    }
    if (m_phase == Phase::Function && m_rxBytesLeft == 0)
        return statusBit();
    return true;
}

void Device::sample(bool level, microseconds now)
{
    if (m_phase == Phase::Idle)
        return;
    if (sending()) {
        ++m_txBit;
        return;
    }
    switch (m_phase) {
    case Phase::RomCommand:
        if (shiftIn(level))
            romCommand(m_rxByte);
        break;
    case Phase::MatchRom:
        if (level != m_activeRom[m_romBit])
            m_phase = Phase::Idle;
        else if (++m_romBit == 64)
            m_phase = Phase::FunctionCommand;
        break;
    case Phase::SearchRom:
        if (m_searchStep < 2) {
            ++m_searchStep;
        } else if (level != m_activeRom[m_romBit]) {
            m_phase = Phase::Idle; // the master went the other way
        } else {
            m_searchStep = 0;
            if (++m_romBit == 64)
                m_phase = Phase::FunctionCommand;
        }
        break;
    case Phase::FunctionCommand:
        if (shiftIn(level)) {
            m_phase = Phase::Function;
            functionCommand(m_rxByte, now);
        }
        break;
    case Phase::Function:
        if (m_rxBytesLeft > 0 && shiftIn(level)) {
            --m_rxBytesLeft;
            dataByte(m_rxByte, now);
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
    m_romBit = 0;
    m_searchStep = 0;
    switch (command) {
    case CommandMatchRom:
        m_phase = Phase::MatchRom;
        break;
    case CommandSearchRom:
        m_phase = Phase::SearchRom;
        break;
    case CommandAlarmSearch:
        m_phase = alarmed() ? Phase::SearchRom : Phase::Idle;
        break;
    case CommandSkipRom:
        m_phase = Phase::FunctionCommand;
        break;
    case CommandReadRom: {
        const onewire::RomCode rom = romCode();
        m_phase = Phase::FunctionCommand;
        send(rom);
        break;
    }
    default:
        m_phase = Phase::Idle; // a command this device does not know: it waits for the next reset
        break;
    }
}

bool Device::shiftIn(bool level)
{
    m_rxByte = static_cast<uint8_t>((m_rxByte >> 1) | (level ? 0x80 : 0));
    if (++m_rxBits < 8)
        return false;
    m_rxBits = 0;
    return true;
}

void Device::send(std::span<const uint8_t> bytes)
{
    m_tx.assign(bytes.begin(), bytes.end());
    m_txBit = 0;
}

void Device::receive(int byteCount)
{
    m_rxBytesLeft = byteCount;
    m_rxBits = 0;
}

void Device::busEvent(BusEvent /*event*/, microseconds /*now*/) { }

void Device::functionCommand(uint8_t /*command*/, microseconds /*now*/)
{
    // A device with no function commands only has its ROM code to offer.
}

void Device::dataByte(uint8_t /*byte*/, microseconds /*now*/) { }

} // namespace sim
