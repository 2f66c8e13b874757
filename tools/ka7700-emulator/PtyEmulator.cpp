// The KA7700 adapter on a pseudo-terminal: the line driver behind the master side, with serial timing.
#include "tools/ka7700-emulator/PtyEmulator.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/inotify.h>
#include <sys/prctl.h>
#endif

using namespace std::chrono_literals;

namespace emulator {

namespace {

constexpr std::chrono::microseconds IdleTimeout = 50ms;
constexpr std::chrono::microseconds PulseCheck = 5ms; // the bus clock may be a manual one: look again soon
constexpr auto HangUpNap = 5ms;

int baudOf(speed_t speed)
{
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

// Answers are due to the microsecond at 9600 baud and above; whole milliseconds would add up.
void waitFor(pollfd *fds, nfds_t count, std::chrono::microseconds timeout)
{
#ifdef __linux__
    const timespec wait {time_t(timeout.count() / 1000000), long(timeout.count() % 1000000) * 1000};
    ::ppoll(fds, count, &wait, nullptr);
#else
    ::poll(fds, count, int(std::chrono::ceil<std::chrono::milliseconds>(timeout).count()));
#endif
}

// Start bit, eight data bits and a stop bit.
std::chrono::nanoseconds frameTime(int baud)
{
    return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

PtyEmulator::PtyEmulator(std::shared_ptr<sim::SimBus> bus, Faults faults, Timing timing)
    : m_bus(std::move(bus))
    , m_lineDriver(*m_bus, faults)
    , m_timing(timing)
{ }

PtyEmulator::~PtyEmulator()
{
    stop();
    closeFd(m_master);
    closeFd(m_inotify);
    closeFd(m_wake[0]);
    closeFd(m_wake[1]);
}

bool PtyEmulator::open()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        m_error = QStringLiteral("cannot create a pseudo-terminal: %1")
                      .arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // Raw from the start: a host that has not set up the line yet must not see echoes.
    termios settings {};
    if (::tcgetattr(m_master, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, B9600);
        ::tcsetattr(m_master, TCSANOW, &settings);
    }
    if (::pipe(m_wake) != 0) {
        m_error = QStringLiteral("cannot create a pipe: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
#ifdef __linux__
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0
        || ::inotify_add_watch(m_inotify, m_slavePath.toLocal8Bit().constData(), IN_OPEN | IN_CLOSE) < 0) {
        m_error
            = QStringLiteral("cannot watch %1: %2").arg(m_slavePath, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
#endif
    return true;
}

void PtyEmulator::start()
{
    m_stop = false;
    m_thread = std::thread([this] { run(m_stop); });
}

void PtyEmulator::stop()
{
    m_stop = true;
    if (m_wake[1] >= 0) {
        const char wake = 0;
        [[maybe_unused]] const auto written = ::write(m_wake[1], &wake, 1);
    }
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
        pollfd fds[3] {};
        nfds_t count = 0;
        fds[count++] = {m_wake[0], POLLIN, 0};
        if (m_inotify >= 0)
            fds[count++] = {m_inotify, POLLIN, 0};
        const bool watchHost = m_inotify < 0 || m_hostFiles > 0;
        const nfds_t hostIndex = count;
        if (watchHost)
            fds[count++] = {m_master, POLLIN, 0};
        waitFor(fds, count, pollTimeout());

        if (fds[0].revents & POLLIN) {
            char drain[16];
            [[maybe_unused]] const auto got = ::read(m_wake[0], drain, sizeof drain);
        }
        if (m_inotify >= 0) {
            watchOpens(); // before the data: the host opened the port before it wrote
        } else {
            // Without a watch on the slave side only the hang-up of the master side tells.
            const bool hangUp = (fds[hostIndex].revents & POLLHUP) != 0;
            if (hangUp != m_hostGone) {
                if (hangUp)
                    hostClosed();
                else
                    hostOpened();
                m_hostGone = hangUp;
            }
            if (hangUp)
                std::this_thread::sleep_for(HangUpNap); // reported at once on every poll
        }
        if (watchHost && (fds[hostIndex].revents & POLLIN))
            readHost();
        {
            std::lock_guard lock(m_mutex);
            const QByteArray ended = m_lineDriver.poll();
            if (!ended.isEmpty())
                schedule(ended, Clock::now());
        }
        sendDue();
    }
}

std::chrono::microseconds PtyEmulator::pollTimeout()
{
    auto timeout = IdleTimeout;
    if (!m_answers.empty()) {
        const auto wait = std::chrono::ceil<std::chrono::microseconds>(m_answers.front().due - Clock::now());
        timeout = std::clamp(wait, std::chrono::microseconds(0), timeout);
    }
    std::lock_guard lock(m_mutex);
    if (m_lineDriver.pulseDeadline())
        timeout = std::min(timeout, PulseCheck);
    return timeout;
}

void PtyEmulator::watchOpens()
{
#ifdef __linux__
    alignas(inotify_event) char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(m_inotify, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->mask & IN_OPEN) {
                if (m_hostFiles++ == 0)
                    hostOpened();
            } else if (event->mask & IN_CLOSE) {
                if (m_hostFiles > 0 && --m_hostFiles == 0)
                    hostClosed();
            }
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
#endif
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
    m_answers.clear();
    // Without the adapter's supply the bus is dead: parasite-powered parts forget all but their EEPROM.
    for (std::size_t i = 0; i < m_bus->deviceCount(); ++i) {
        const auto *thermometer = m_bus->thermometer(i);
        if (!thermometer || thermometer->parasitePowered())
            m_bus->device(i).powerCycle(m_bus->clock().now());
    }
}

void PtyEmulator::readHost()
{
    char buffer[4096];
    const ssize_t got = ::read(m_master, buffer, sizeof buffer);
    if (got <= 0)
        return; // the host has just gone; its close is on the way
    termios settings {};
    const int baud = ::tcgetattr(m_master, &settings) == 0 ? baudOf(::cfgetospeed(&settings)) : 0;
    const auto now = Clock::now();
    std::lock_guard lock(m_mutex);
    for (ssize_t i = 0; i < got; ++i) {
        if (m_timing.realTime) {
            takeInRealTime(buffer[i], baud, now);
            continue;
        }
        m_receiveFree = std::max(m_receiveFree, now) + m_timing.byteTime;
        schedule(m_lineDriver.receive(QByteArray(1, buffer[i]), baud), m_receiveFree);
    }
}

void PtyEmulator::takeInRealTime(char byte, int hostBaud, Clock::time_point now)
{
    // The frames come at the host's rate, whether the adapter's matches or not.
    m_receiveFree
        = std::max(m_receiveFree, now) + frameTime(hostBaud > 0 ? hostBaud : m_lineDriver.baudRate());
    const auto arrived = m_receiveFree;
    Clock::time_point start = arrived;
    if (arrived < m_workFree) {
        if (m_lastStart > arrived || m_lineDriver.faults().unbuffered) {
            ++m_overruns; // the one place to hold a byte is taken
            return;
        }
        start = m_workFree;
    }
    const auto before = m_lineDriver.busTime();
    const QByteArray answers = m_lineDriver.receive(QByteArray(1, byte), hostBaud);
    m_lastStart = start;
    m_workFree = start + (m_lineDriver.busTime() - before);
    schedule(answers, m_workFree);
}

void PtyEmulator::schedule(const QByteArray &answers, Clock::time_point after)
{
    for (const char byte : answers) {
        const std::chrono::nanoseconds byteTime
            = m_timing.realTime ? frameTime(m_lineDriver.baudRate()) : m_timing.byteTime;
        m_sendFree = std::max(m_sendFree, after) + byteTime;
        m_answers.push_back({m_sendFree + m_timing.latency, byte});
    }
}

void PtyEmulator::sendDue()
{
    const auto now = Clock::now();
    QByteArray due;
    while (!m_answers.empty() && m_answers.front().due <= now) {
        due += m_answers.front().byte;
        m_answers.pop_front();
    }
    if (!due.isEmpty()) [[maybe_unused]]
        const auto written = ::write(m_master, due.constData(), size_t(due.size()));
}

} // namespace emulator
