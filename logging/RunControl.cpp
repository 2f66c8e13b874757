// Run control: the click and tick handlers, one bus transaction at a time, STOP, held requests and closing.
#include "logging/RunControl.h"

#include "bus/modKX4136.h"
#include "wait/modMsgWait.h"

#include <utility>

namespace logging {

namespace {

// The controls a run locks, in the order START locks them. START and Help wait for the bus besides: a
// START clicked during bus work would be skipped, and Help would open its window inside that work.
struct RunLock
{
    Control control;
    bool waitsForBus;
};
constexpr RunLock RunLocks[] = {{Control::Text2, false}, {Control::Text3, false}, {Control::Text4, false},
    {Control::Text5, false}, {Control::Command3, true}, {Control::Command4, true}, {Control::Check1, false}};

} // namespace

RunControl::RunControl(MainView &view, const QString &pendingFolder)
    : m_view(view)
    , m_log([&view](const QString &line) { view.appendDeviceLine(line); }, pendingFolder)
    , m_clock([] { return QDateTime::currentDateTime(); })
{ }

void RunControl::StartRun()
{
    // START is never held: its button stays disabled until bus work has ended.
    if (enter() == Entry::Now)
        busWork([this] { startSteps(); });
}

void RunControl::StopRun()
{
    if (enter(BusGuard::Request::Stop) == Entry::Now)
        stopSteps();
}

void RunControl::ReadingCycle()
{
    if (enter() == Entry::Now)
        busWork([this] { cycleSteps(); });
}

void RunControl::WriteResolution()
{
    // Taken at the click: an edit while the write is held must not change what it writes.
    const WriteChoice choice {m_view.text(TextField::Text1), m_view.comboResPosition()};
    switch (enter(BusGuard::Request::Write)) {
    case Entry::Refused:
        return;
    case Entry::Held:
        if (!m_heldWrite)
            m_heldWrite = choice;
        m_view.setControlEnabled(Control::Command1, false);
        return;
    case Entry::Now:
        break;
    }
    // Checked before the bus is taken: ticks must go on while the message waits for the user.
    if (const auto index = sensorToWrite(choice.sensor))
        busWork([&] { writeSteps(*index, choice.resolution); });
}

bool RunControl::closeRequested()
{
    const Entry entry = enter(BusGuard::Request::Close);
    if (entry == Entry::Now)
        endSessionForClose();
    // Refused only when the program is ending already.
    return entry != Entry::Held;
}

void RunControl::addListener(ReadingsListener &listener)
{
    if (!m_listeners.contains(&listener))
        m_listeners.append(&listener);
}

void RunControl::removeListener(ReadingsListener &listener)
{
    m_listeners.removeAll(&listener);
}

RunControl::Entry RunControl::enter(std::optional<BusGuard::Request> holdAs)
{
    if (m_ended)
        return Entry::Refused;
    if (!holdAs)
        return m_guard.busy() ? Entry::Refused : Entry::Now;
    return m_guard.holdWhileBusy(*holdAs) ? Entry::Held : Entry::Now;
}

void RunControl::busWork(const std::function<void()> &steps)
{
    {
        BusGuard::Activity activity(m_guard);
        steps();
        runHeld();
    }
    if (std::exchange(m_unlockWhenFree, false) && !m_ended)
        lockSettings(false);
}

void RunControl::stopSteps()
{
    m_view.setTimerEnabled(false);
    modKX4136::EndSession();
    m_log.release();
    m_view.setControlEnabled(Control::Command1, false);
    lockSettings(false);
    m_state = State::Idle;
    for (ReadingsListener *listener : QList(m_listeners))
        listener->runStopped();
}

void RunControl::lockSettings(bool locked)
{
    const bool waitForBus = !locked && m_guard.busy();
    for (const RunLock &lock : RunLocks)
        if (!(waitForBus && lock.waitsForBus))
            m_view.setControlEnabled(lock.control, !locked);
    m_unlockWhenFree = waitForBus;
}

bool RunControl::tellKeptLines()
{
    // Without a START the fields name the log the user means; after one, the run's own log.
    const QString ownLog = m_lastStart ? m_settings.ownLog()
        : m_view.check1State() != 0    ? m_view.text(TextField::Text5)
                                       : QString();
    const LogFile::KeptNote kept = m_log.finish(ownLog);
    if (!kept.text.isEmpty())
        m_view.showMessage(kept.text);
    return kept.ownKept;
}

void RunControl::endSessionForClose()
{
    modKX4136::EndSession();
    m_ended = true;
    // Before the window goes, while there is still one to show the message over.
    tellKeptLines();
}

bool RunControl::runHeld()
{
    const int32_t began = modMsgWait::GetTickCount();
    const bool ran = runHeldRequests();
    m_heldWorkMs += msSince(began);
    return ran;
}

bool RunControl::runHeldRequests()
{
    bool ran = false;
    while (const auto request = m_guard.takeHeld()) {
        ran = true;
        switch (*request) {
        case BusGuard::Request::Stop:
            stopSteps();
            break;
        case BusGuard::Request::Write: {
            const WriteChoice choice = *std::exchange(m_heldWrite, std::nullopt);
            // A STOP that came first has ended the run the write was meant for.
            if (m_state != State::Running) {
                m_view.appendDeviceLine(QStringLiteral(
                    "The resolution was not written: STOP ended the run before the bus was free."));
                break;
            }
            if (const auto index = sensorToWrite(choice.sensor))
                writeSteps(*index, choice.resolution);
            else
                m_view.setControlEnabled(Control::Command1, true);
            break;
        }
        case BusGuard::Request::Close:
            endSessionForClose();
            m_view.endProgram();
            return true;
        }
    }
    return ran;
}

bool RunControl::stopOrCloseHeld() const
{
    return m_guard.isHeld(BusGuard::Request::Stop) || m_guard.isHeld(BusGuard::Request::Close);
}

RomCode RunControl::romCode(int index)
{
    RomCode rom {};
    for (std::size_t j = 0; j < rom.size(); ++j)
        rom[j] = static_cast<uint8_t>(modKX4136::RomTable[index][j]);
    return rom;
}

} // namespace logging
