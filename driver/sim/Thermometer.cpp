// The thermometers' function commands: convert, read, write, copy, recall, power supply.
#include "driver/sim/Thermometer.h"

#include "driver/onewire/Crc8.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace sim {
namespace {

// The sensors' own copy of the command bytes, kept apart from the bus layer's on purpose: a wrong byte
// there finds no thermometer that answers it.
constexpr uint8_t CommandConvert = 0x44;
constexpr uint8_t CommandReadScratchpad = 0xBE;
constexpr uint8_t CommandWriteScratchpad = 0x4E;
constexpr uint8_t CommandCopyScratchpad = 0x48;
constexpr uint8_t CommandRecall = 0xB8;
constexpr uint8_t CommandReadPowerSupply = 0xB4;

constexpr std::array<FamilyTraits, 2> Families {{
    {FamilyKX4136, 16, 3, true, 0x0550},
    {FamilyKX4130, 2, 2, false, 0x00AA},
}};

constexpr microseconds NineBitConversion {93750};
constexpr microseconds KX4130Conversion {750000};
constexpr microseconds EepromWrite {10000};
// Byte 6 until the first conversion: the KX4130's count remain, reserved in a KX4136.
constexpr uint8_t PowerOnByte6 = 0x0C;

// Bits 6..5 of the configuration select the resolution; the other bits read as 0 (bit 7) and 1 (bits 4..0).
constexpr uint8_t ResolutionMask = 0x60;
constexpr uint8_t ConfigurationOnes = 0x1F;

uint8_t configurationFor(int bits)
{
    return static_cast<uint8_t>(((bits - 9) << 5) | ConfigurationOnes);
}

} // namespace

const FamilyTraits *familyTraits(uint8_t family)
{
    for (const FamilyTraits &traits : Families)
        if (traits.family == family)
            return &traits;
    return nullptr;
}

Thermometer::Thermometer(onewire::RomCode rom, TemperatureCurve curve)
    : Device(rom)
    , m_traits(familyTraits(rom[0]))
    , m_curve(curve)
{
    if (!m_traits)
        throw std::invalid_argument("not a thermometer family");
    powerOn();
}

void Thermometer::setResolution(int bits)
{
    if (!m_traits->hasConfiguration || bits < 9 || bits > 12)
        return;
    m_eeprom.configuration = configurationFor(bits);
    m_registers.configuration = m_eeprom.configuration;
}

void Thermometer::setAlarmBytes(uint8_t th, uint8_t tl)
{
    m_eeprom.th = th;
    m_eeprom.tl = tl;
    m_registers.th = th;
    m_registers.tl = tl;
}

int Thermometer::resolution() const
{
    return m_traits->hasConfiguration ? 9 + ((m_registers.configuration & ResolutionMask) >> 5) : 9;
}

std::chrono::microseconds Thermometer::conversionTime() const
{
    return m_traits->hasConfiguration ? NineBitConversion * (1 << (resolution() - 9)) : KX4130Conversion;
}

Scratchpad Thermometer::scratchpad() const
{
    const auto raw = static_cast<uint16_t>(m_raw);
    Scratchpad bytes {
        static_cast<uint8_t>(raw & 0xFF), static_cast<uint8_t>(raw >> 8), m_registers.th, m_registers.tl};
    bytes[4] = m_traits->hasConfiguration ? m_registers.configuration : 0xFF;
    bytes[5] = 0xFF;
    bytes[6] = m_countRemain;
    bytes[7] = 0x10;
    bytes[8] = onewire::crc8(std::span<const uint8_t>(bytes.data(), 8));
    return bytes;
}

void Thermometer::powerCycle(microseconds now)
{
    if (m_pending && !(m_parasite && m_pending->awaitingPower))
        finishDue(now);
    powerOn();
}

void Thermometer::powerOn()
{
    Device::powerCycle(microseconds {0});
    m_pending.reset();
    m_registers = m_eeprom;
    if (!m_traits->hasConfiguration)
        m_registers.configuration = 0xFF;
    m_raw = m_traits->powerOnRaw;
    m_countRemain = PowerOnByte6;
    m_lastCommand = 0;
}

