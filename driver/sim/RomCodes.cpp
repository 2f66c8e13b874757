// ROM code construction for the simulation.
#include "driver/sim/RomCodes.h"

#include "driver/onewire/Crc8.h"

#include <algorithm>
#include <span>

namespace sim {
namespace {

constexpr uint64_t SerialMask = (uint64_t {1} << 48) - 1;
constexpr std::size_t FFBytePosition = 3;

onewire::RomCode withCrc(onewire::RomCode rom)
{
    rom[7] = onewire::crc8(std::span<const uint8_t>(rom.data(), 7));
    return rom;
}

} // namespace

uint64_t scramble(uint64_t seed)
{
    uint64_t z = seed + 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

onewire::RomCode makeRomCode(uint8_t family, uint64_t serial)
{
    onewire::RomCode rom {};
    rom[0] = family;
    for (std::size_t i = 0; i < 6; ++i)
        rom[1 + i] = static_cast<uint8_t>(serial >> (8 * i));
    return withCrc(rom);
}

onewire::RomCode generatedRomCode(uint8_t family, uint64_t seed)
{
    for (uint64_t attempt = 0;; ++attempt) {
        const uint64_t serial = scramble(scramble(seed) + attempt) & SerialMask;
        const onewire::RomCode rom = makeRomCode(family, serial);
        const bool awkward
            = std::any_of(rom.begin(), rom.end(), [](uint8_t b) { return b == 0xFF || b == 0xE3; });
        if (serial != 0 && !awkward)
            return rom;
    }
}

onewire::RomCode withFFByte(const onewire::RomCode &rom)
{
    onewire::RomCode changed = rom;
    changed[FFBytePosition] = 0xFF;
    return withCrc(changed);
}

} // namespace sim
