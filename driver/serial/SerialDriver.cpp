// The driver the program uses for real hardware: the shared 1-Wire layer over KA7700 serial links.
#include "driver/serial/SerialDriver.h"

#include "driver/onewire/Driver.h"
#include "driver/serial/QtPort.h"
#include "driver/serial/SerialLink.h"

namespace serial {

std::shared_ptr<xw::XwDriver> makeSerialDriver(PortMap portMap, int baud)
{
    return makeSerialDriver(
        std::move(portMap), [] { return std::make_unique<QtPort>(); }, baud);
}

std::shared_ptr<xw::XwDriver> makeSerialDriver(PortMap portMap, PortFactory ports, int baud)
{
    auto factory = [portMap = std::move(portMap), ports = std::move(ports), baud](
                       int16_t portNum, int16_t portType) -> std::unique_ptr<onewire::Link> {
        const QString path = devicePath(portMap, portNum);
        if (portType != xw::PortTypeKA7700 || path.isEmpty())
            return nullptr;
        return std::make_unique<SerialLink>(ports(), path, baud);
    };
    return std::make_shared<onewire::Driver>(std::move(factory));
}

} // namespace serial
