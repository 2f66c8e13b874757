// The pieces every sensor exchange shares: cut waits, the strong pull-up, addressing, the checks, decoding.
#include "bus/modKX4136Exchange.h"

#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "bus/modKX4136Families.h"
#include "wait/modMsgWait.h"

#include <utility>

using namespace XWBUSLIB;

namespace modKX4136 {

namespace {

std::function<bool()> &cutCondition()
{
    static std::function<bool()> condition;
    return condition;
}

} // namespace

CutWaitsWhen::CutWaitsWhen(std::function<bool()> when)
    : m_previous(std::exchange(cutCondition(), std::move(when)))
{ }

CutWaitsWhen::~CutWaitsWhen()
{
    cutCondition() = std::move(m_previous);
}

namespace exchange {

bool waitFor(int32_t ms, int32_t notBeforeMs)
{
    const int32_t noHandle = 0;
    const int32_t noHandles = 0;
    return modMsgWait::MsgWait(ms, &noHandle, noHandles, cutCondition(), notBeforeMs) != modMsgWait::WaitCut;
}

StrongPullUp::StrongPullUp()
{
    XwOneWireLevel(SessionHandle, xw::LevelSet, xw::LevelStrongPullUp, xw::PrimeAfterNextByte);
}

StrongPullUp::~StrongPullUp()
{
    XwOneWireLevel(SessionHandle, xw::LevelSet, xw::LevelNormal, xw::PrimeNow);
}

bool poweredCommand(int16_t command, int32_t waitMs, int32_t notBeforeMs)
{
    const StrongPullUp pullUp;
    XwTouchByte(SessionHandle, command);
    return waitFor(waitMs, notBeforeMs);
}

bool selectSensor(int16_t index)
{
    XwTouchByte(SessionHandle, Command::MatchRom);
    return SendROM(index);
}

bool addressSensor(int16_t index)
{
    return ResetBus() && selectSensor(index);
}

bool romEchoFailed(int16_t echo)
{
    return echo == 255 || echo < 0;
}

// A failed read slot folds the CRC back to 0, so a failing adapter would pass the CRC test with
// made-up bytes: any failed byte fails the read on its own.
bool scratchpadValid(const ScratchpadBytesRead &bytes)
{
    CrcAcc = 0;
    bool adapterFailed = false;
    for (const int16_t byte : bytes) {
        adapterFailed = adapterFailed || byte < 0;
        Crc8Step(byte);
    }
    return CrcAcc == 0 && !adapterFailed;
}

// A sensor that has not finished a conversion since it was powered up (after a power loss or a replugged
// adapter, read before its conversion ends) still holds 85 degrees with byte 6 at 0x0C: nothing it
// measured. A KX4136 that measured 85 has 0x10 there. A KX4130 (count per degree 0x10 in byte 7) that
// measured within 1/16 degree of 85 has count remain 0x0C too: nothing tells that from the power-on
// value, so it fails with it.
bool takeReading(int16_t index, const ScratchpadBytesRead &bytes)
{
    const families::Family *family = families::familyOfRow(index);
    if (family == nullptr)
        return false;
    const int32_t high = bytes[1];
    const int32_t low = bytes[0];
    int32_t raw = high * 256 + low;
    if (high >= 128)
        raw -= 65536;
    const bool powerOnCount = !family->powerOnCountPerDegree || bytes[7] == *family->powerOnCountPerDegree;
    if (raw == family->powerOnRaw && bytes[6] == 0x0C && powerOnCount)
        return false;
    Temperature = static_cast<float>(static_cast<double>(raw) / family->rawUnitsPerDegree);
    return true;
}

} // namespace exchange
} // namespace modKX4136
