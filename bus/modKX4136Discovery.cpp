// DetectSensors: the bus search that fills RomTable and LastSensor and lists every device.
#include "bus/modKX4136.h"

#include "bus/XWBUSLIB.h"

#include <QStringList>
#include <algorithm>

using namespace XWBUSLIB;

namespace modKX4136 {

namespace {

constexpr int16_t MaxSensors = 32;
constexpr int32_t FailedRead = -1;

// How long each kind of thermometer takes to convert: a KX4136 by its resolution code, a KX4130 always
// the same. A KX4136 whose resolution is unknown is none of them.
struct Conversion
{
    int16_t family;
    int32_t resolution;
    int32_t micros;
    const char *kind;
};
constexpr int32_t AnyResolution = -2;
constexpr std::array<Conversion, 5> Conversions {{{0x28, 1, 93750, "9-bit"}, {0x28, 2, 187500, "10-bit"},
    {0x28, 3, 375000, "11-bit"}, {0x28, 4, 750000, "12-bit"}, {0x10, AnyResolution, 750000, "KX4130"}}};
// A listed KX4136 whose resolution could not be read: it may take the longest.
constexpr uint8_t UnknownKind = 0x80;
constexpr int16_t FamilyKX4136 = 0x28;
constexpr int32_t LongestConversionMicros = 750000;

void noteKind(int16_t family, int32_t resolution)
{
    bool known = false;
    for (std::size_t k = 0; k < Conversions.size(); ++k) {
        const Conversion &c = Conversions[k];
        if (c.family == family && (c.resolution == AnyResolution || c.resolution == resolution)) {
            ListedKinds = static_cast<uint8_t>(ListedKinds | (1U << k));
            known = true;
        }
    }
    if (!known && family == FamilyKX4136)
        ListedKinds = static_cast<uint8_t>(ListedKinds | UnknownKind);
}

QString sensorLine(int16_t index, const int16_t (&rom)[RomTableCells], int32_t resolution)
{
    QString line = QStringLiteral("Sensor #%1 :").arg(index);
    for (int i = 0; i < RomCodeBytes; ++i)
        line += u' ' + HexByte(rom[i]);
    return line + QStringLiteral(" , %1-bit").arg(resolution + 8);
}

// Reads the current device's ROM code into row index and lists it with its resolution; false when
// the ROM read failed, which leaves the row as it was.
bool takeDevice(int16_t index, LineList &list)
{
    int16_t romBuffer[RomTableCells] {}; // a row's worth; cell 0 at 0 asks for the current device's code
    if (XwRom(SessionHandle, StateBuffer.data(), romBuffer) != 1)
        return false;
    std::copy(romBuffer, romBuffer + RomCodeBytes, RomTable[index]);
    int32_t resolution = 0;
    if (!ReadResolution(index, resolution))
        resolution = FailedRead;
    noteKind(RomTable[index][0], resolution);
    list.addItem(sensorLine(index, RomTable[index], resolution));
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
    return DetectSensors(list, {});
}

int16_t DetectSensors(LineList &list, const std::function<bool()> &stopRequested)
{
    list.clear();
    ListedKinds = 0;
    if (XwSetup(SessionHandle) != 1) {
        list.addItem(QStringLiteral("Error."));
        return 1;
    }
    const int16_t first = XwFirst(SessionHandle, StateBuffer.data());
    if (first != 1) {
        list.addItem(QStringLiteral("Detected KA7700 interface but no 1-wire devices found."));
        addSearchFailure(first, list);
        return 1;
    }
    if (!takeDevice(0, list))
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
        if (!takeDevice(index, list))
            list.addItem(QStringLiteral("Device %1 : Error reading ROM").arg(index));
    }
    // A full table ends the search; one more step tells whether devices are left unread.
    if (index == MaxSensors && !(stopRequested && stopRequested())
        && XwNext(SessionHandle, StateBuffer.data()) == 1)
        list.addItem(
            QStringLiteral("More than %1 devices on the bus: only the first %1 are read.").arg(MaxSensors));
    LastSensor = static_cast<int16_t>(index - 1);
    return 0;
}

QString conversionLagLine()
{
    // Several kinds too slow: naming the slowest gives the one delay that serves every sensor.
    int32_t slowest = 0;
    QStringList kinds;
    for (std::size_t k = 0; k < Conversions.size(); ++k) {
        const Conversion &c = Conversions[k];
        if ((ListedKinds & (1U << k)) == 0 || c.micros < slowest)
            continue;
        if (c.micros > slowest)
            kinds.clear();
        slowest = c.micros;
        kinds << QLatin1String(c.kind);
    }
    if (slowest == 0 || int64_t {OneWireDelay} * 1000 >= slowest)
        return {};
    return QStringLiteral("1-wire delay %1 ms is shorter than the %2 ms that %3 sensors need: their readings "
                          "lag one cycle behind.")
        .arg(QString::number(OneWireDelay), QString::number(slowest / 1000.0), kinds.join(u" and "));
}

int32_t ConvertAllWaitMs()
{
    int32_t slowest = (ListedKinds & UnknownKind) != 0 ? LongestConversionMicros : 0;
    for (std::size_t k = 0; k < Conversions.size(); ++k) {
        if ((ListedKinds & (1U << k)) != 0)
            slowest = std::max(slowest, Conversions[k].micros);
    }
    return std::max<int32_t>((slowest + 999) / 1000, OneWireDelay);
}

} // namespace modKX4136
