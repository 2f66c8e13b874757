// The all-at-once reading cycle as driver calls, for the benchmarks: one skip-ROM conversion for the
// whole bus, one wait, then per sensor a reset and one block with match ROM and the scratchpad read.
#pragma once

#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "driver/onewire/Crc8.h"

#include <array>
#include <functional>

namespace bench {

// True when every listed sensor gave a scratchpad with a good CRC and a converted reading.
inline bool convertAllAndRead(const std::function<void()> &conversionWait)
{
    using namespace modKX4136;
    const int32_t session = SessionHandle;
    if (XWBUSLIB::XwTouchReset(session) == 0 || XWBUSLIB::XwTouchByte(session, 0xCC) != 0xCC
        || XWBUSLIB::XwOneWireLevel(session, xw::LevelSet, xw::LevelStrongPullUp, xw::PrimeAfterNextByte) != 1
        || XWBUSLIB::XwTouchByte(session, 0x44) != 0x44)
        return false;
    conversionWait();
    if (XWBUSLIB::XwOneWireLevel(session, xw::LevelSet, xw::LevelNormal, xw::PrimeNow) != 1)
        return false;
    for (int16_t index = 0; index <= LastSensor; ++index) {
        std::array<uint8_t, 19> out {0x55};
        for (int i = 0; i < 8; ++i)
            out[1 + i] = uint8_t(RomTable[index][i]);
        out[9] = 0xBE;
        std::fill(out.begin() + 10, out.end(), 0xFF);
        std::array<uint8_t, 19> in {};
        if (XWBUSLIB::XwTouchReset(session) == 0
            || XWBUSLIB::XwBlock(session, out.data(), in.data(), int16_t(out.size())) != 1)
            return false;
        const std::span<const uint8_t> scratchpad(in.data() + 10, 9);
        const bool powerOn = in[10] == 0x50 && in[11] == 0x05 && in[16] == 0x0C; // the KX4136's 85
        if (onewire::crc8(scratchpad) != 0 || powerOn)
            return false;
    }
    return true;
}

} // namespace bench
