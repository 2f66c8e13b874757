// The pseudo-terminal the emulator answers on, with the file descriptors it needs.
#include "tools/ka7700-emulator/Pty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace emulator {

namespace {

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

QString systemError()
{
    return QString::fromLocal8Bit(strerror(errno));
}

} // namespace

void FileDescriptor::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

bool Pty::open()
{
    m_master.reset(::posix_openpt(O_RDWR | O_NOCTTY));
    if (!m_master.valid() || ::grantpt(m_master.get()) != 0 || ::unlockpt(m_master.get()) != 0) {
        m_error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(systemError());
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master.get()));
    ::fcntl(m_master.get(), F_SETFL, ::fcntl(m_master.get(), F_GETFL) | O_NONBLOCK);
    // Raw from the start: a host that has not set up the line yet must not see echoes.
    termios settings {};
    if (::tcgetattr(m_master.get(), &settings) == 0) {
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, B9600);
        ::tcsetattr(m_master.get(), TCSANOW, &settings);
    }
    int pipeEnds[2] = {-1, -1};
    if (::pipe(pipeEnds) != 0) {
        m_error = QStringLiteral("cannot create a pipe: %1").arg(systemError());
        return false;
    }
    m_wakeRead.reset(pipeEnds[0]);
    m_wakeWrite.reset(pipeEnds[1]);
#ifdef __linux__
    m_watch.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!m_watch.valid()
        || ::inotify_add_watch(m_watch.get(), m_slavePath.toLocal8Bit().constData(), IN_OPEN | IN_CLOSE)
            < 0) {
        m_error = QStringLiteral("cannot watch %1: %2").arg(m_slavePath, systemError());
        return false;
    }
#endif
    return true;
}

// Answers are due to the microsecond at 9600 baud and above; whole milliseconds would add up.
Pty::Ready Pty::wait(std::chrono::microseconds timeout, bool host)
{
    pollfd fds[3] {};
    nfds_t count = 0;
    fds[count++] = {m_wakeRead.get(), POLLIN, 0};
    const nfds_t watchIndex = count;
    if (m_watch.valid())
        fds[count++] = {m_watch.get(), POLLIN, 0};
    const nfds_t hostIndex = count;
    if (host)
        fds[count++] = {m_master.get(), POLLIN, 0};
#ifdef __linux__
    const timespec wait {
        time_t(timeout.count() / 1000000), static_cast<long>(timeout.count() % 1000000) * 1000};
    ::ppoll(fds, count, &wait, nullptr);
#else
    ::poll(fds, count, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(timeout).count()));
#endif
    if (fds[0].revents & POLLIN) {
        char drain[16];
        [[maybe_unused]] const auto got = ::read(m_wakeRead.get(), drain, sizeof drain);
    }
    Ready ready;
    ready.watch = m_watch.valid() && (fds[watchIndex].revents & POLLIN);
    ready.input = host && (fds[hostIndex].revents & POLLIN);
    ready.hangUp = host && (fds[hostIndex].revents & POLLHUP);
    return ready;
}

void Pty::wake()
{
    if (!m_wakeWrite.valid())
        return;
    const char wake = 0;
    [[maybe_unused]] const auto written = ::write(m_wakeWrite.get(), &wake, 1);
}

QList<int> Pty::readOpenEvents()
{
    QList<int> events;
#ifdef __linux__
    alignas(inotify_event) char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(m_watch.get(), buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->mask & IN_OPEN)
                events += 1;
            else if (event->mask & IN_CLOSE)
                events += -1;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
#endif
    return events;
}

Pty::HostChange Pty::count(int event)
{
    if (event > 0)
        return m_hostFiles++ == 0 ? HostChange::Opened : HostChange::None;
    return m_hostFiles > 0 && --m_hostFiles == 0 ? HostChange::Closed : HostChange::None;
}

QByteArray Pty::readHost()
{
    char buffer[4096];
    const ssize_t got = ::read(m_master.get(), buffer, sizeof buffer);
    return got > 0 ? QByteArray(buffer, static_cast<qsizetype>(got)) : QByteArray();
}

int Pty::hostBaud() const
{
    termios settings {};
    return ::tcgetattr(m_master.get(), &settings) == 0 ? baudOf(::cfgetospeed(&settings)) : 0;
}

void Pty::write(const QByteArray &bytes)
{
    if (!bytes.isEmpty()) [[maybe_unused]]
        const auto written = ::write(m_master.get(), bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace emulator
