// The simulated driver and the two ready-made configurations.
#include "driver/sim/SimulatedDriver.h"

#include "driver/sim/RomCodes.h"

#include <algorithm>

namespace sim {
namespace {

constexpr int16_t DemoPort = 1;
constexpr uint64_t UniformSeedBase = 1000;

onewire::LinkFactory linkFactory(const SimConfiguration &configuration)
{
    const std::map<int16_t, SimPort> ports = configuration.ports;
    return [ports](int16_t portNum, int16_t portType) -> std::unique_ptr<onewire::Link> {
        const auto it = ports.find(portNum);
        // The simulation has no other adapter.
        if (portType != xw::PortTypeKA7700 || it == ports.end())
            return nullptr;
        return std::make_unique<SimLink>(it->second.bus, it->second.faults);
    };
}

std::shared_ptr<Thermometer> thermometer(uint8_t family, uint64_t seed, const CurveShape &shape)
{
    return std::make_shared<Thermometer>(generatedRomCode(family, seed), TemperatureCurve(shape));
}

} // namespace

SimPort &SimConfiguration::addPort(int16_t portNum)
{
    SimPort &port = ports[portNum];
    if (!port.bus)
        port.bus = std::make_shared<SimBus>(clock);
    return port;
}

SimConfiguration demoConfiguration(std::shared_ptr<const Clock> clock)
{
    using std::chrono::seconds;
    SimConfiguration configuration {std::move(clock), {}};
    SimBus &bus = *configuration.addPort(DemoPort).bus;

    auto indoor = thermometer(FamilyKX4136, 1, {21.0, 2.5, seconds {900}, 0.3, seconds {100}, 0.0});
    indoor->setResolution(9);
    indoor->setParasitePowered(true);
    bus.addDevice(indoor);

    auto cellar = thermometer(FamilyKX4136, 2, {4.0, 5.0, seconds {600}, 0.2, seconds {75}, 1.0});
    cellar->setResolution(12);
    bus.addDevice(cellar);

    bus.addDevice(thermometer(FamilyKX4130, 3, {-4.0, 5.5, seconds {1200}, 0.4, seconds {140}, 2.0}));
    return configuration;
}

SimConfiguration uniformConfiguration(int count, std::shared_ptr<const Clock> clock)
{
    SimConfiguration configuration {std::move(clock), {}};
    SimBus &bus = *configuration.addPort(DemoPort).bus;
    for (int i = 0; i < std::clamp(count, 0, MaxSimulatedSensors); ++i) {
        const uint64_t seed = UniformSeedBase + static_cast<uint64_t>(i);
        bus.addDevice(std::make_shared<Thermometer>(
            generatedRomCode(FamilyKX4136, seed), TemperatureCurve::seeded(seed)));
    }
    return configuration;
}

SimulatedDriver::SimulatedDriver(SimConfiguration configuration)
    : onewire::Driver(linkFactory(configuration))
    , m_configuration(std::move(configuration))
{ }

SimBus *SimulatedDriver::bus(int16_t portNum) const
{
    const auto it = m_configuration.ports.find(portNum);
    return it == m_configuration.ports.end() ? nullptr : it->second.bus.get();
}

AdapterFaults *SimulatedDriver::adapterFaults(int16_t portNum) const
{
    const auto it = m_configuration.ports.find(portNum);
    return it == m_configuration.ports.end() ? nullptr : it->second.faults.get();
}

} // namespace sim
