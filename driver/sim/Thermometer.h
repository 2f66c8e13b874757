// A simulated KX4136 (family 0x28) or KX4130 (family 0x10) thermometer, honest about timing and power.
#pragma once

#include "driver/sim/Device.h"
#include "driver/sim/TemperatureCurve.h"

#include <array>
#include <functional>
#include <optional>

namespace sim {

inline constexpr uint8_t FamilyKX4136 = 0x28;
inline constexpr uint8_t FamilyKX4130 = 0x10;

using Scratchpad = std::array<uint8_t, 9>;

// What tells the two families apart; everything else is shared.
struct FamilyTraits
{
    uint8_t family;
    int unitsPerDegree; // of the raw reading
    int writtenBytes; // data bytes the write-scratchpad command takes
    bool hasConfiguration; // a resolution register in scratchpad byte 4
    int16_t powerOnRaw; // the reading before the first conversion: 85 degrees
};

// Null for a family that is not a thermometer.
const FamilyTraits *familyTraits(uint8_t family);

class Thermometer : public Device
{
public:
    struct Eeprom
    {
        uint8_t th = 0x4B; // alarm high, 75 degrees
        uint8_t tl = 0x46; // alarm low, 70 degrees
        uint8_t configuration = 0x7F; // 12 bits
    };

    // Throws std::invalid_argument when the code's family is not a thermometer's.
    Thermometer(onewire::RomCode rom, TemperatureCurve curve);

    uint8_t family() const { return m_traits->family; }
    const TemperatureCurve &curve() const { return m_curve; }
    void setCurve(TemperatureCurve curve) { m_curve = curve; }

    // 9 to 12 bits, stored in the EEPROM and the scratchpad alike, as if set long ago (KX4136 only).
    void setResolution(int bits);
    // The alarm bytes TH and TL, stored in the EEPROM and the scratchpad alike, as if set long ago.
    void setAlarmBytes(uint8_t th, uint8_t tl);
    int resolution() const; // of the next conversion: from the scratchpad, always 9 for a KX4130
    std::chrono::microseconds conversionTime() const;

    // A parasite-powered part needs the strong pull-up from right after the convert or copy command
    // until the operation ends; without it a conversion browns out to the power-on reading, a copy is lost.
    void setParasitePowered(bool on) { m_parasite = on; }
    bool parasitePowered() const { return m_parasite; }

    // The undefined low bits of a reading below 12 bits read as the low bits of `pattern` (default 0, so
    // a 9-bit reading steps by exactly half a degree).
    void setUndefinedBits(uint8_t pattern) { m_undefinedBits = pattern; }

    Eeprom eeprom() const { return m_eeprom; }
    // The nine bytes a read would give now, CRC included, faults left out.
    Scratchpad scratchpad() const;

    void powerCycle(microseconds now) override;

    // Called at the end of every conversion that stores a reading, so a check can know what the part held.
    void setConversionObserver(std::function<void(const Thermometer &)> observer)
    {
        m_conversionObserver = std::move(observer);
    }

protected:
    void busEvent(BusEvent event, microseconds now) override;
    void functionCommand(uint8_t command, microseconds now) override;
    void dataByte(uint8_t byte, microseconds now) override;
    bool statusBit() const override;
    bool alarmed() const override;

private:
    struct Pending
    {
        uint8_t command; // convert or copy
        microseconds start;
        microseconds end;
        bool awaitingPower; // parasite: the pull-up must come before anything else happens on the bus
        Eeprom copied; // what a copy will store
    };

    void powerOn();
    void finishDue(microseconds now);
    void complete();
    void brownOut();
    int16_t convert(double celsius) const;

    const FamilyTraits *m_traits;
    TemperatureCurve m_curve;
    bool m_parasite = false;
    uint8_t m_undefinedBits = 0;
    Eeprom m_eeprom;
    Eeprom m_registers; // TH, TL and configuration as the scratchpad holds them
    int16_t m_raw;
    uint8_t m_countRemain = 0x0C; // scratchpad byte 6, also in a KX4136 (where it is reserved)
    std::optional<Pending> m_pending;
    uint8_t m_lastCommand = 0;
    int m_writtenIndex = 0;
    std::function<void(const Thermometer &)> m_conversionObserver;
};

} // namespace sim
