// The driver the program uses for real hardware: the shared 1-Wire layer over KA7700 serial links.
#pragma once

#include "driver/XwDriver.h"
#include "driver/serial/Port.h"
#include "driver/serial/PortMap.h"

#include <functional>
#include <memory>

namespace serial {

using PortFactory = std::function<std::unique_ptr<Port>()>;

// Sessions on COM ports, each through the serial device that devicePath() names for it, at `baud`
// once the adapter is found (9600, 19200, 57600 or 115200; a session falls back to 9600 if it fails).
std::shared_ptr<xw::XwDriver> makeSerialDriver(PortMap portMap, int baud = 9600);
// The same over ports made by `ports` (tests script them, benchmarks count their bytes).
std::shared_ptr<xw::XwDriver> makeSerialDriver(PortMap portMap, PortFactory ports, int baud = 9600);

} // namespace serial
