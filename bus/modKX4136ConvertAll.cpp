// The all-at-once cycle's exchanges: one skip-ROM conversion, the power supply, a block read per sensor.
#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "bus/modKX4136Exchange.h"
#include "wait/modMsgWait.h"

#include <algorithm>

using namespace XWBUSLIB;

namespace modKX4136 {

namespace {

using namespace exchange;

// Often enough to end within a few ms of the last conversion, seldom enough to leave the bus quiet.
constexpr int32_t DonePollMs = 10;
// The block: match ROM, the eight ROM bytes, read scratchpad, nine read slots.
constexpr int RomAt = 1;
constexpr int ScratchpadAt = RomAt + RomCodeBytes + 1;
constexpr int BlockBytes = ScratchpadAt + exchange::ScratchpadBytes;

// After a read power supply: the first read slot is 0 while a sensor that listens is bus-powered.
bool readSlotSaysBusPowered()
{
    return (XwTouchByte(SessionHandle, Command::ReadSlot) & 1) == 0;
}

// Read slots answer 0 while a sensor converts: waits until all read 1 or waitMs has passed.
bool waitUntilConverted(int32_t waitMs)
{
    const int32_t start = modMsgWait::GetTickCount();
    for (;;) {
        const int32_t left = waitMs - (modMsgWait::GetTickCount() - start);
        if (left <= 0)
            return true;
        if (!waitFor(std::min(left, DonePollMs), 0))
            return false;
        if (XwTouchByte(SessionHandle, Command::ReadSlot) == 0xFF)
            return true;
    }
}

} // namespace

bool AnyBusPowered()
{
    if (!ResetBus())
        return true;
    XwTouchByte(SessionHandle, Command::SkipRom);
    XwTouchByte(SessionHandle, Command::ReadPowerSupply);
    return readSlotSaysBusPowered();
}

int16_t CountBusPowered()
{
    int16_t count = 0;
    for (int16_t i = 0; i <= LastSensor; ++i) {
        if (!addressSensor(i))
            continue;
        XwTouchByte(SessionHandle, Command::ReadPowerSupply);
        if (readSlotSaysBusPowered())
            ++count;
    }
    return count;
}

bool ConvertAll(bool busPowered, int32_t waitMs)
{
    if (!ResetBus())
        return false;
    XwTouchByte(SessionHandle, Command::SkipRom);
    if (busPowered)
        return poweredCommand(Command::Convert, waitMs);
    {
        const StrongPullUp pullUp;
        XwTouchByte(SessionHandle, Command::Convert);
    }
    return waitUntilConverted(waitMs);
}

bool ReadConverted(int16_t index)
{
    if (index < 0 || index >= RomTableRows || !ResetBus())
        return false;
    uint8_t out[BlockBytes];
    std::fill(std::begin(out), std::end(out), uint8_t {Command::ReadSlot});
    out[0] = Command::MatchRom;
    for (int i = 0; i < RomCodeBytes; ++i)
        out[RomAt + i] = static_cast<uint8_t>(RomTable[index][i]);
    out[ScratchpadAt - 1] = Command::ReadScratchpad;
    uint8_t in[BlockBytes] {};
    if (XwBlock(SessionHandle, out, in, BlockBytes) != 1)
        return false;
    if (std::any_of(in + RomAt, in + ScratchpadAt - 1, [](uint8_t echo) { return romEchoFailed(echo); }))
        return false;
    ScratchpadBytesRead bytes {};
    std::copy(in + ScratchpadAt, in + BlockBytes, bytes.begin());
    return scratchpadValid(bytes) && takeReading(index, bytes);
}

} // namespace modKX4136
