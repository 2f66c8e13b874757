// The ten driver operations the logger calls: the interface every driver (simulated, serial) implements.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

namespace xw {

// Size of the caller's search-state buffer handed to XwFirst, XwNext, XwRom and XwAccess.
inline constexpr std::size_t StateBufferSize = 15361;

// The port type of XwExtendedStartSession that selects the KA7700 adapter on a serial port.
inline constexpr int16_t PortTypeKA7700 = 1;

// XwOneWireLevel's arguments. Two sets are used: (LevelSet, LevelStrongPullUp, PrimeAfterNextByte) arms
// the strong pull-up to take over once the next byte has gone out; (LevelSet, LevelNormal, PrimeNow)
// puts the bus back to its normal level at once.
inline constexpr int16_t LevelSet = 0;
inline constexpr int16_t LevelNormal = 0;
inline constexpr int16_t LevelStrongPullUp = 1;
inline constexpr int16_t PrimeNow = 0;
inline constexpr int16_t PrimeAfterNextByte = 2;

// Why a session could not be started, for the user: the system never acts on it.
struct StartFailure
{
    enum class Reason {
        None, // the last start worked
        Unknown, // the driver cannot tell
        NoSuchPort, // nothing stands behind this port number
        NoSuchDevice,
        PermissionDenied,
        InUse, // by another program, or by another session
        NotSerial, // the device cannot be opened or set up as a serial line
        NoAdapter, // opened, but no adapter answers on it
        ShortedBus, // the adapter answers, but the 1-Wire bus is held low
        BadPortMap, // the file that maps port numbers to devices cannot be read (`detail` says where)
    };

    Reason reason = Reason::Unknown;
    QString device; // what the port stands for ("/dev/ttyUSB0", "COM3"); empty when nothing or unknown
    // More for the user, a sentence or two: what the driver knows that may help; may be empty.
    QString detail {};
};

// Result conventions: 1 means success for every 16-bit operation except XwTouchByte (negative = failure)
// and XwTouchReset (0 = no presence pulse, anything else counts as presence). A session handle above 0
// is open; a closed or unknown handle makes every operation fail.
class XwDriver
{
public:
    virtual ~XwDriver() = default;

    // portType PortTypeKA7700 selects the KA7700 adapter; options are always 0. Gives a handle above 0 or 0.
    virtual int32_t XwExtendedStartSession(int16_t portNum, int16_t portType, int32_t options) = 0;
    // 1 when the bus is ready.
    virtual int16_t XwSetup(int32_t session) = 0;
    // 1 when the session was closed.
    virtual int16_t XwEndSession(int32_t session) = 0;
    // 1 when a device was found and is now the current device (kept in stateBuffer); 0 when the search
    // has reached the end of the bus (an empty bus included); negative when it failed on the way.
    virtual int16_t XwFirst(int32_t session, uint8_t *stateBuffer) = 0;
    virtual int16_t XwNext(int32_t session, uint8_t *stateBuffer) = 0;
    // With romBuffer[0] == 0: copies the current device's ROM code into cells 0-7 and gives 1.
    // With romBuffer[0] != 0: makes the code in cells 0-7 the current device.
    virtual int16_t XwRom(int32_t session, uint8_t *stateBuffer, int16_t *romBuffer) = 0;
    // Resets the bus and selects the current device with match ROM; 1 when it answered.
    virtual int16_t XwAccess(int32_t session, uint8_t *stateBuffer) = 0;
    // Sends one byte (0-255; 255 reads) and gives the byte read back, negative on failure.
    virtual int16_t XwTouchByte(int32_t session, int16_t byte) = 0;
    // 0 = no presence pulse (or a shorted bus / failure); anything else is presence.
    virtual int16_t XwTouchReset(int32_t session) = 0;
    // Sets the bus level with one of the two argument sets named above.
    virtual int16_t XwOneWireLevel(int32_t session, int16_t operation, int16_t level, int16_t prime) = 0;

    // Not one of the ten: sends length bytes of out (0xFF reads a byte) and stores the bus's bytes in in,
    // without a reset before them. 1 when every byte went through, 0 otherwise (in is then unspecified).
    // The fallback sends byte by byte; drivers that can move a block in fewer exchanges override it.
    virtual int16_t XwBlock(int32_t session, const uint8_t *out, uint8_t *in, int16_t length)
    {
        for (int16_t i = 0; i < length; ++i) {
            const int16_t got = XwTouchByte(session, out[i]);
            if (got < 0)
                return 0;
            in[i] = static_cast<uint8_t>(got);
        }
        return 1;
    }

    // Not one of the ten operations: why the last XwExtendedStartSession gave 0, or why the XwSetup
    // that followed it did.
    virtual StartFailure lastStartFailure() const { return {}; }
};

} // namespace xw
