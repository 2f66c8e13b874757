// The simulated adapter: each primitive becomes resets and slots on the bus.
#include "driver/sim/SimLink.h"

namespace sim {

SimLink::SimLink(std::shared_ptr<SimBus> bus, std::shared_ptr<AdapterFaults> faults)
    : m_bus(std::move(bus))
    , m_faults(faults ? std::move(faults) : std::make_shared<AdapterFaults>())
{ }

SimLink::~SimLink()
{
    close();
}

bool SimLink::open()
{
    if (m_faults->failOpen.fire())
        return false;
    m_open = true;
    m_armed = false;
    m_setupFails = m_faults->failSetup.fire();
    return true;
}

void SimLink::close()
{
    if (m_open)
        m_bus->setStrongPullUp(false);
    m_open = false;
    m_armed = false;
}

bool SimLink::usable()
{
    return m_open && !m_faults->ioError.fire();
}

onewire::ResetResult SimLink::reset()
{
    if (!usable())
        return onewire::ResetResult::IoError;
    if (m_setupFails) {
        m_setupFails = false;
        return onewire::ResetResult::IoError;
    }
    return m_bus->reset();
}

std::optional<bool> SimLink::touchBit(bool bit)
{
    if (!usable())
        return std::nullopt;
    return m_bus->slot(bit);
}

std::optional<uint8_t> SimLink::touchByte(uint8_t byte)
{
    if (!usable())
        return std::nullopt;
    const uint8_t received = m_bus->touchByte(byte);
    if (m_armed) {
        m_armed = false;
        m_bus->setStrongPullUp(true);
    }
    return received;
}

bool SimLink::touchBlock(std::span<const uint8_t> out, std::span<uint8_t> in)
{
    if (!usable())
        return false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        in[i] = m_bus->touchByte(out[i]);
        if (m_armed) {
            m_armed = false;
            m_bus->setStrongPullUp(true);
        }
    }
    return true;
}

bool SimLink::setLevel(onewire::BusLevel level)
{
    if (!usable())
        return false;
    if (level == onewire::BusLevel::StrongPullUpAfterNextByte) {
        m_armed = true;
        m_bus->pullUpArmed();
        return true;
    }
    m_armed = false;
    m_bus->setStrongPullUp(false);
    return true;
}

} // namespace sim
