// The KA7700 adapter's command bytes and the packing of its search accelerator, as the host sees them.
#pragma once

#include "driver/onewire/Link.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <optional>

namespace serial::ka7700 {

inline constexpr uint8_t TimingByte = 0xC1;
inline constexpr uint8_t DataMode = 0xE1;
// In data mode also the escape: doubled it is the data byte E3.
inline constexpr uint8_t CommandMode = 0xE3;
inline constexpr uint8_t EndPulse = 0xF1;

// All at flexible speed, the speed the parameters below shape.
inline constexpr uint8_t Reset = 0xC5;
inline constexpr uint8_t BitWrite0 = 0x85;
inline constexpr uint8_t BitWrite1 = 0x95; // also the read slot
inline constexpr uint8_t BitPullUpFlag = 0x02; // strong pull-up once the slot is over
inline constexpr uint8_t AcceleratorOn = 0xB5;
inline constexpr uint8_t AcceleratorOff = 0xA5;

// The host times the pull-up itself, so the adapter must not end it on its own.
inline constexpr uint8_t PullUpInfinite = 0x3F;

// Slew 1.37 V/us, write-1 low 10 us, sample offset 8 us, read the baud rate, one standard-speed read slot.
inline constexpr std::array<uint8_t, 5> DetectRequest {0x17, 0x45, 0x5B, 0x0F, 0x91};
inline constexpr std::array<uint8_t, 5> DetectAnswer {0x16, 0x44, 0x5A, 0x00, 0x93};

// The rate after power-up and every master reset; the timing byte must come at this rate.
inline constexpr int PowerUpBaud = 9600;
// A 00 at this rate holds the line low longer than a frame at any adapter rate: a master reset the
// line carries where a break does not get through.
inline constexpr int ResetByteBaud = 4800;
inline constexpr uint8_t ResetByte = 0x00;
inline constexpr uint8_t ReadBaud = 0x0F;

// The rates the adapter can switch to, by their code.
inline constexpr std::array<int, 4> AdapterRates {9600, 19200, 57600, 115200};
// The rate parameter: written as 71 + 2 code, read back as 2 code.
std::optional<int> baudCode(int baud);
constexpr uint8_t baudWrite(int code)
{
    return static_cast<uint8_t>(0x71 | (code << 1));
}
constexpr uint8_t baudReadBack(int code)
{
    return static_cast<uint8_t>(code << 1);
}

// A configuration write is answered with its own byte less bit 0.
constexpr uint8_t configEcho(uint8_t command)
{
    return command & 0xFE;
}
constexpr bool isResetAnswer(uint8_t answer)
{
    return (answer & 0xC0) == 0xC0;
}
// Bits 7..2 echo the command; bits 1 and 0 both carry the level sampled.
constexpr bool isBitAnswer(uint8_t command, uint8_t answer)
{
    return (answer & 0xFC) == (command & 0xFC) && ((answer >> 1) & 1) == (answer & 1);
}
// Only bits 7..5 are fixed; adapters differ in the rest.
constexpr bool isPulseEnd(uint8_t answer)
{
    return (answer & 0xE0) == 0xE0;
}

onewire::ResetResult resetResult(uint8_t answer);
enum class AfterSlot { Nothing, PullUp };
uint8_t bitCommand(bool bit, AfterSlot after);

// Direction for ROM bit n goes to bit 2(n mod 4)+1 of byte n/4; the even bits stay 0.
std::array<uint8_t, 16> searchRequest(const std::array<bool, 64> &directions);
// Answer bit 2j is the discrepancy flag, bit 2j+1 the bit taken, at the same positions as the request.
onewire::SearchPass decodeSearch(
    const std::array<uint8_t, 16> &answer, const std::array<bool, 64> &directions);

} // namespace serial::ka7700
