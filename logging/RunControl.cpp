// Run control: START, STOP, the reading cycle, resolution writing and closing, one bus transaction at a time.
#include "logging/RunControl.h"

#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "logging/Conversions.h"
#include "logging/StartFailureText.h"
#include "logging/TextFormats.h"
#include "wait/modMsgWait.h"

#include <utility>

namespace logging {

namespace {

// Detection reports straight into the window's device list.
class DeviceList : public modKX4136::LineList
{
public:
    explicit DeviceList(MainView &view)
        : m_view(view)
    { }
    void clear() override { m_view.clearDevices(); }
    void addItem(const QString &line) override { m_view.appendDeviceLine(line); }

private:
    MainView &m_view;
};

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

void RunControl::startSteps()
{
    lockSettings(true);
    if (!takeOverSettings()) {
        m_lastStart = StartOutcome::WrongSetting;
        return;
    }
    // Two programs logging into one file would mix their lines under each other's header.
    if (const QString inUse
        = m_view.check1State() != 0 ? m_log.claim(m_view.text(TextField::Text5)) : QString();
        !inUse.isEmpty()) {
        m_lastStart = StartOutcome::LogInUse;
        m_view.clearDevices();
        m_view.showStartFailure(inUse);
        stopSteps();
        return;
    }
    if (!modKX4136::StartSession()) {
        m_lastStart = StartOutcome::NoSession;
        const QString reason = startFailureLine(modKX4136::PortNum, XWBUSLIB::lastStartFailure());
        m_view.clearDevices();
        m_view.showMessage(QStringLiteral("Error when starting session."));
        m_view.showStartFailure(reason);
        stopSteps();
        return;
    }
    m_state = State::Halted;
    m_view.setLampColour(LampRed);
    DeviceList devices(m_view);
    m_discovery = modKX4136::discover(devices, [this] { return stopOrCloseHeld(); });
    m_view.setLampColour(LampGreen);
    // A STOP or close that came during detection takes over: starting the timer now would
    // begin a run the user has already ended.
    if (stopOrCloseHeld()) {
        m_lastStart = StartOutcome::StoppedDuringDetection;
        return;
    }
    if (m_discovery.result != 0) {
        m_lastStart = StartOutcome::DetectionFailed;
        return;
    }
    m_convertAll = m_view.convertAll();
    if (m_convertAll)
        readPowerSupply(devices);
    // The delay stays the user's choice; the list only tells what it costs. The all-at-once cycle
    // waits for the slowest sensor whatever the delay.
    else if (const QString lag = modKX4136::conversionLagLine(m_discovery); !lag.isEmpty())
        devices.addItem(lag);
    RunRecord run;
    for (int i = 0; i <= modKX4136::LastSensor; ++i)
        run.roms.append(romCode(i));
    run.intervalMs = m_intervalMs;
    readSensorsFile(run);
    m_periodMs = m_intervalMs;
    m_toldLongCycle = false;
    if (m_view.check1State() != 0) {
        const QString header = logHeaderLine(run.roms);
        m_log.setRunHeader(header);
        m_log.AppendLogLine(m_view.text(TextField::Text5), header);
    }
    m_view.setTimerEnabled(true);
    m_view.setControlEnabled(Control::Command1, true);
    m_state = State::Running;
    m_lastStart = StartOutcome::Running;
    for (ReadingsListener *listener : QList(m_listeners))
        listener->runStarted(run);
}

bool RunControl::takeOverSettings()
{
    // Every text is checked before any is taken over, so a wrong one leaves the module state alone.
    const auto delay = oneWireDelayFromText(m_view.text(TextField::Text4));
    const auto interval = intervalMsFromText(m_view.text(TextField::Text3));
    const auto port = portNumberFromText(m_view.text(TextField::Text2));
    // A path the file names cannot hold would be written under another name.
    const bool logPath = m_view.check1State() == 0 || fitsFileNameEncoding(m_view.text(TextField::Text5));
    const QString wrong = !delay ? QStringLiteral("Wrong 1-wire delay.")
        : !interval              ? QStringLiteral("Wrong reading interval.")
        : !port                  ? QStringLiteral("Wrong COM port number.")
        : !logPath               ? QStringLiteral("Wrong log file path.")
                                 : QString();
    if (!wrong.isEmpty()) {
        m_view.showMessage(wrong);
        stopSteps();
        return false;
    }
    modKX4136::OneWireDelay = *delay;
    m_view.setTimerInterval(*interval);
    m_intervalMs = *interval;
    modKX4136::PortNum = *port;
    modKX4136::PortType = xw::PortTypeKA7700;
    return true;
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
    for (const RunLock &lock : RunLocks) {
        if (!(waitForBus && lock.waitsForBus))
            m_view.setControlEnabled(lock.control, !locked);
    }
    m_unlockWhenFree = waitForBus;
}

bool RunControl::tellKeptLines()
{
    const QString own = m_view.check1State() != 0 ? m_view.text(TextField::Text5) : QString();
    const LogFile::KeptNote kept = m_log.finish(own);
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
