// Deterministic ROM codes for simulated devices, always with a valid CRC.
#pragma once

#include "driver/onewire/RomCode.h"

#include <cstdint>

namespace sim {

// Family byte, the low 48 bits of `serial` least significant byte first, then the CRC.
onewire::RomCode makeRomCode(uint8_t family, uint64_t serial);

// A code drawn from `seed`: the same seed always gives the same code, and no byte of it is 0xFF (which
// the system cannot send) or 0xE3 (the adapter's escape byte), so such bytes appear only on purpose.
onewire::RomCode generatedRomCode(uint8_t family, uint64_t seed);

// The same device with one serial byte forced to 0xFF and the CRC made valid again.
onewire::RomCode withFFByte(const onewire::RomCode &rom);

// A well-mixed 64-bit value from a seed: the one source of "randomness" in the simulation.
uint64_t scramble(uint64_t seed);

} // namespace sim
