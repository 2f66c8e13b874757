// Builds the driver the command line asks for; without --simulate it is always the adapter, never a
// simulation.
#include "app/DriverChoice.h"

#include "driver/serial/SerialDriver.h"
#include "driver/sim/SimulatedDriver.h"

std::shared_ptr<xw::XwDriver> chooseDriver(const CommandLineOptions &options)
{
    if (!options.simulate)
        return serial::makeSerialDriver(options.comPorts, options.baud);
    auto clock = std::make_shared<sim::SteadyClock>();
    auto configuration = options.simulatedSensors == 0
        ? sim::demoConfiguration(std::move(clock))
        : sim::uniformConfiguration(options.simulatedSensors, std::move(clock));
    return std::make_shared<sim::SimulatedDriver>(std::move(configuration));
}
