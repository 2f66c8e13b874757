// DetectSensors: the bus search that fills RomTable and LastSensor and lists every device.
#include "bus/modKX4136.h"

#include "bus/XWBUSLIB.h"

using namespace XWBUSLIB;

namespace modKX4136 {

namespace {

constexpr int16_t MaxSensors = 32;
constexpr int32_t FailedRead = -1;

QString SensorLine(int16_t index, const int16_t (&rom)[9], int32_t resolution)
{
    QString line = QStringLiteral("Sensor #%1 :").arg(index);
    for (int i = 0; i < 8; ++i)
        line += u' ' + HexByte(rom[i]);
    return line + QStringLiteral(" , %1-bit").arg(resolution + 8);
}

// Reads the current device's ROM code into row index and lists it with its resolution; false when
// the ROM read failed, which leaves the row as it was.
bool TakeDevice(int16_t index, LineList &list)
{
    int16_t romBuffer[9] {}; // cell 0 at 0 asks for the current device's code
    if (XwRom(SessionHandle, StateBuffer.data(), romBuffer) != 1)
        return false;
    std::copy(romBuffer, romBuffer + 8, RomTable[index]);
    int32_t resolution = 0;
    if (!ReadResolution(index, resolution))
        resolution = FailedRead;
    list.AddItem(SensorLine(index, RomTable[index], resolution));
    return true;
}

// The driver ends a search that failed on the bus with a negative result, not at the end of the bus:
// devices may be left that were never found.
void AddSearchFailure(int16_t searchResult, LineList &list)
{
    if (searchResult < 0)
        list.AddItem(QStringLiteral("The search stopped at a bus error: the list may be incomplete."));
}

} // namespace

int16_t DetectSensors(LineList &list)
{
    return DetectSensors(list, {});
}

int16_t DetectSensors(LineList &list, const std::function<bool()> &stopRequested)
{
    list.Clear();
    if (XwSetup(SessionHandle) != 1) {
        list.AddItem(QStringLiteral("Error."));
        return 1;
    }
    const int16_t first = XwFirst(SessionHandle, StateBuffer.data());
    if (first != 1) {
        list.AddItem(QStringLiteral("Detected KA7700 interface but no 1-wire devices found."));
        AddSearchFailure(first, list);
        return 1;
    }
    if (!TakeDevice(0, list))
        list.AddItem(QStringLiteral("Error reading ROM."));

    int16_t index = 1;
    for (; index < MaxSensors; ++index) {
        if (stopRequested && stopRequested())
            break;
        const int16_t next = XwNext(SessionHandle, StateBuffer.data());
        if (next != 1) {
            list.AddItem(QStringLiteral("%1 sensor(s) found.").arg(index));
            AddSearchFailure(next, list);
            break;
        }
        if (!TakeDevice(index, list))
            list.AddItem(QStringLiteral("Device %1 : Error reading ROM").arg(index));
    }
    LastSensor = static_cast<int16_t>(index - 1);
    return 0;
}

} // namespace modKX4136
