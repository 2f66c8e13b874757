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
    for (const FamilyTraits &traits : Families) {
        if (traits.family == family) {
            return &traits;
        }
    }
    return nullptr;
}

Thermometer::Thermometer(onewire::RomCode rom, TemperatureCurve curve)
    : Device(rom)
    , traits_(familyTraits(rom[0]))
    , curve_(curve)
{
    if (!traits_) {
        throw std::invalid_argument("not a thermometer family");
    }
    powerOn();
}

void Thermometer::setResolution(int bits)
{
    if (!traits_->hasConfiguration || bits < 9 || bits > 12) {
        return;
    }
    eeprom_.configuration = configurationFor(bits);
    registers_.configuration = eeprom_.configuration;
}

int Thermometer::resolution() const
{
    return traits_->hasConfiguration ? 9 + ((registers_.configuration & ResolutionMask) >> 5) : 9;
}

std::chrono::microseconds Thermometer::conversionTime() const
{
    return traits_->hasConfiguration ? NineBitConversion * (1 << (resolution() - 9)) : KX4130Conversion;
}

Scratchpad Thermometer::scratchpad() const
{
    const auto raw = static_cast<uint16_t>(raw_);
    Scratchpad bytes {
        static_cast<uint8_t>(raw & 0xFF), static_cast<uint8_t>(raw >> 8), registers_.th, registers_.tl};
    bytes[4] = traits_->hasConfiguration ? registers_.configuration : 0xFF;
    bytes[5] = 0xFF;
    bytes[6] = countRemain_;
    bytes[7] = 0x10;
    bytes[8] = onewire::crc8(std::span<const uint8_t>(bytes.data(), 8));
    return bytes;
}

void Thermometer::powerCycle(microseconds now)
{
    if (pending_ && !(parasite_ && pending_->awaitingPower)) {
        finishDue(now);
    }
    powerOn();
}

void Thermometer::powerOn()
{
    Device::powerCycle(microseconds {0});
    pending_.reset();
    registers_ = eeprom_;
    if (!traits_->hasConfiguration) {
        registers_.configuration = 0xFF;
    }
    raw_ = traits_->powerOnRaw;
    countRemain_ = PowerOnByte6;
    lastCommand_ = 0;
}

void Thermometer::busEvent(BusEvent event, microseconds now)
{
    if (pending_ && parasite_ && pending_->awaitingPower) {
        // Without the pull-up straight after the command the part has no power from the start.
        if (event == BusEvent::PullUpOn) {
            pending_->awaitingPower = false;
        } else {
            brownOut();
        }
        return;
    }
    finishDue(now);
    if (pending_ && parasite_) {
        brownOut(); // the pull-up ended, or the bus was used, before the operation was done
    }
}

void Thermometer::finishDue(microseconds now)
{
    if (pending_ && now >= pending_->end) {
        complete();
    }
}

void Thermometer::complete()
{
    if (pending_->command == CommandConvert) {
        const double celsius = curve_.at(pending_->start);
        raw_ = convert(celsius);
        if (traits_->hasConfiguration) {
            // What the KX4136 leaves in byte 6, so a converted 85 degrees is told from the power-on 85.
            countRemain_ = static_cast<uint8_t>(0x10 - (raw_ & 0x0F));
        } else {
            // KX4130 extended resolution: T = whole degrees - 0.25 + (16 - count remain) / 16.
            const double whole = std::floor(raw_ / 2.0);
            countRemain_
                = static_cast<uint8_t>(std::clamp(std::lround(16 - (celsius - whole + 0.25) * 16), 0L, 16L));
        }
        if (conversionObserver_) {
            conversionObserver_(*this);
        }
    } else {
        eeprom_ = pending_->copied;
    }
    pending_.reset();
}

void Thermometer::brownOut()
{
    if (pending_->command == CommandConvert) {
        raw_ = traits_->powerOnRaw;
        countRemain_ = PowerOnByte6;
    }
    pending_.reset();
}

int16_t Thermometer::convert(double celsius) const
{
    const long step = traits_->hasConfiguration ? 1L << (12 - resolution()) : 1L;
    // Rounded once, straight to the resolution: rounding to 1/16 first would drift by up to a step's half.
    const long rounded = std::lround(celsius * traits_->unitsPerDegree / static_cast<double>(step)) * step;
    return static_cast<int16_t>(rounded | (undefinedBits_ & (step - 1)));
}

void Thermometer::functionCommand(uint8_t command, microseconds now)
{
    lastCommand_ = command;
    switch (command) {
    case CommandConvert:
    case CommandCopyScratchpad:
        if (!pending_) { // a part that is busy ignores a second start
            const microseconds duration = command == CommandConvert ? conversionTime() : EepromWrite;
            pending_ = Pending {command, now, now + duration, parasite_, registers_};
        }
        break;
    case CommandReadScratchpad: {
        Scratchpad bytes = scratchpad();
        if (faults().stuckFF.fire()) {
            bytes.fill(0xFF);
        } else if (faults().corruptCrc.fire()) {
            bytes[8] = static_cast<uint8_t>(~bytes[8]);
        }
        send(bytes);
        break;
    }
    case CommandWriteScratchpad:
        writtenIndex_ = 0;
        receive(traits_->writtenBytes);
        break;
    case CommandRecall:
        registers_.th = eeprom_.th;
        registers_.tl = eeprom_.tl;
        if (traits_->hasConfiguration) {
            registers_.configuration = eeprom_.configuration;
        }
        break;
    default:
        break;
    }
}

void Thermometer::dataByte(uint8_t byte, microseconds /*now*/)
{
    switch (writtenIndex_++) {
    case 0:
        registers_.th = byte;
        break;
    case 1:
        registers_.tl = byte;
        break;
    default:
        registers_.configuration = static_cast<uint8_t>((byte & ResolutionMask) | ConfigurationOnes);
        break;
    }
}

bool Thermometer::statusBit() const
{
    if (lastCommand_ == CommandReadPowerSupply) {
        return !parasite_;
    }
    return !pending_; // read slots show 0 while a conversion or copy runs
}

bool Thermometer::alarmed() const
{
    const double celsius = static_cast<double>(raw_) / traits_->unitsPerDegree;
    return celsius >= static_cast<int8_t>(registers_.th) || celsius <= static_cast<int8_t>(registers_.tl);
}

} // namespace sim
