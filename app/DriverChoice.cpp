// Builds the driver the command line asks for; without --simulate it is always the adapter, never a
// simulation.
#include "app/DriverChoice.h"

#include "driver/serial/SerialDriver.h"
#include "driver/sim/SimulatedDriver.h"

#include <QDir>
#include <QFileInfo>

namespace app {

QString defaultPortsFilePath()
{
    // Beside the sensors file: both are the user's own settings of the program.
    return QFileInfo(logging::defaultSensorsFilePath()).dir().filePath(QStringLiteral("ports.ini"));
}

std::shared_ptr<xw::XwDriver> chooseDriver(const CommandLineOptions &options)
{
    if (!options.simulate) {
#ifdef Q_OS_UNIX
        const QString devFolder = QStringLiteral("/dev");
#else
        const QString devFolder; // COM ports are no files to look for
#endif
        return serial::makeMappedSerialDriver(
            {options.comPorts, defaultPortsFilePath(), devFolder}, options.baud);
    }
    auto clock = std::make_shared<sim::SteadyClock>();
    auto configuration = options.simulatedSensors == 0
        ? sim::demoConfiguration(std::move(clock))
        : sim::uniformConfiguration(options.simulatedSensors, std::move(clock));
    return std::make_shared<sim::SimulatedDriver>(std::move(configuration));
}

} // namespace app
