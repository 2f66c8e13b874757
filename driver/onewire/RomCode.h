// A device's 64-bit ROM code: family byte first, six serial bytes, then the code's own CRC-8.
#pragma once

#include <array>
#include <cstdint>

namespace onewire {

using RomCode = std::array<uint8_t, 8>;
using RomBits = std::array<bool, 64>; // bit n is bit (n % 8) of byte n / 8: the order the bus carries them

inline constexpr uint8_t MatchRom = 0x55;
inline constexpr uint8_t SearchRom = 0xF0;

RomBits toBits(const RomCode &rom);
RomCode fromBits(const RomBits &bits);

// A code a search may report: not all zero and its CRC holds.
bool isValidRomCode(const RomCode &rom);

} // namespace onewire
