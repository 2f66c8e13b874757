// Shared set-up of the bus tests: a recording driver installed, waits noted, expected call texts.
#pragma once

#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "common/RecordingDriver.h"
#include "common/SimulatedTime.h"
#include "wait/modMsgWait.h"

#include <QMetaType>
#include <QStringList>
#include <functional>
#include <memory>

namespace bustest {

using testsupport::Op;
using testsupport::RecordingDriver;

constexpr int32_t Handle = RecordingDriver::DefaultHandle;

// A test row's extra set-up of the driver's script (or of the module state).
using Script = std::function<void(RecordingDriver &)>;

// The simulated time of the case under way.
inline std::unique_ptr<testsupport::SimulatedTime> &caseTime()
{
    static std::unique_ptr<testsupport::SimulatedTime> time;
    return time;
}

// A fresh module state with a recording driver installed and an open session; every MsgWait shows
// in the driver's call list as "wait(<ms>)" and returns at once.
inline std::shared_ptr<RecordingDriver> installRecordingDriver()
{
    caseTime().reset();
    caseTime() = std::make_unique<testsupport::SimulatedTime>();
    auto driver = std::make_shared<RecordingDriver>();
    XWBUSLIB::Install(driver);
    modKX4136::SessionHandle = Handle;
    caseTime()->duringWait
        = [raw = driver.get()](int32_t timeoutMs) { raw->note(QStringLiteral("wait(%1)").arg(timeoutMs)); };
    return driver;
}

inline void uninstall()
{
    caseTime().reset();
}

inline void setRom(int16_t row, const testsupport::RomCode &code)
{
    std::copy(code.begin(), code.end(), modKX4136::RomTable[row]);
}

inline QString touch(int byte)
{
    return QStringLiteral("XwTouchByte(%1, %2)").arg(Handle).arg(byte);
}

inline QString access()
{
    return QStringLiteral("XwAccess(%1)").arg(Handle);
}

inline QString reset()
{
    return QStringLiteral("XwTouchReset(%1)").arg(Handle);
}

inline QString level(int operation, int lvl, int prime)
{
    return QStringLiteral("XwOneWireLevel(%1, %2, %3, %4)").arg(Handle).arg(operation).arg(lvl).arg(prime);
}

inline QString wait(int ms)
{
    return QStringLiteral("wait(%1)").arg(ms);
}

// Match ROM and the eight bytes of a ROM code.
inline QStringList matchRom(const testsupport::RomCode &code)
{
    QStringList out {touch(0x55)};
    for (const int16_t byte : code)
        out << touch(byte);
    return out;
}

// Arm, the command byte, the wait, back to normal.
inline QStringList powered(int command, int ms)
{
    return {level(0, 1, 2), touch(command), wait(ms), level(0, 0, 0)};
}

// Read scratchpad: the command and nine read slots.
inline QStringList readScratchpad()
{
    QStringList out {touch(0xBE)};
    for (int i = 0; i < 9; ++i)
        out << touch(0xFF);
    return out;
}

} // namespace bustest

Q_DECLARE_METATYPE(bustest::Script)
