// Resets, slots and the pull-up, fanned out to every device in turn.
#include "driver/sim/SimBus.h"

#include <algorithm>

namespace sim {

SimBus::SimBus(std::shared_ptr<const Clock> clock)
    : m_clock(std::move(clock))
{ }

onewire::ResetResult SimBus::reset()
{
    setStrongPullUp(false);
    const microseconds now = m_clock->now();
    bool presence = false;
    for (const auto &device : m_devices)
        presence = device->reset(now) || presence; // every device must see the reset
    const auto result = m_shorted ? onewire::ResetResult::Short
        : presence                ? onewire::ResetResult::Presence
                                  : onewire::ResetResult::NoPresence;
    record(TranscriptEntry::Kind::Reset, 0, 0, result);
    return result;
}

bool SimBus::rawSlot(bool masterBit)
{
    setStrongPullUp(false);
    const microseconds now = m_clock->now();
    bool level = masterBit && !m_shorted;
    for (const auto &device : m_devices)
        level = device->drive(now) && level;
    for (const auto &device : m_devices)
        device->sample(level, now);
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
    for (int bit = 0; bit < 8; ++bit)
        if (rawSlot(((byte >> bit) & 1) != 0))
            received = static_cast<uint8_t>(received | (1u << bit));
    record(TranscriptEntry::Kind::Byte, byte, received);
    return received;
}

void SimBus::setStrongPullUp(bool on)
{
    if (on == m_strongPullUp)
        return;
    m_strongPullUp = on;
    const microseconds now = m_clock->now();
    for (const auto &device : m_devices)
        device->pullUpChanged(on, now);
    record(on ? TranscriptEntry::Kind::PullUpOn : TranscriptEntry::Kind::PullUpOff);
}

Device &SimBus::addDevice(std::shared_ptr<Device> device)
{
    m_devices.push_back(std::move(device));
    return *m_devices.back();
}

Thermometer *SimBus::thermometer(std::size_t index) const
{
    return index < m_devices.size() ? dynamic_cast<Thermometer *>(m_devices[index].get()) : nullptr;
}

Device *SimBus::findDevice(const onewire::RomCode &rom) const
{
    const auto it = std::find_if(m_devices.begin(), m_devices.end(),
        [&rom](const auto &device) { return device->builtInRomCode() == rom; });
    return it == m_devices.end() ? nullptr : it->get();
}

void SimBus::powerCycle()
{
    setStrongPullUp(false);
    const microseconds now = m_clock->now();
    for (const auto &device : m_devices)
        device->powerCycle(now);
}

void SimBus::record(TranscriptEntry::Kind kind, uint8_t sent, uint8_t received, onewire::ResetResult reset)
{
    if (m_transcript)
        m_transcript->record(TranscriptEntry {kind, m_clock->now(), sent, received, reset});
}

} // namespace sim
