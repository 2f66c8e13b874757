// The driver the command line asks for: the simulated bus or the KA7700 adapter on a serial port.
#pragma once

#include "app/CommandLine.h"
#include "driver/XwDriver.h"

#include <memory>

std::shared_ptr<xw::XwDriver> chooseDriver(const CommandLineOptions &options);