void Thermometer::busEvent(BusEvent event, microseconds now)
{
    if (m_pending && m_parasite && m_pending->awaitingPower) {
        // Without the pull-up straight after the command the part has no power from the start.
        if (event == BusEvent::PullUpOn)
            m_pending->awaitingPower = false;
        else
            brownOut();
        return;
    }
    finishDue(now);
    if (m_pending && m_parasite)
        brownOut(); // the pull-up ended, or the bus was used, before the operation was done
}

void Thermometer::finishDue(microseconds now)
{
    if (m_pending && now >= m_pending->end)
        complete();
}

void Thermometer::complete()
{
    if (m_pending->command == CommandConvert) {
        const double celsius = m_curve.at(m_pending->start);
        m_raw = convert(celsius);
        if (m_traits->hasConfiguration) {
            // What the KX4136 leaves in byte 6, so a converted 85 degrees is told from the power-on 85.
            m_countRemain = static_cast<uint8_t>(0x10 - (m_raw & 0x0F));
        } else {
            // KX4130 extended resolution: T = whole degrees - 0.25 + (16 - count remain) / 16.
            const double whole = std::floor(m_raw / 2.0);
            m_countRemain
                = static_cast<uint8_t>(std::clamp(std::lround(16 - (celsius - whole + 0.25) * 16), 0L, 16L));
        }
        if (m_conversionObserver)
            m_conversionObserver(*this);
    } else {
        m_eeprom = m_pending->copied;
    }
    m_pending.reset();
}

void Thermometer::brownOut()
{
    if (m_pending->command == CommandConvert) {
        m_raw = m_traits->powerOnRaw;
        m_countRemain = PowerOnByte6;
    }
    m_pending.reset();
}

int16_t Thermometer::convert(double celsius) const
{
    const long step = m_traits->hasConfiguration ? 1L << (12 - resolution()) : 1L;
    // Rounded once, straight to the resolution: rounding to 1/16 first would drift by up to a step's half.
    const long rounded = std::lround(celsius * m_traits->unitsPerDegree / static_cast<double>(step)) * step;
    return static_cast<int16_t>(rounded | (m_undefinedBits & (step - 1)));
}

void Thermometer::functionCommand(uint8_t command, microseconds now)
{
    m_lastCommand = command;
    switch (command) {
    case CommandConvert:
    case CommandCopyScratchpad:
        if (!m_pending) { // a part that is busy ignores a second start
            const microseconds duration = command == CommandConvert ? conversionTime() : EepromWrite;
            m_pending = Pending {command, now, now + duration, m_parasite, m_registers};
        }
        break;
    case CommandReadScratchpad: {
        Scratchpad bytes = scratchpad();
        if (faults().stuckFF.fire())
            bytes.fill(0xFF);
        else if (faults().corruptCrc.fire())
            bytes[8] = static_cast<uint8_t>(~bytes[8]);
        send(bytes);
        break;
    }
    case CommandWriteScratchpad:
        m_writtenIndex = 0;
        receive(m_traits->writtenBytes);
        break;
    case CommandRecall:
        m_registers.th = m_eeprom.th;
        m_registers.tl = m_eeprom.tl;
        if (m_traits->hasConfiguration)
            m_registers.configuration = m_eeprom.configuration;
        break;
    default:
        break;
    }
}

void Thermometer::dataByte(uint8_t byte, microseconds /*now*/)
{
    switch (m_writtenIndex++) {
    case 0:
        m_registers.th = byte;
        break;
    case 1:
        m_registers.tl = byte;
        break;
    default:
        m_registers.configuration = static_cast<uint8_t>((byte & ResolutionMask) | ConfigurationOnes);
        break;
    }
}

bool Thermometer::statusBit() const
{
    if (m_lastCommand == CommandReadPowerSupply)
        return !m_parasite;
    return !m_pending; // read slots show 0 while a conversion or copy runs
}

bool Thermometer::alarmed() const
{
    const double celsius = static_cast<double>(m_raw) / m_traits->unitsPerDegree;
    return celsius >= static_cast<int8_t>(m_registers.th) || celsius <= static_cast<int8_t>(m_registers.tl);
}

} // namespace sim
