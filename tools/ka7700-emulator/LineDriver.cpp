// The line driver inside the KA7700 adapter: serial bytes in, 1-Wire slots on a simulated bus, answers out.
#include "tools/ka7700-emulator/LineDriver.h"

#include "driver/serial/Ka7700.h"

using namespace std::chrono_literals;
using std::chrono::microseconds;

namespace emulator {

namespace {

constexpr uint8_t DataModeByte = 0xE1;
constexpr uint8_t EscapeByte = 0xE3;
constexpr uint8_t EndPulseByte = 0xF1;
constexpr uint8_t Revision = 0x03;
constexpr std::array<int, 8> PowerUpParameters {0, 0, 4, 4, 0, 0, 0, 0};
constexpr int Infinite = 7;
constexpr int Overdrive = 2;
// Time slot and reset at standard (and flexible) speed and at overdrive.
constexpr microseconds SlotTime {70};
constexpr microseconds ResetTime {1100};
constexpr microseconds OverdriveSlotTime {10};
constexpr microseconds OverdriveResetTime {140};
// Code 6 is not to be used; the older reading of it ("dynamic") is taken as the longest finite time.
constexpr std::array<microseconds, 7> PullUpTimes {
    16400us, 65500us, 131000us, 262000us, 524000us, 1048000us, 1048000us};

uint8_t presenceBits(onewire::ResetResult result)
{
    switch (result) {
    case onewire::ResetResult::Presence:
        return 0x01;
    case onewire::ResetResult::Short:
        return 0x00;
    default:
        return 0x03;
    }
}

// A frame sampled at the wrong rate: deterministic junk that is never the byte itself.
uint8_t wrongRate(uint8_t byte)
{
    return byte ^ 0x96;
}

} // namespace

LineDriver::LineDriver(sim::SimBus &bus, Faults faults)
    : m_bus(bus)
    , m_faults(faults)
{
    masterReset();
}

void LineDriver::masterReset()
{
    if (m_pulse.active && m_pulse.kind == PulseKind::PullUp)
        m_bus.setStrongPullUp(false);
    m_pulse = {};
    m_calibrated = false;
    m_mode = Mode::Command;
    m_escapePending = false;
    m_accelerator = false;
    m_searchError = false;
    m_speed = 0;
    m_armed = false;
    m_parameters = PowerUpParameters;
    m_answered = 0;
}

int LineDriver::baudRate() const
{
    return serial::ka7700::AdapterRates[m_parameters[7] & 0x03];
}

QByteArray LineDriver::receive(const QByteArray &bytes, int hostBaud)
{
    QByteArray out;
    m_hostBaud = hostBaud;
    if (hostBaud > m_faults.maxBaud.value_or(hostBaud))
        return out;
    for (const char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        // A 00 at a slower rate holds the line low for longer than a frame: the master reset.
        if (byte == 0 && hostBaud > 0 && 9 * baudRate() > 10 * hostBaud) {
            masterReset();
            continue;
        }
        take(hostBaud == baudRate() ? byte : wrongRate(byte), out);
    }
    return out;
}

QByteArray LineDriver::poll()
{
    QByteArray out;
    if (m_pulse.active && m_pulse.end && m_bus.clock().now() >= *m_pulse.end)
        endPulse(out);
    return out;
}

std::optional<microseconds> LineDriver::pulseDeadline() const
{
    return m_pulse.active ? m_pulse.end : std::nullopt;
}

void LineDriver::take(uint8_t byte, QByteArray &out)
{
    if (!m_calibrated) {
        m_calibrated = true; // only its bit timing counts
        return;
    }
    if (m_pulse.active) {
        if (byte == EndPulseByte)
            endPulse(out);
        else
            ++m_hostErrors;
        return;
    }
    if (m_mode == Mode::Command) {
        command(byte, out);
        return;
    }
    if (m_escapePending) {
        m_escapePending = false;
        if (byte == EscapeByte) {
            dataByte(byte, out);
        } else {
            m_mode = Mode::Command;
            command(byte, out);
        }
        return;
    }
    if (byte == EscapeByte)
        m_escapePending = true;
    else
        dataByte(byte, out);
}

void LineDriver::command(uint8_t byte, QByteArray &out)
{
    if ((byte & 0x80) == 0) {
        configuration(byte, out);
        return;
    }
    if ((byte & 0x01) == 0)
        return; // not a command at all
    const int speed = (byte >> 2) & 0x03;
    switch ((byte >> 5) & 0x03) {
    case 0: { // single slot, 100b ssP1
        m_speed = speed;
        work(1);
        const bool level = m_bus.slot((byte & 0x10) != 0);
        answer(static_cast<uint8_t>((byte & 0xFC) | (level ? 0x03 : 0x00)), out);
        if (byte & 0x02)
            startPulse(PulseKind::PullUp);
        return;
    }
    case 1: // search accelerator, 101h ss01
        m_speed = speed;
        m_accelerator = (byte & 0x10) != 0;
        m_searchError = false;
        return;
    case 2: { // 1-Wire reset, 110x ss01
        m_speed = speed;
        work(0, 1);
        const auto result = m_bus.reset();
        answer(m_faults.resetAnswer.value_or(
                   static_cast<uint8_t>(0xC0 | (Revision << 2) | presenceBits(result))),
            out);
        return;
    }
    default:
        if (speed == 0x03) { // pulse, 111t 11q1
            m_armed = (byte & 0x02) != 0;
            startPulse((byte & 0x10) != 0 ? PulseKind::Programming : PulseKind::PullUp);
        } else if (byte == DataModeByte) {
            m_mode = Mode::Data;
        }
        // E3 here, F1 without a pulse and the other reserved codes do nothing
        return;
    }
}

void LineDriver::configuration(uint8_t byte, QByteArray &out)
{
    if ((byte & 0x01) == 0)
        return;
    const int parameter = (byte >> 4) & 0x07;
    const int value = (byte >> 1) & 0x07;
    if (parameter == 0) {
        answer(static_cast<uint8_t>(m_parameters[value] << 1), out);
        return;
    }
    m_parameters[parameter] = value;
    answer(static_cast<uint8_t>(byte & 0xFE), out); // after a rate change this already leaves at the new rate
}

void LineDriver::dataByte(uint8_t byte, QByteArray &out)
{
    if (m_accelerator) {
        work(12);
        answer(searchSteps(byte), out);
        return;
    }
    work(8);
    answer(m_bus.touchByte(byte), out);
    if (m_armed)
        startPulse(PulseKind::PullUp);
}

uint8_t LineDriver::searchSteps(uint8_t request)
{
    uint8_t steps = 0;
    for (int step = 0; step < 4; ++step) {
        const bool direction = (request >> (2 * step + 1)) & 1;
        const bool id = m_bus.slot(true);
        const bool complement = m_bus.slot(true);
        bool taken = direction;
        bool fork = true;
        if (m_searchError || (id && complement)) {
            m_searchError = true;
            taken = true;
        } else if (id != complement) {
            taken = id;
            fork = false;
        }
        m_bus.slot(taken);
        steps |= static_cast<uint8_t>((fork ? 1 : 0) << (2 * step));
        steps |= static_cast<uint8_t>((taken ? 1 : 0) << (2 * step + 1));
    }
    return steps;
}

void LineDriver::startPulse(PulseKind kind)
{
    const bool programming = kind == PulseKind::Programming;
    m_pulse.active = true;
    m_pulse.kind = kind;
    const int code = m_parameters[programming ? 2 : 3];
    if (code == Infinite)
        m_pulse.end.reset();
    else
        m_pulse.end = m_bus.clock().now() + (programming ? microseconds(32 << code) : PullUpTimes[code]);
    if (!programming)
        m_bus.setStrongPullUp(true);
}

void LineDriver::endPulse(QByteArray &out)
{
    if (m_pulse.kind == PulseKind::PullUp)
        m_bus.setStrongPullUp(false);
    const uint8_t pulseEnd = m_faults.pulseEnd.value_or(m_pulse.kind == PulseKind::Programming ? 0xFC : 0xEC);
    m_pulse = {};
    answer(pulseEnd, out);
    if (m_faults.strayPulseEnd)
        answer(pulseEnd, out);
}

void LineDriver::work(int timeSlots, int resets)
{
    const bool overdrive = m_speed == Overdrive;
    m_busTime += timeSlots * (overdrive ? OverdriveSlotTime : SlotTime)
        + resets * (overdrive ? OverdriveResetTime : ResetTime);
}

void LineDriver::answer(uint8_t byte, QByteArray &out)
{
    if (baudRate() > m_faults.maxBaud.value_or(baudRate()))
        return;
    if (m_faults.silent || (m_faults.silentAfter && m_answered >= *m_faults.silentAfter))
        return;
    ++m_answered;
    if (m_faults.garbleEvery && m_answered % *m_faults.garbleEvery == 0)
        byte ^= 0x40; // a bit every answer form fixes
    out += static_cast<char>(m_hostBaud == baudRate() ? byte : wrongRate(byte));
}

} // namespace emulator
