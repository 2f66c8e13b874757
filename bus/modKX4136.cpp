// Sessions, bus reset, addressing, CRC-8 and every sensor exchange, over the installed driver.
#include "bus/modKX4136.h"

#include "bus/XWBUSLIB.h"
#include "bus/modKX4136Exchange.h"
#include "bus/modTable.h"
#include "wait/modMsgWait.h"

#include <algorithm>
#include <optional>
#include <utility>

using namespace XWBUSLIB;

namespace modKX4136 {

namespace {

// The thermometer families: raw reading units per degree Celsius, and the raw reading a sensor holds
// from power-up until its first conversion (85 degrees).
struct Family
{
    int16_t code;
    double divisor;
    int32_t powerOnRaw;
};
constexpr std::array<Family, 2> Families {{{0x28, 16.0, 0x0550}, {0x10, 2.0, 0x00AA}}};
constexpr int16_t FamilyKX4130 = 0x10;

// The four known resolutions and their configuration register values.
struct Resolution
{
    int16_t code;
    int16_t configuration;
};
constexpr std::array<Resolution, 4> Resolutions {{{1, 0x1F}, {2, 0x3F}, {3, 0x5F}, {4, 0x7F}}};
constexpr int16_t FallbackConfiguration = 0x1F;

constexpr int32_t EepromAndResolutionWaitMs = 1000;

bool rowExists(int16_t index)
{
    return index >= 0 && index < RomTableRows;
}

// The family of the sensor in a RomTable row; none for an unknown code (or a row that does not exist).
const Family *familyOf(int16_t index)
{
    if (!rowExists(index))
        return nullptr;
    const int16_t code = RomTable[index][0];
    const auto it
        = std::find_if(Families.begin(), Families.end(), [code](const Family &f) { return f.code == code; });
    return it == Families.end() ? nullptr : &*it;
}

int16_t configurationFor(int16_t code)
{
    const auto it = std::find_if(
        Resolutions.begin(), Resolutions.end(), [code](const Resolution &r) { return r.code == code; });
    return it == Resolutions.end() ? FallbackConfiguration : it->configuration;
}

int32_t codeFor(int16_t configuration)
{
    const auto it = std::find_if(Resolutions.begin(), Resolutions.end(),
        [configuration](const Resolution &r) { return r.configuration == configuration; });
    return it == Resolutions.end() ? 0 : it->code;
}

std::function<bool()> &cutCondition()
{
    static std::function<bool()> condition;
    return condition;
}

} // namespace

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
    const Family *family = familyOf(index);
    if (family == nullptr)
        return false;
    const int32_t high = bytes[1];
    const int32_t low = bytes[0];
    int32_t raw = high * 256 + low;
    if (high >= 128)
        raw -= 65536;
    if (raw == family->powerOnRaw && bytes[6] == 0x0C && (family->code != FamilyKX4130 || bytes[7] == 0x10))
        return false;
    Temperature = static_cast<float>(static_cast<double>(raw) / family->divisor);
    return true;
}

} // namespace exchange

namespace {

using namespace exchange;

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
// then address the sensor again and read its scratchpad. A sensor that `readable` rules out fails after
// the access, before it is addressed. None when a step failed or the wait was cut.
std::optional<ScratchpadBytesRead> convertAndRead(int16_t index, int32_t waitMs, bool readable)
{
    if (!accessAndReset() || !readable || !selectSensor(index))
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

CutWaitsWhen::CutWaitsWhen(std::function<bool()> when)
    : m_previous(std::exchange(cutCondition(), std::move(when)))
{ }

CutWaitsWhen::~CutWaitsWhen()
{
    cutCondition() = std::move(m_previous);
}

void resetModuleState()
{
    SessionHandle = 0;
    StateBuffer.fill(0);
    PortNum = 0;
    PortType = 0;
    for (auto &row : RomTable)
        std::fill(std::begin(row), std::end(row), int16_t {0});
    LastSensor = 0;
    Temperature = 0.0F;
    CrcAcc = 0;
    OneWireDelay = 0;
    ListedKinds = 0;
}

bool StartSession()
{
    SessionHandle = XwExtendedStartSession(PortNum, PortType, 0);
    if (SessionHandle <= 0)
        return false;
    return XwSetup(SessionHandle) == 1;
}

bool EndSession()
{
    if (SessionHandle <= 0)
        return false;
    const int16_t closed = XwEndSession(SessionHandle);
    SessionHandle = 0;
    return closed == 1;
}

bool ResetBus()
{
    return XwTouchReset(SessionHandle) != 0;
}

bool SendROM(int16_t index)
{
    bool result = true;
    for (int i = 0; i < RomCodeBytes; ++i) {
        // The fault trap: a row that does not exist or a driver that cannot be called ends the sending.
        if (!rowExists(index) || !Installed())
            return result;
        const int16_t echo = XwTouchByte(SessionHandle, RomTable[index][i]);
        if (romEchoFailed(echo))
            result = false;
    }
    return result;
}

uint8_t Crc8Step(int16_t value)
{
    CrcAcc = modTable::CrcTable(static_cast<int16_t>(CrcAcc ^ value));
    return static_cast<uint8_t>(CrcAcc);
}

QString HexByte(int16_t value)
{
    return QString::number(static_cast<uint16_t>(value), 16).toUpper().rightJustified(2, u'0');
}

bool ReadTemperature(int16_t index)
{
    const std::optional<ScratchpadBytesRead> bytes
        = convertAndRead(index, OneWireDelay, familyOf(index) != nullptr);
    return bytes && takeReading(index, *bytes);
}

float GetTemperature()
{
    return Temperature;
}

bool ReadResolution(int16_t index, int32_t &code)
{
    const std::optional<ScratchpadBytesRead> cells = convertAndRead(index, EepromAndResolutionWaitMs, true);
    if (!cells)
        return false;
    code = codeFor((*cells)[4]);
    return true;
}

bool WriteScratchpad(int16_t index, int16_t code, int16_t alarmLow, int16_t alarmHigh)
{
    if (!accessAndReset() || !selectSensor(index))
        return false;
    XwTouchByte(SessionHandle, Command::WriteScratchpad);
    XwTouchByte(SessionHandle, alarmHigh);
    XwTouchByte(SessionHandle, alarmLow);
    XwTouchByte(SessionHandle, configurationFor(code));
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
