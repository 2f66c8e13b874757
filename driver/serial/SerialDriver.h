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

// How the program maps COM ports: the command line's mappings over those of the per-user ports file.
struct PortSettings
{
    PortMap commandLine; // wins over the file
    QString portsFile; // read at every session start that the command line does not map; empty: none
    QString devFolder; // where a failed start looks for the serial devices present; empty: nowhere
};
// Sessions as above, each mapped as `settings` say at its start. A ports file that cannot be read fails
// the start (StartFailure::Reason::BadPortMap); a start that finds no adapter tells how to map one.
std::shared_ptr<xw::XwDriver> makeMappedSerialDriver(
    PortSettings settings, int baud, PortFactory ports = PortFactory());

} // namespace serial
