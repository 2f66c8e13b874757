// Bit-by-bit CRC-8: slow but obviously right, which is what the devices and the tests need.
#include "driver/onewire/Crc8.h"

namespace onewire {

uint8_t crc8Step(uint8_t crc, uint8_t byte)
{
    for (int bit = 0; bit < 8; ++bit) {
        const bool mix = ((crc ^ byte) & 1) != 0;
        crc = static_cast<uint8_t>(crc >> 1);
        if (mix)
            crc ^= 0x8C;
        byte = static_cast<uint8_t>(byte >> 1);
    }
    return crc;
}

uint8_t crc8(std::span<const uint8_t> bytes)
{
    uint8_t crc = 0;
    for (const uint8_t byte : bytes)
        crc = crc8Step(crc, byte);
    return crc;
}

} // namespace onewire
