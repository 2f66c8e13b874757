// The driver the command line asks for: the simulated bus or the KA7700 adapter on a serial port.
#pragma once

#include "app/CommandLine.h"
#include "driver/XwDriver.h"

#include <memory>

namespace app {

// $XDG_CONFIG_HOME/kx4136-logger/ports.ini: the user's COM port map, read at every START.
QString defaultPortsFilePath();
// The adapter's COM ports map as --com says, else as the ports file says, else by number.
std::shared_ptr<xw::XwDriver> chooseDriver(const CommandLineOptions &options);

} // namespace app
