// Conversions between the byte and the bit view of a ROM code, and its validity check.
#include "driver/onewire/RomCode.h"

#include "driver/onewire/Crc8.h"

#include <algorithm>

namespace onewire {

RomBits toBits(const RomCode &rom)
{
    RomBits bits {};
    for (std::size_t n = 0; n < bits.size(); ++n)
        bits[n] = ((rom[n / 8] >> (n % 8)) & 1) != 0;
    return bits;
}

RomCode fromBits(const RomBits &bits)
{
    RomCode rom {};
    for (std::size_t n = 0; n < bits.size(); ++n)
        if (bits[n])
            rom[n / 8] = static_cast<uint8_t>(rom[n / 8] | (1u << (n % 8)));
    return rom;
}

bool isValidRomCode(const RomCode &rom)
{
    const bool allZero = std::all_of(rom.begin(), rom.end(), [](uint8_t b) { return b == 0; });
    return !allZero && crc8(rom) == 0;
}

} // namespace onewire
