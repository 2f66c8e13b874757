// Resets, slots and the pull-up, fanned out to every device in turn.
#include "driver/sim/SimBus.h"

#include <algorithm>

namespace sim {

SimBus::SimBus(std::shared_ptr<const Clock> clock)
    : clock_(std::move(clock))
{ }

onewire::ResetResult SimBus::reset()
{
    setStrongPullUp(false);
    const microseconds now = clock_->now();
    bool presence = false;
    for (const auto &device : devices_) {
        presence = device->reset(now) || presence; // every device must see the reset
    }
    const auto result = shorted_ ? onewire::ResetResult::Short
        : presence               ? onewire::ResetResult::Presence
                                 : onewire::ResetResult::NoPresence;
    record(TranscriptEntry::Kind::Reset, 0, 0, result);
    return result;
}

bool SimBus::rawSlot(bool masterBit)
{
    setStrongPullUp(false);
    const microseconds now = clock_->now();
    bool level = masterBit && !shorted_;
    for (const auto &device : devices_) {
        level = device->drive(now) && level;
    }
    for (const auto &device : devices_) {
        device->sample(level, now);
    }
    return level;
}

bool SimBus::slot(bool masterBit)
{
    const bool level = rawSlot(masterBit);
    record(TranscriptEntry::Kind::Bit, masterBit ? 1 : 0, level ? 1 : 0);
    return level;
}

uint8_t SimBus::touchByte(uint8_t byte)
{
    uint8_t received = 0;
    for (int bit = 0; bit < 8; ++bit) {
        if (rawSlot(((byte >> bit) & 1) != 0)) {
            received = static_cast<uint8_t>(received | (1u << bit));
        }
    }
    record(TranscriptEntry::Kind::Byte, byte, received);
    return received;
}

void SimBus::setStrongPullUp(bool on)
{
    if (on == strongPullUp_) {
        return;
    }
    strongPullUp_ = on;
    const microseconds now = clock_->now();
    for (const auto &device : devices_) {
        device->pullUpChanged(on, now);
    }
    record(on ? TranscriptEntry::Kind::PullUpOn : TranscriptEntry::Kind::PullUpOff);
}

Device &SimBus::addDevice(std::shared_ptr<Device> device)
{
    devices_.push_back(std::move(device));
    return *devices_.back();
}

Thermometer *SimBus::thermometer(std::size_t index) const
{
    return index < devices_.size() ? dynamic_cast<Thermometer *>(devices_[index].get()) : nullptr;
}

Device *SimBus::findDevice(const onewire::RomCode &rom) const
{
    const auto it = std::find_if(devices_.begin(), devices_.end(),
        [&rom](const auto &device) { return device->builtInRomCode() == rom; });
    return it == devices_.end() ? nullptr : it->get();
}

bool SimBus::removeDevice(const Device &device)
{
    const auto it = std::find_if(
        devices_.begin(), devices_.end(), [&device](const auto &entry) { return entry.get() == &device; });
    if (it == devices_.end()) {
        return false;
    }
    devices_.erase(it);
    return true;
}

void SimBus::powerCycle()
{
    setStrongPullUp(false);
    const microseconds now = clock_->now();
    for (const auto &device : devices_) {
        device->powerCycle(now);
    }
}

void SimBus::record(TranscriptEntry::Kind kind, uint8_t sent, uint8_t received, onewire::ResetResult reset)
{
    transcript_.record(TranscriptEntry {kind, clock_->now(), sent, received, reset});
}

} // namespace sim
