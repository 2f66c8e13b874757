// The all-at-once reading cycle as the program runs it, for the benchmarks: one skip-ROM conversion for
// the whole bus, its wait, then per sensor a reset and one block with match ROM and the scratchpad read.
#pragma once

#include "bus/modKX4136.h"

namespace bench {

// True when every listed sensor gave a reading.
inline bool convertAllAndRead(bool busPowered, const modKX4136::Discovery &found)
{
    using namespace modKX4136;
    bool read = ConvertAll(busPowered, ConvertAllWaitMs(found));
    for (int16_t index = 0; index <= LastSensor; ++index)
        read = ReadConverted(index) && read;
    return read;
}

} // namespace bench
