// The driver the program uses for real hardware: the shared 1-Wire layer over KA7700 serial links.
#pragma once

#include "driver/XwDriver.h"
#include "driver/serial/Port.h"
#include "driver/serial/PortMap.h"

#include <functional>
#include <memory>

namespace serial {

using PortFactory = std::function<std::unique_ptr<Port>()>;

// Sessions on COM ports, each through the serial device that devicePath() names for it.
std::shared_ptr<xw::XwDriver> makeSerialDriver(PortMap portMap);
// The same over ports made by `ports` (tests script them, benchmarks count their bytes).
std::shared_ptr<xw::XwDriver> makeSerialDriver(PortMap portMap, PortFactory ports);

} // namespace serial
