// The driver operations the system calls, forwarded to the one installed driver.
#pragma once

#include "driver/XwDriver.h"

#include <memory>

namespace XWBUSLIB {

// Installs the driver every Xw call goes to (the program at start-up, a test per case).
// Without a driver every operation fails as if its library could not be bound.
void Install(std::shared_ptr<xw::XwDriver> driver);
xw::XwDriver *Installed();

int32_t XwExtendedStartSession(int16_t portNum, int16_t portType, int32_t options);
int16_t XwSetup(int32_t session);
int16_t XwEndSession(int32_t session);
int16_t XwFirst(int32_t session, uint8_t *stateBuffer);
int16_t XwNext(int32_t session, uint8_t *stateBuffer);
int16_t XwRom(int32_t session, uint8_t *stateBuffer, int16_t *romBuffer);
int16_t XwAccess(int32_t session, uint8_t *stateBuffer);
int16_t XwTouchByte(int32_t session, int16_t byte);
int16_t XwTouchReset(int32_t session);
int16_t XwOneWireLevel(int32_t session, int16_t operation, int16_t level, int16_t prime);
// Beyond the ten: a block of bytes out and the bus's bytes back in one call (see xw::XwDriver::XwBlock).
int16_t XwBlock(int32_t session, const uint8_t *out, uint8_t *in, int16_t length);

// Why the installed driver could not start the last session (see xw::XwDriver::lastStartFailure).
xw::StartFailure lastStartFailure();

} // namespace XWBUSLIB
