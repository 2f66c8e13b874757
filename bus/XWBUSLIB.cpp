// Forwards each Xw operation to the installed driver; without one every operation fails.
#include "bus/XWBUSLIB.h"

namespace XWBUSLIB {

namespace {

std::shared_ptr<xw::XwDriver> &slot()
{
    static std::shared_ptr<xw::XwDriver> driver;
    return driver;
}

// Held for the length of one call, so a re-install from an event handler cannot free it under us.
std::shared_ptr<xw::XwDriver> driver()
{
    return slot();
}

constexpr int16_t Failed = 0;
constexpr int16_t TouchFailed = -1;

} // namespace

void Install(std::shared_ptr<xw::XwDriver> driver)
{
    slot() = std::move(driver);
}

xw::XwDriver *Installed()
{
    return slot().get();
}

int32_t XwExtendedStartSession(int16_t portNum, int16_t portType, int32_t options)
{
    const auto d = driver();
    return d ? d->XwExtendedStartSession(portNum, portType, options) : Failed;
}

int16_t XwSetup(int32_t session)
{
    const auto d = driver();
    return d ? d->XwSetup(session) : Failed;
}

int16_t XwEndSession(int32_t session)
{
    const auto d = driver();
    return d ? d->XwEndSession(session) : Failed;
}

int16_t XwFirst(int32_t session, uint8_t *stateBuffer)
{
    const auto d = driver();
    return d ? d->XwFirst(session, stateBuffer) : Failed;
}

int16_t XwNext(int32_t session, uint8_t *stateBuffer)
{
    const auto d = driver();
    return d ? d->XwNext(session, stateBuffer) : Failed;
}

int16_t XwRom(int32_t session, uint8_t *stateBuffer, int16_t *romBuffer)
{
    const auto d = driver();
    return d ? d->XwRom(session, stateBuffer, romBuffer) : Failed;
}

int16_t XwAccess(int32_t session, uint8_t *stateBuffer)
{
    const auto d = driver();
    return d ? d->XwAccess(session, stateBuffer) : Failed;
}

int16_t XwTouchByte(int32_t session, int16_t byte)
{
    const auto d = driver();
    return d ? d->XwTouchByte(session, byte) : TouchFailed;
}

int16_t XwTouchReset(int32_t session)
{
    const auto d = driver();
    return d ? d->XwTouchReset(session) : Failed;
}

int16_t XwOneWireLevel(int32_t session, int16_t operation, int16_t level, int16_t prime)
{
    const auto d = driver();
    return d ? d->XwOneWireLevel(session, operation, level, prime) : Failed;
}

int16_t XwBlock(int32_t session, const uint8_t *out, uint8_t *in, int16_t length)
{
    const auto d = driver();
    return d ? d->XwBlock(session, out, in, length) : Failed;
}

xw::StartFailure lastStartFailure()
{
    const auto d = driver();
    return d ? d->lastStartFailure() : xw::StartFailure {};
}

} // namespace XWBUSLIB
