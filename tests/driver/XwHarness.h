// Test helper: a simulated driver with one open session and the Xw transactions the system performs.
#pragma once

#include "driver/onewire/Crc8.h"
#include "driver/sim/RomCodes.h"
#include "driver/sim/SimulatedDriver.h"

#include <array>
#include <memory>
#include <vector>

namespace drivertest {

using namespace std::chrono_literals;

class XwHarness
{
public:
    static constexpr int16_t Port = 1;

    // An empty bus on COM port 1 behind a manual clock; the session opens on the first session() call.
    XwHarness()
        : clock(std::make_shared<sim::ManualClock>())
    {
        configuration.clock = clock;
        configuration.addPort(Port).bus->attachTranscript(std::make_shared<sim::Transcript>());
    }

    sim::SimBus &bus() { return *configuration.ports.at(Port).bus; }
    sim::AdapterFaults &adapter() { return *configuration.ports.at(Port).faults; }

    template<class T> std::shared_ptr<T> add(std::shared_ptr<T> device)
    {
        bus().addDevice(device);
        return device;
    }

    std::shared_ptr<sim::Thermometer> addThermometer(uint8_t family, uint64_t seed, int bits = 12)
    {
        auto thermometer = std::make_shared<sim::Thermometer>(
            sim::generatedRomCode(family, seed), sim::TemperatureCurve::seeded(seed));
        thermometer->setResolution(bits);
        return add(thermometer);
    }

    sim::SimulatedDriver &driver()
    {
        if (!m_driver)
            m_driver = std::make_unique<sim::SimulatedDriver>(configuration);
        return *m_driver;
    }

    int32_t session()
    {
        if (m_session <= 0)
            m_session = driver().XwExtendedStartSession(Port, xw::PortTypeKA7700, 0);
        return m_session;
    }

    // Every device the search reports, in its order; stops at the first XwFirst/XwNext that does not give 1.
    std::vector<onewire::RomCode> searchAll(std::size_t limit = 64)
    {
        std::vector<onewire::RomCode> found;
        for (int16_t more = driver().XwFirst(session(), state.data()); more == 1 && found.size() < limit;
             more = driver().XwNext(session(), state.data()))
            found.push_back(currentRom());
        return found;
    }

    onewire::RomCode currentRom()
    {
        std::array<int16_t, 9> cells {};
        driver().XwRom(session(), state.data(), cells.data());
        onewire::RomCode rom {};
        for (std::size_t i = 0; i < rom.size(); ++i)
            rom[i] = static_cast<uint8_t>(cells[i]);
        return rom;
    }

    int16_t touch(int16_t byte) { return driver().XwTouchByte(session(), byte); }

    // Reset, match ROM and the code; true when a presence pulse came and every echo was the byte sent.
    bool select(const onewire::RomCode &rom)
    {
        bool echoed = driver().XwTouchReset(session()) != 0 && touch(0x55) == 0x55;
        for (const uint8_t byte : rom)
            echoed = touch(byte) == byte && echoed;
        return echoed;
    }

    // Convert, optionally under the strong pull-up, and wait on the manual clock before the normal level.
    void convert(const onewire::RomCode &rom, std::chrono::microseconds wait, bool pullUp = true)
    {
        select(rom);
        if (pullUp)
            driver().XwOneWireLevel(session(), 0, 1, 2);
        touch(0x44);
        clock->advance(wait);
        driver().XwOneWireLevel(session(), 0, 0, 0);
    }

    std::array<int16_t, 9> readScratchpad(const onewire::RomCode &rom)
    {
        select(rom);
        touch(0xBE);
        std::array<int16_t, 9> bytes {};
        for (int16_t &byte : bytes)
            byte = touch(0xFF);
        return bytes;
    }

    std::shared_ptr<sim::ManualClock> clock;
    sim::SimConfiguration configuration;
    std::vector<uint8_t> state = std::vector<uint8_t>(xw::StateBufferSize, 0);

private:
    std::unique_ptr<sim::SimulatedDriver> m_driver;
    int32_t m_session = 0;
};

// The scratchpad's nine bytes fold to 0 through the CRC.
inline bool crcHolds(const std::array<int16_t, 9> &bytes)
{
    uint8_t crc = 0;
    for (const int16_t byte : bytes) {
        if (byte < 0)
            return false;
        crc = onewire::crc8Step(crc, static_cast<uint8_t>(byte));
    }
    return crc == 0;
}

inline int16_t rawReading(const std::array<int16_t, 9> &bytes)
{
    return static_cast<int16_t>((bytes[1] << 8) | bytes[0]);
}

} // namespace drivertest
