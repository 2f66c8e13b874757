// DetectSensors: the bus search that fills RomTable and LastSensor, lists every device and tells what it
// found.
#include "bus/modKX4136.h"

#include "bus/XWBUSLIB.h"

#include <QStringList>
#include <algorithm>

using namespace XWBUSLIB;

namespace modKX4136 {

namespace {

constexpr int16_t MaxSensors = 32;
// The resolution code of a failed read, as the sensor's line shows it.
constexpr int32_t FailedRead = -1;

QString sensorLine(int16_t index, const int16_t (&rom)[RomTableCells], int32_t resolution)
{
    QString line = QStringLiteral("Sensor #%1 :").arg(index);
    for (int i = 0; i < RomCodeBytes; ++i)
        line += u' ' + HexByte(rom[i]);
    return line + QStringLiteral(" , %1-bit").arg(resolution + 8);
}

// Reads the current device's ROM code into row index and lists it with its resolution; false when
// the ROM read failed, which leaves the row as it was.
bool takeDevice(int16_t index, LineList &list, Discovery &found)
{
    int16_t romBuffer[RomTableCells] {}; // a row's worth; cell 0 at 0 asks for the current device's code
    if (XwRom(SessionHandle, StateBuffer.data(), romBuffer) != 1)
        return false;
    std::copy(romBuffer, romBuffer + RomCodeBytes, RomTable[index]);
    int32_t resolution = 0;
    const bool read = ReadResolution(index, resolution);
    found.sensors.push_back({RomTable[index][0], read ? std::optional(resolution) : std::nullopt});
    list.addItem(sensorLine(index, RomTable[index], read ? resolution : FailedRead));
    return true;
}

// The driver ends a search that failed on the bus with a negative result, not at the end of the bus:
// devices may be left that were never found.
void addSearchFailure(int16_t searchResult, LineList &list)
{
    if (searchResult < 0)
        list.addItem(QStringLiteral("The search stopped at a bus error: the list may be incomplete."));
}

} // namespace

int16_t DetectSensors(LineList &list)
{
    return discover(list).result;
}

Discovery discover(LineList &list, const std::function<bool()> &stopRequested)
{
    list.clear();
    Discovery found;
    if (XwSetup(SessionHandle) != 1) {
        list.addItem(QStringLiteral("Error."));
        return found;
    }
    const int16_t first = XwFirst(SessionHandle, StateBuffer.data());
    if (first != 1) {
        list.addItem(QStringLiteral("Detected KA7700 interface but no 1-wire devices found."));
        addSearchFailure(first, list);
        return found;
    }
    if (!takeDevice(0, list, found))
        list.addItem(QStringLiteral("Error reading ROM."));

    int16_t index = 1;
    for (; index < MaxSensors; ++index) {
        if (stopRequested && stopRequested())
            break;
        const int16_t next = XwNext(SessionHandle, StateBuffer.data());
        if (next != 1) {
            list.addItem(QStringLiteral("%1 sensor(s) found.").arg(index));
            addSearchFailure(next, list);
            break;
        }
        if (!takeDevice(index, list, found))
            list.addItem(QStringLiteral("Device %1 : Error reading ROM").arg(index));
    }
    // A full table ends the search; one more step tells whether devices are left unread.
    if (index == MaxSensors && !(stopRequested && stopRequested())
        && XwNext(SessionHandle, StateBuffer.data()) == 1)
        list.addItem(
            QStringLiteral("More than %1 devices on the bus: only the first %1 are read.").arg(MaxSensors));
    LastSensor = static_cast<int16_t>(index - 1);
    found.result = 0;
    return found;
}

} // namespace modKX4136
