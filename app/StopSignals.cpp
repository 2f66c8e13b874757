// SIGINT and SIGTERM turned into a Qt signal, so a stop is handled on the event loop like a click on STOP.
#include "app/StopSignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace app {

namespace {

// A signal handler may only write to a descriptor: the event loop reads the other end.
int pipeEnds[2] = {-1, -1};
struct sigaction previousInt;
struct sigaction previousTerm;

void onSignal(int number)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const auto written = ::write(pipeEnds[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pipeEnds) != 0)
        return;
    for (const int end : pipeEnds) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    m_notifier = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::readPending);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInt);
    ::sigaction(SIGTERM, &action, &previousTerm);
}

StopSignals::~StopSignals()
{
    if (!m_notifier)
        return;
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    delete m_notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

bool StopSignals::available()
{
    return true;
}

void StopSignals::readPending()
{
    char bytes[16];
    bool any = false;
    while (::read(pipeEnds[1], bytes, sizeof bytes) > 0)
        any = true;
    if (any)
        emit stopRequested();
}

#else

// Elsewhere the platform's own interruption ends the program.
StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{ }

StopSignals::~StopSignals() = default;

bool StopSignals::available()
{
    return false;
}

void StopSignals::readPending() { }

#endif

} // namespace app
