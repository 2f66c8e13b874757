// The pieces of a sensor exchange that both cycles share: command bytes, waits, the pull-up and the checks.
#pragma once

#include <array>
#include <cstdint>

namespace modKX4136 {

// The bytes sent to the sensors.
namespace Command {
// The ROM code that follows names the one sensor that is to listen.
constexpr int16_t MatchRom = 0x55;
// Every sensor on the bus listens.
constexpr int16_t SkipRom = 0xCC;
constexpr int16_t Convert = 0x44;
constexpr int16_t ReadScratchpad = 0xBE;
// Alarm high, alarm low and the configuration byte follow.
constexpr int16_t WriteScratchpad = 0x4E;
// Into the EEPROM.
constexpr int16_t CopyScratchpad = 0x48;
// The read slot after it reads 0 while a sensor that listens is powered from the bus.
constexpr int16_t ReadPowerSupply = 0xB4;
// All ones leave every bit to the sensor: what comes back is the byte it sent.
constexpr int16_t ReadSlot = 0xFF;
} // namespace Command

namespace exchange {

// The nine bytes of a scratchpad read as they came (negative for a failed read slot).
inline constexpr int ScratchpadBytes = 9;
using ScratchpadBytesRead = std::array<int16_t, ScratchpadBytes>;

// False when the installed cut condition ended the wait early.
bool waitFor(int32_t ms, int32_t notBeforeMs);

// Arms the strong pull-up for the byte that starts a conversion or a copy, and puts the bus back to
// its normal level when the exchange leaves its scope, however it leaves.
class StrongPullUp
{
public:
    StrongPullUp();
    ~StrongPullUp();
    StrongPullUp(const StrongPullUp &) = delete;
    StrongPullUp &operator=(const StrongPullUp &) = delete;
};

// Sends a byte that needs the strong pull-up while the sensor works, then waits for it to finish;
// false when the wait was cut.
bool poweredCommand(int16_t command, int32_t waitMs, int32_t notBeforeMs = 0);

// Match ROM with the ROM code of one sensor.
bool selectSensor(int16_t index);
// Reset, then match ROM with the sensor's code.
bool addressSensor(int16_t index);

// An echo of a ROM byte that tells the byte did not go out as sent.
bool romEchoFailed(int16_t echo);

// Folds all nine bytes into CrcAcc: true when the CRC holds and no read slot failed.
bool scratchpadValid(const ScratchpadBytesRead &bytes);

// Takes a valid scratchpad's reading into Temperature; false for a sensor of no known family and for
// the power-on value, which nothing measured.
bool takeReading(int16_t index, const ScratchpadBytesRead &bytes);

} // namespace exchange
} // namespace modKX4136
