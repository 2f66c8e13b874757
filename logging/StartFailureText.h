// The line that tells the user why a session could not start.
#pragma once

#include "driver/XwDriver.h"

#include <QString>

namespace logging {

// "COM port 3 (/dev/ttyUSB0): permission denied; ..." for the device list or the console.
QString startFailureLine(int16_t portNum, const xw::StartFailure &failure);

} // namespace logging
