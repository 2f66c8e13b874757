// The simulated driver: the shared 1-Wire driver over simulated adapters on chosen COM ports.
#pragma once

#include "driver/onewire/Driver.h"
#include "driver/sim/Clock.h"
#include "driver/sim/SimBus.h"
#include "driver/sim/SimLink.h"

#include <map>
#include <memory>

namespace sim {

// A COM port with an adapter on it, and the bus behind the adapter.
struct SimPort
{
    std::shared_ptr<SimBus> bus;
    std::shared_ptr<AdapterFaults> faults = std::make_shared<AdapterFaults>();
};

struct SimConfiguration
{
    std::shared_ptr<const Clock> clock;
    std::map<int16_t, SimPort> ports; // COM port number -> adapter; other ports have none

    // An adapter with an empty bus on `portNum` (the one there is kept).
    SimPort &addPort(int16_t portNum);
};

// COM port 1 only: a 9-bit parasite-powered KX4136, a 12-bit KX4136 and a KX4130, with slow curves
// between about -10 and 30 degrees. What the program runs when asked to simulate.
SimConfiguration demoConfiguration(std::shared_ptr<const Clock> clock);
// The most sensors a uniform bus takes: more than a run reads, so a full bus and one past it can be tried.
inline constexpr int MaxSimulatedSensors = 40;
// COM port 1 only, with `count` 12-bit externally powered KX4136 (at most MaxSimulatedSensors).
SimConfiguration uniformConfiguration(int count, std::shared_ptr<const Clock> clock);

class SimulatedDriver : public onewire::Driver
{
public:
    explicit SimulatedDriver(SimConfiguration configuration);

    // The bus and the adapter faults behind a port, null when the port has no adapter, so tests can
    // switch faults and read the transcript while the system runs.
    SimBus *bus(int16_t portNum) const;
    AdapterFaults *adapterFaults(int16_t portNum) const;
    const SimConfiguration &configuration() const { return m_configuration; }

private:
    SimConfiguration m_configuration;
};

} // namespace sim
