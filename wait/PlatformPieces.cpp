// The platform side of MsgWait: tick counter, blocking wait in the event dispatcher, event pump.
#include "wait/PlatformPieces.h"
#include "wait/modMsgWait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <QTimerEvent>
#include <chrono>
#include <thread>

namespace modMsgWait {

namespace {

struct Pieces
{
    TickSource tick;
    PlatformWait wait;
    EventPump pump;
};

Pieces &installed()
{
    static Pieces pieces;
    return pieces;
}

// Notes that its one timer fired, so the wait can tell its time-out from arriving input.
class TimeoutWatch : public QObject
{
public:
    explicit TimeoutWatch(int32_t timeoutMs) { m_timerId = startTimer(timeoutMs, Qt::PreciseTimer); }
    ~TimeoutWatch() override
    {
        if (m_timerId != 0)
            killTimer(m_timerId);
    }
    bool fired() const { return m_hasFired; }

protected:
    void timerEvent(QTimerEvent *event) override
    {
        if (event->timerId() == m_timerId)
            m_hasFired = true;
    }

private:
    int m_timerId = 0;
    bool m_hasFired = false;
};

} // namespace

int32_t GetTickCount()
{
    // Copied so that a handler replacing the source while it runs cannot pull it from under us.
    if (const TickSource source = installed().tick)
        return source();
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

void processPendingEvents()
{
    if (const EventPump pump = installed().pump) {
        pump();
        return;
    }
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

int32_t defaultPlatformWait(int32_t count, const int32_t *handles, int32_t timeoutMs)
{
    Q_UNUSED(handles);
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread());
    if (!dispatcher) {
        if (timeoutMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return WaitTimedOut;
    }
    if (timeoutMs < 0) {
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        return count;
    }
    const TimeoutWatch watch(timeoutMs);
    dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return watch.fired() ? WaitTimedOut : count;
}

void setTickSource(TickSource source)
{
    installed().tick = std::move(source);
}

void setPlatformWait(PlatformWait wait)
{
    installed().wait = std::move(wait);
}

void setEventPump(EventPump pump)
{
    installed().pump = std::move(pump);
}

int32_t detail::waitForInput(int32_t count, const int32_t *handles, int32_t timeoutMs)
{
    if (const PlatformWait wait = installed().wait)
        return wait(count, handles, timeoutMs);
    return defaultPlatformWait(count, handles, timeoutMs);
}

} // namespace modMsgWait
