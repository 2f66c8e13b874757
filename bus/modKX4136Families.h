// The thermometer family table: how a reading decodes, how a resolution is set, how long a conversion takes.
#pragma once

#include "bus/modKX4136.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace modKX4136::families {

// A resolution as the sensor's configuration register holds it: the code ReadResolution gives and
// WriteScratchpad takes, and the register's value.
struct Setting
{
    int32_t code;
    int16_t configuration;
};

// How long a family converts: at one setting, or at any resolution for a family without one.
struct Conversion
{
    std::optional<Setting> setting;
    int32_t micros;
    // How the lag line names the sensors that need it.
    const char *kind;
};

struct Family
{
    // The ROM code's first byte.
    int16_t code;
    double rawUnitsPerDegree;
    // The raw reading a sensor holds from power-up until its first conversion (85 degrees).
    int32_t powerOnRaw;
    // Byte 7 of that power-on scratchpad, where the family's count per degree is part of the tell.
    std::optional<int16_t> powerOnCountPerDegree;
    // Fastest first; the rows past the family's last are empty.
    std::array<Conversion, 4> rows;

    std::span<const Conversion> conversions() const;
};

// The family with this code; none for an unknown one.
const Family *familyWithCode(int16_t code);
// The family of the sensor in a RomTable row; none for an unknown code or a row that does not exist.
const Family *familyOfRow(int16_t index);

// The configuration register value for a resolution code; an unknown code sets the fastest.
int16_t configurationFor(int32_t code);
// The resolution code of a configuration register value; 0 for none the table knows.
int32_t codeFor(int16_t configuration);

// The conversion a listed sensor waits for: none for an unknown family, or for a resolution the
// sensor's family has no row for.
const Conversion *conversionOf(const ListedSensor &sensor);
// Its time in microseconds: a sensor of a known family whose resolution is unknown may take the
// family's longest; one of an unknown family none.
int32_t conversionMicros(const ListedSensor &sensor);

} // namespace modKX4136::families
