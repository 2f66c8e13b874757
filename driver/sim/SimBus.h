// The simulated 1-Wire bus: a wired AND of the master and every attached device, one slot at a time.
#pragma once

#include "driver/onewire/Link.h"
#include "driver/sim/Clock.h"
#include "driver/sim/Device.h"
#include "driver/sim/Thermometer.h"
#include "driver/sim/Transcript.h"

#include <memory>
#include <vector>

namespace sim {

// Usable on its own (the adapter emulator drives it directly) or through a SimLink.
class SimBus
{
public:
    explicit SimBus(std::shared_ptr<const Clock> clock);

    const Clock &clock() const { return *m_clock; }

    // Any reset or slot ends a strong pull-up first: the master cannot signal while it holds the line high.
    onewire::ResetResult reset();
    // One time slot: gives the sampled level, the AND of masterBit (1 = read slot) and every device's output.
    bool slot(bool masterBit);
    // Eight slots, least significant bit first, recorded as one byte.
    uint8_t touchByte(uint8_t byte);
    // The strong pull-up is physically on or off from now.
    void setStrongPullUp(bool on);
    bool strongPullUp() const { return m_strongPullUp; }

    Device &addDevice(std::shared_ptr<Device> device);
    std::size_t deviceCount() const { return m_devices.size(); }
    Device &device(std::size_t index) const { return *m_devices.at(index); }
    Thermometer *thermometer(std::size_t index) const; // null when that device is not one
    Device *findDevice(const onewire::RomCode &rom) const; // by its built-in code
    // Power off and on for every device: what survives is what their EEPROM holds.
    void powerCycle();

    // A bus held low: resets answer Short and every slot reads 0.
    void setShorted(bool on) { m_shorted = on; }

    // Recording is for tests: a bus records nothing until a transcript is attached, so the program's
    // buses spend no memory or time on it.
    void attachTranscript(std::shared_ptr<Transcript> transcript) { m_transcript = std::move(transcript); }
    // The attached transcript; only after attachTranscript.
    Transcript &transcript() const { return *m_transcript; }

    // The pull-up is armed on the adapter's side; recorded for tests, the bus itself does not change.
    void pullUpArmed() { record(TranscriptEntry::Kind::PullUpArmed); }

private:
    bool rawSlot(bool masterBit);
    void record(TranscriptEntry::Kind kind, uint8_t sent = 0, uint8_t received = 0,
        onewire::ResetResult reset = onewire::ResetResult::NoPresence);

    std::shared_ptr<const Clock> m_clock;
    std::vector<std::shared_ptr<Device>> m_devices;
    bool m_strongPullUp = false;
    bool m_shorted = false;
    std::shared_ptr<Transcript> m_transcript;
};

} // namespace sim
