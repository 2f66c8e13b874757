// The KA7700 adapter on a pseudo-terminal: the loop that feeds the line driver and sends its answers.
#include "tools/ka7700-emulator/PtyEmulator.h"

#include <algorithm>

#ifdef __linux__
#include <sys/prctl.h>
#endif

using namespace std::chrono_literals;

namespace emulator {

namespace {

constexpr std::chrono::microseconds IdleTimeout = 50ms;
constexpr std::chrono::microseconds PulseCheck = 5ms; // the bus clock may be a manual one: look again soon
constexpr auto HangUpNap = 5ms;

} // namespace

PtyEmulator::PtyEmulator(std::shared_ptr<sim::SimBus> bus, Faults faults, Timing timing)
    : m_bus(std::move(bus))
    , m_lineDriver(*m_bus, faults)
    , m_serial(timing)
{ }

PtyEmulator::~PtyEmulator()
{
    stop();
}

void PtyEmulator::start()
{
    m_stop = false;
    m_thread = std::thread([this] { run(m_stop); });
}

void PtyEmulator::stop()
{
    m_stop = true;
    m_pty.wake();
    if (m_thread.joinable())
        m_thread.join();
}

void PtyEmulator::run(const std::atomic<bool> &stop)
{
#ifdef __linux__
    // Answers are due to the microsecond: the default slack of 50 us per wait would add up.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
#endif
    while (!stop.load()) {
        const bool watchHost = !m_pty.watching() || m_pty.hostHoldsPort();
        const Pty::Ready ready = m_pty.wait(pollTimeout(), watchHost);
        if (m_pty.watching()) {
            // Before the data: the host opened the port before it wrote.
            m_pty.watchOpens([this](Pty::HostChange change) {
                if (change == Pty::HostChange::Opened)
                    hostOpened();
                else
                    hostClosed();
            });
        } else {
            // Without a watch on the slave side only the hang-up of the master side tells.
            if (ready.hangUp != m_hostGone) {
                if (ready.hangUp)
                    hostClosed();
                else
                    hostOpened();
                m_hostGone = ready.hangUp;
            }
            if (ready.hangUp)
                std::this_thread::sleep_for(HangUpNap); // reported at once on every poll
        }
        if (ready.input)
            readHost();
        std::lock_guard lock(m_mutex);
        const QByteArray ended = m_lineDriver.poll();
        if (!ended.isEmpty())
            m_serial.schedule(ended, Clock::now(), m_lineDriver.baudRate());
        m_pty.write(m_serial.takeDue(Clock::now()));
    }
}

std::chrono::microseconds PtyEmulator::pollTimeout()
{
    std::lock_guard lock(m_mutex);
    auto timeout = IdleTimeout;
    if (const auto due = m_serial.nextDue()) {
        const auto wait = std::chrono::ceil<std::chrono::microseconds>(*due - Clock::now());
        timeout = std::clamp(wait, std::chrono::microseconds(0), timeout);
    }
    if (m_lineDriver.pulseDeadline())
        timeout = std::min(timeout, PulseCheck);
    return timeout;
}

void PtyEmulator::hostOpened()
{
    std::lock_guard lock(m_mutex);
    m_lineDriver.masterReset();
    ++m_powerUps;
}

void PtyEmulator::hostClosed()
{
    std::lock_guard lock(m_mutex);
    m_lineDriver.masterReset();
    m_serial.clear();
    // Without the adapter's supply the bus is dead: parasite-powered parts forget all but their EEPROM.
    for (std::size_t i = 0; i < m_bus->deviceCount(); ++i) {
        const auto *thermometer = m_bus->thermometer(i);
        if (!thermometer || thermometer->parasitePowered())
            m_bus->device(i).powerCycle(m_bus->clock().now());
    }
}

void PtyEmulator::readHost()
{
    const QByteArray got = m_pty.readHost();
    if (got.isEmpty())
        return; // the host has just gone; its close is on the way
    const int baud = m_pty.hostBaud();
    const auto now = Clock::now();
    std::lock_guard lock(m_mutex);
    for (const char byte : got)
        if (m_serial.timing().realTime)
            takeInRealTime(byte, baud, now);
        else
            m_serial.received(now, m_lineDriver.receive(QByteArray(1, byte), baud));
}

void PtyEmulator::takeInRealTime(char byte, int hostBaud, Clock::time_point now)
{
    const auto start = m_serial.take(
        now, hostBaud > 0 ? hostBaud : m_lineDriver.baudRate(), !m_lineDriver.faults().unbuffered);
    if (!start) {
        ++m_overruns;
        return;
    }
    const auto before = m_lineDriver.busTime();
    const QByteArray answers = m_lineDriver.receive(QByteArray(1, byte), hostBaud);
    m_serial.worked(*start, m_lineDriver.busTime() - before, answers, m_lineDriver.baudRate());
}

} // namespace emulator
