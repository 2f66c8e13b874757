// The 1-Wire CRC-8 lookup table.
#pragma once

#include <cstdint>

namespace modTable {

// Entry of the CRC-8 table (x^8 + x^5 + x^4 + 1, LSB first) for 0-255; 0 for any other index.
uint8_t CrcTable(int16_t index);

} // namespace modTable
