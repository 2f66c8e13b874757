// The driver the program uses for real hardware: the shared 1-Wire layer over KA7700 serial links.
#include "driver/serial/SerialDriver.h"

#include "driver/onewire/Driver.h"
#include "driver/serial/PortsFile.h"
#include "driver/serial/QtPort.h"
#include "driver/serial/SerialDevices.h"
#include "driver/serial/SerialLink.h"

namespace serial {

std::shared_ptr<xw::XwDriver> makeSerialDriver(PortMap portMap, int baud)
{
    return makeSerialDriver(
        std::move(portMap), [] { return std::make_unique<QtPort>(); }, baud);
}

namespace {

onewire::LinkFactory linkFactory(std::shared_ptr<const PortMap> portMap, PortFactory ports, int baud)
{
    if (!ports)
        ports = [] { return std::make_unique<QtPort>(); };
    return [portMap = std::move(portMap), ports = std::move(ports), baud](
               int16_t portNum, int16_t portType) -> std::unique_ptr<onewire::Link> {
        const QString path = devicePath(*portMap, portNum);
        if (portType != xw::PortTypeKA7700 || path.isEmpty())
            return nullptr;
        return std::make_unique<SerialLink>(ports(), path, baud);
    };
}

// Its links look their device up in a map that each start sets anew.
class MappedDriver : public onewire::Driver
{
public:
    MappedDriver(PortSettings settings, PortFactory ports, int baud, std::shared_ptr<PortMap> map)
        : onewire::Driver(linkFactory(map, std::move(ports), baud))
        , m_settings(std::move(settings))
        , m_map(std::move(map))
    { }

    int32_t XwExtendedStartSession(int16_t portNum, int16_t portType, int32_t options) override
    {
        m_portNum = portNum;
        *m_map = m_settings.commandLine;
        // A port the command line maps needs nothing of the file, not even that it can be read.
        const PortsFile file = m_map->count(portNum) != 0 ? PortsFile() : readPortsFile(m_settings.portsFile);
        m_badPortsFile = file.error;
        if (!m_badPortsFile.isEmpty())
            return 0;
        m_map->insert(file.ports.begin(), file.ports.end());
        return onewire::Driver::XwExtendedStartSession(portNum, portType, options);
    }

    xw::StartFailure lastStartFailure() const override
    {
        using Reason = xw::StartFailure::Reason;
        if (!m_badPortsFile.isEmpty())
            return {Reason::BadPortMap, {}, m_badPortsFile};
        xw::StartFailure failure = onewire::Driver::lastStartFailure();
        // Failures where the device may be the wrong one; the others name the right one's trouble.
        const bool wrongDevice = failure.reason == Reason::NoSuchPort
            || failure.reason == Reason::NoSuchDevice || failure.reason == Reason::NotSerial
            || failure.reason == Reason::NoAdapter;
        if (wrongDevice && !m_settings.devFolder.isEmpty())
            failure.detail = mappingHint(m_portNum, m_settings.devFolder, m_settings.portsFile);
        return failure;
    }

private:
    PortSettings m_settings;
    std::shared_ptr<PortMap> m_map;
    int16_t m_portNum = 0;
    QString m_badPortsFile;
};

} // namespace

std::shared_ptr<xw::XwDriver> makeSerialDriver(PortMap portMap, PortFactory ports, int baud)
{
    return std::make_shared<onewire::Driver>(
        linkFactory(std::make_shared<const PortMap>(std::move(portMap)), std::move(ports), baud));
}

std::shared_ptr<xw::XwDriver> makeMappedSerialDriver(PortSettings settings, int baud, PortFactory ports)
{
    return std::make_shared<MappedDriver>(
        std::move(settings), std::move(ports), baud, std::make_shared<PortMap>());
}

} // namespace serial
