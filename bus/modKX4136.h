// Module state shared by all bus work, and every exchange with a sensor.
#pragma once

#include "driver/XwDriver.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace modKX4136 {

// RomTable: a row per sensor index, one more than discovery fills (the last stays zero), with the ROM code
// in the first RomCodeBytes cells of a row; the last cell is never used.
inline constexpr int RomTableRows = 33;
inline constexpr int RomTableCells = 9;
inline constexpr int RomCodeBytes = 8;

// The module state: exists once for the process and starts at zero.
inline int32_t SessionHandle = 0;
inline std::array<uint8_t, xw::StateBufferSize> StateBuffer {};
inline int16_t PortNum = 0;
inline int16_t PortType = 0;
inline int16_t RomTable[RomTableRows][RomTableCells] {};
inline int16_t LastSensor = 0;
inline float Temperature = 0.0F;
inline int16_t CrcAcc = 0;
inline int16_t OneWireDelay = 0;

// Puts every global above back to zero; for tests that start each case from a fresh process state.
void resetModuleState();

bool StartSession();
bool EndSession();
bool ResetBus();
bool SendROM(int16_t index);
uint8_t Crc8Step(int16_t value);
QString HexByte(int16_t value);
bool ReadTemperature(int16_t index);
float GetTemperature();
bool ReadResolution(int16_t index, int32_t &code);
bool WriteScratchpad(int16_t index, int16_t code, int16_t alarmLow, int16_t alarmHigh);
bool CopyScratchpad(int16_t index);
// Access, match ROM and a scratchpad read, with no conversion before it: the alarm bytes TH and TL the
// sensor holds now. True when the read passed the CRC test; the bytes are written only then.
bool ReadAlarmBytes(int16_t index, int16_t &alarmLow, int16_t &alarmHigh);

// While one lives, the wait of a conversion or an EEPROM copy ends early once `when` answers true: the
// bus goes back to its normal level at once and a cut conversion fails its reading; a copy still gets
// its EEPROM write time. The condition before it comes back when it ends.
class CutWaitsWhen
{
public:
    explicit CutWaitsWhen(std::function<bool()> when);
    ~CutWaitsWhen();
    CutWaitsWhen(const CutWaitsWhen &) = delete;
    CutWaitsWhen &operator=(const CutWaitsWhen &) = delete;

private:
    std::function<bool()> m_previous;
};

// The all-at-once cycle: one conversion of every sensor on the bus, then one scratchpad read each.

// Reset, skip ROM, read power supply: true when a device on the bus draws its power from it, and when
// nothing answers (it must then be given the pull-up all the same).
bool AnyBusPowered();
// How many of the listed sensors draw their power from the bus, each addressed in turn.
int16_t CountBusPowered();
// Reset, skip ROM and convert, with the strong pull-up armed on the convert byte, then a wait of waitMs
// (ConvertAllWaitMs). A bus-powered bus keeps the pull-up for the whole wait; otherwise it goes off at
// once and read slots end the wait as soon as every conversion is done. False when nobody answered the
// reset or the wait was cut; the bus is back at its normal level either way.
bool ConvertAll(bool busPowered, int32_t waitMs);
// Reset, then match ROM and the scratchpad read in one block: the reading in Temperature, checked as
// ReadTemperature checks it.
bool ReadConverted(int16_t index);

// Where DetectSensors reports its lines: the device list of the window (or of the console).
class LineList
{
public:
    virtual ~LineList() = default;
    virtual void clear() = 0;
    virtual void addItem(const QString &line) = 0;
};

// A thermometer a detection listed: its family (the ROM code's first byte) and the resolution code it
// read, none when that read failed.
struct ListedSensor
{
    int16_t family;
    std::optional<int32_t> resolution;
};

// What a detection found: DetectSensors' result, and each device whose ROM code it read, in list order.
struct Discovery
{
    int16_t result = 1; // until a search has run
    std::vector<ListedSensor> sensors;
};

// Enumerates up to 32 devices; 0 when the search ran, 1 when the bus set-up or the first search failed.
int16_t DetectSensors(LineList &list);

// The same, with what it found, asking stopRequested before each further device (before each XwNext).
// When it answers true, detection ends there: no further line is added, LastSensor becomes the last
// index handled and the result is 0 (the caller knows it asked to stop). An empty function never stops.
Discovery discover(LineList &list, const std::function<bool()> &stopRequested = {});

// After detection: one line when OneWireDelay is shorter than the conversion of a thermometer found
// (whose readings then lag one cycle behind), naming the slowest conversion and the kinds that need
// it; empty when the delay is long enough for all.
QString conversionLagLine(const Discovery &found);

// The slowest conversion among the thermometers found, at their resolutions (a KX4136 of unknown
// resolution counts as its slowest), or OneWireDelay when that is longer: the all-at-once cycle's wait.
int32_t ConvertAllWaitMs(const Discovery &found);

} // namespace modKX4136
