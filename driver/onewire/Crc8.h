// The 1-Wire CRC-8 (x^8 + x^5 + x^4 + 1, least significant bit first), computed bit by bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace onewire {

// Folds one byte into a running CRC.
uint8_t crc8Step(uint8_t crc, uint8_t byte);
// CRC of a whole block from 0; a block that ends with its own CRC gives 0.
uint8_t crc8(std::span<const uint8_t> bytes);

} // namespace onewire
