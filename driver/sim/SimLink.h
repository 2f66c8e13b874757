// A Link over a SimBus: the adapter side of the simulation, with its own switchable faults.
#pragma once

#include "driver/onewire/Link.h"
#include "driver/sim/FaultSwitch.h"
#include "driver/sim/SimBus.h"

#include <memory>

namespace sim {

// Faults of the adapter rather than of the bus; shared by every link opened on the same port.
struct AdapterFaults
{
    FaultSwitch failOpen; // per open: the adapter does not answer, so no session starts
    FaultSwitch failSetup; // per open: the first reset after opening answers IoError, so XwSetup fails
    FaultSwitch ioError; // per primitive operation: the adapter garbles it (reset IoError, byte or bit lost)
};

class SimLink : public onewire::Link
{
public:
    explicit SimLink(std::shared_ptr<SimBus> bus, std::shared_ptr<AdapterFaults> faults = {});
    ~SimLink() override;

    bool open() override;
    void close() override;
    onewire::ResetResult reset() override;
    std::optional<bool> touchBit(bool bit) override;
    std::optional<uint8_t> touchByte(uint8_t byte) override;
    // The whole block in one call: one chance of an adapter fault for all of it.
    bool touchBlock(std::span<const uint8_t> out, std::span<uint8_t> in) override;
    // The armed pull-up comes on after the next byte and stays on until setLevel(Normal) or the next
    // reset or slot.
    bool setLevel(onewire::BusLevel level) override;

    SimBus &bus() const { return *m_bus; }

private:
    bool usable();

    std::shared_ptr<SimBus> m_bus;
    std::shared_ptr<AdapterFaults> m_faults;
    bool m_open = false;
    bool m_setupFails = false;
    bool m_armed = false;
};

} // namespace sim
