// The exchanges with one sensor: a reading, its resolution, the scratchpad write and the EEPROM copy.
#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "bus/modKX4136Exchange.h"
#include "bus/modKX4136Families.h"

#include <optional>

using namespace XWBUSLIB;

namespace modKX4136 {

namespace {

using namespace exchange;

constexpr int32_t EepromAndResolutionWaitMs = 1000;

// The driver selects its current device, then the bus is reset.
bool accessAndReset()
{
    return XwAccess(SessionHandle, StateBuffer.data()) == 1 && ResetBus();
}

bool readScratchpad(ScratchpadBytesRead &bytes)
{
    XwTouchByte(SessionHandle, Command::ReadScratchpad);
    for (int16_t &byte : bytes)
        byte = XwTouchByte(SessionHandle, Command::ReadSlot);
    return scratchpadValid(bytes);
}

// The exchange both reads share: access, match ROM, the conversion under the strong pull-up for waitMs,
// then address the sensor again and read its scratchpad. A sensor of no known family fails after the
// access, before it is addressed. None when a step failed or the wait was cut.
enum class Family { Known, Unknown };
std::optional<ScratchpadBytesRead> convertAndRead(int16_t index, int32_t waitMs, Family family)
{
    if (!accessAndReset() || family == Family::Unknown || !selectSensor(index))
        return std::nullopt;
    // A cut conversion left the scratchpad with an older reading: it must not pass as this one.
    if (!poweredCommand(Command::Convert, waitMs))
        return std::nullopt;
    ScratchpadBytesRead bytes {};
    if (!addressSensor(index) || !readScratchpad(bytes))
        return std::nullopt;
    return bytes;
}

} // namespace

bool ReadTemperature(int16_t index)
{
    const std::optional<ScratchpadBytesRead> bytes
        = convertAndRead(index, OneWireDelay, families::familyOfRow(index) ? Family::Known : Family::Unknown);
    return bytes && takeReading(index, *bytes);
}

float GetTemperature()
{
    return Temperature;
}

bool ReadResolution(int16_t index, int32_t &code)
{
    const std::optional<ScratchpadBytesRead> cells
        = convertAndRead(index, EepromAndResolutionWaitMs, Family::Known);
    if (!cells)
        return false;
    code = families::codeFor((*cells)[4]);
    return true;
}

bool WriteScratchpad(int16_t index, int16_t code, int16_t alarmLow, int16_t alarmHigh)
{
    if (!accessAndReset() || !selectSensor(index))
        return false;
    XwTouchByte(SessionHandle, Command::WriteScratchpad);
    XwTouchByte(SessionHandle, alarmHigh);
    XwTouchByte(SessionHandle, alarmLow);
    XwTouchByte(SessionHandle, families::configurationFor(code));
    return ResetBus();
}

bool ReadAlarmBytes(int16_t index, int16_t &alarmLow, int16_t &alarmHigh)
{
    ScratchpadBytesRead bytes {};
    if (!accessAndReset() || !selectSensor(index) || !readScratchpad(bytes))
        return false;
    alarmHigh = bytes[2];
    alarmLow = bytes[3];
    return true;
}

bool CopyScratchpad(int16_t index)
{
    if (!addressSensor(index))
        return false;
    // Never cut: a sensor whose EEPROM write loses its power part-way may keep a broken setting.
    poweredCommand(Command::CopyScratchpad, EepromAndResolutionWaitMs, EepromAndResolutionWaitMs);
    return ResetBus();
}

} // namespace modKX4136
