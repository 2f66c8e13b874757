// The line driver inside the KA7700 adapter: serial bytes in, 1-Wire slots on a simulated bus, answers out.
#pragma once

#include "driver/sim/SimBus.h"

#include <QByteArray>
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

namespace emulator {

// What the adapter does wrong on purpose, for tests of the host's error handling.
struct Faults
{
    bool silent = false; // never answers
    std::optional<int> silentAfter; // answers this many bytes after power-up (or the switch), then nothing
    std::optional<int> garbleEvery; // every Nth answer byte has a bit flipped
    std::optional<uint8_t> resetAnswer; // every reset is answered with this
    std::optional<uint8_t> pulseEnd; // every pulse ends with this byte
    bool strayPulseEnd = false; // every pulse-end byte comes twice
    bool unbuffered = false; // in real time: a byte arriving while the line driver works is lost
    std::optional<int> maxBaud; // the line carries nothing faster than this, as a poor bridge
};

class LineDriver
{
public:
    enum class Mode { Command, Data };

    explicit LineDriver(sim::SimBus &bus, Faults faults = {});

    // Faults can be switched while the adapter runs; answers are counted afresh from here.
    const Faults &faults() const { return m_faults; }
    void setFaults(const Faults &faults)
    {
        m_faults = faults;
        m_answered = 0;
    }

    // Power-up and the master reset (a break) leave the same state; the bus itself is not touched.
    void masterReset();

    // Bytes from the host, sent at hostBaud; gives the answers they cause, in order.
    QByteArray receive(const QByteArray &bytes, int hostBaud);
    // Time passing on the bus clock: a pulse of finite length may end and answer.
    QByteArray poll();
    // When a running pulse ends by itself, on the bus clock.
    std::optional<std::chrono::microseconds> pulseDeadline() const;

    int baudRate() const;
    Mode mode() const { return m_mode; }
    bool pulseActive() const { return m_pulse.active; }
    bool acceleratorOn() const { return m_accelerator; }
    // 1-Wire time the commands and data bytes have taken so far (slots and resets).
    std::chrono::microseconds busTime() const { return m_busTime; }
    // Bytes other than F1 that arrived while a pulse was running.
    int hostErrors() const { return m_hostErrors; }

private:
    enum class PulseKind { PullUp, Programming }; // the 5 V strong pull-up, or 12 V

    struct Pulse
    {
        bool active = false;
        PulseKind kind = PulseKind::PullUp;
        std::optional<std::chrono::microseconds> end; // none: until F1
    };

    void take(uint8_t byte, QByteArray &out);
    void command(uint8_t byte, QByteArray &out);
    void configuration(uint8_t byte, QByteArray &out);
    void dataByte(uint8_t byte, QByteArray &out);
    uint8_t searchSteps(uint8_t request);
    void startPulse(PulseKind kind);
    void endPulse(QByteArray &out);
    void answer(uint8_t byte, QByteArray &out);
    void work(int timeSlots, int resets = 0);

    sim::SimBus &m_bus;
    Faults m_faults;
    bool m_calibrated = false;
    Mode m_mode = Mode::Command;
    bool m_escapePending = false;
    bool m_accelerator = false;
    bool m_searchError = false; // latched until the accelerator is switched off
    int m_speed = 0;
    bool m_armed = false; // a strong pull-up after every data byte
    std::array<int, 8> m_parameters {}; // 1..7 used
    Pulse m_pulse;
    int m_hostBaud = 9600; // of the chunk being handled
    int m_answered = 0; // answer bytes since power-up
    int m_hostErrors = 0;
    std::chrono::microseconds m_busTime {0};
};

} // namespace emulator
