// The simulated adapter: each primitive becomes resets and slots on the bus.
#include "driver/sim/SimLink.h"

namespace sim {

SimLink::SimLink(std::shared_ptr<SimBus> bus, std::shared_ptr<AdapterFaults> faults)
    : bus_(std::move(bus))
    , faults_(faults ? std::move(faults) : std::make_shared<AdapterFaults>())
{ }

SimLink::~SimLink()
{
    close();
}

bool SimLink::open()
{
    if (faults_->failOpen.fire()) {
        return false;
    }
    open_ = true;
    armed_ = false;
    setupFails_ = faults_->failSetup.fire();
    return true;
}

void SimLink::close()
{
    if (open_) {
        bus_->setStrongPullUp(false);
    }
    open_ = false;
    armed_ = false;
}

bool SimLink::usable()
{
    return open_ && !faults_->ioError.fire();
}

onewire::ResetResult SimLink::reset()
{
    if (!usable()) {
        return onewire::ResetResult::IoError;
    }
    if (setupFails_) {
        setupFails_ = false;
        return onewire::ResetResult::IoError;
    }
    return bus_->reset();
}

std::optional<bool> SimLink::touchBit(bool bit)
{
    if (!usable()) {
        return std::nullopt;
    }
    return bus_->slot(bit);
}

std::optional<uint8_t> SimLink::touchByte(uint8_t byte)
{
    if (!usable()) {
        return std::nullopt;
    }
    const uint8_t received = bus_->touchByte(byte);
    if (armed_) {
        armed_ = false;
        bus_->setStrongPullUp(true);
    }
    return received;
}

bool SimLink::setLevel(onewire::BusLevel level)
{
    if (!usable()) {
        return false;
    }
    if (level == onewire::BusLevel::StrongPullUpAfterNextByte) {
        armed_ = true;
        bus_->transcript().record(
            TranscriptEntry {TranscriptEntry::Kind::PullUpArmed, bus_->clock().now(), 0, 0, {}});
        return true;
    }
    armed_ = false;
    bus_->setStrongPullUp(false);
    return true;
}

} // namespace sim
