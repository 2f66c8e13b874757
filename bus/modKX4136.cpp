// The module state, sessions, bus reset, sending a ROM code and CRC-8, over the installed driver.
#include "bus/modKX4136.h"

#include "bus/XWBUSLIB.h"
#include "bus/modKX4136Exchange.h"
#include "bus/modTable.h"

#include <algorithm>

using namespace XWBUSLIB;

namespace modKX4136 {

namespace {

bool rowExists(int16_t index)
{
    return index >= 0 && index < RomTableRows;
}

} // namespace

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
        if (exchange::romEchoFailed(echo))
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

} // namespace modKX4136
