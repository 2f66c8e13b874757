// Run control: START, STOP, the reading cycle, resolution writing and closing, one bus transaction at a time.
#include "logging/RunControl.h"

#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "logging/Conversions.h"
#include "logging/StartFailureText.h"
#include "logging/TextFormats.h"

#include <utility>

namespace logging {

namespace {

// Detection reports straight into the window's device list.
class DeviceList : public modKX4136::LineList
{
public:
    explicit DeviceList(MainView &view)
        : view_(view)
    { }
    void Clear() override { view_.clearDevices(); }
    void AddItem(const QString &line) override { view_.appendDeviceLine(line); }

private:
    MainView &view_;
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
    : view_(view)
    , log_([&view](const QString &line) { view.appendDeviceLine(line); }, pendingFolder)
    , clock_([] { return QDateTime::currentDateTime(); })
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
    const WriteChoice choice {view_.text(TextField::Text1), view_.comboResPosition()};
    switch (enter(BusGuard::Request::Write)) {
    case Entry::Refused:
        return;
    case Entry::Held:
        if (!heldWrite_)
            heldWrite_ = choice;
        view_.setControlEnabled(Control::Command1, false);
        return;
    case Entry::Now:
        break;
    }
    // Checked before the bus is taken: ticks must go on while the message waits for the user.
    if (const auto index = sensorToWrite(choice.sensor))
        busWork([&] { writeSteps(*index, choice.resolution); });
}

bool RunControl::CloseRequested()
{
    const Entry entry = enter(BusGuard::Request::Close);
    if (entry == Entry::Now)
        endSessionForClose();
    // Refused only when the program is ending already.
    return entry != Entry::Held;
}

void RunControl::addListener(ReadingsListener &listener)
{
    if (!listeners_.contains(&listener))
        listeners_.append(&listener);
}

void RunControl::removeListener(ReadingsListener &listener)
{
    listeners_.removeAll(&listener);
}

RunControl::Entry RunControl::enter(std::optional<BusGuard::Request> holdAs)
{
    if (ended_)
        return Entry::Refused;
    if (!holdAs)
        return guard_.busy() ? Entry::Refused : Entry::Now;
    return guard_.holdWhileBusy(*holdAs) ? Entry::Held : Entry::Now;
}

void RunControl::busWork(const std::function<void()> &steps)
{
    {
        BusGuard::Activity activity(guard_);
        steps();
        runHeld();
    }
    if (std::exchange(unlockWhenFree_, false) && !ended_)
        lockSettings(false);
}

void RunControl::startSteps()
{
    lockSettings(true);
    if (!takeOverSettings()) {
        lastStart_ = StartOutcome::WrongSetting;
        return;
    }
    if (!modKX4136::StartSession()) {
        lastStart_ = StartOutcome::NoSession;
        const QString reason = startFailureLine(modKX4136::PortNum, XWBUSLIB::LastStartFailure());
        view_.clearDevices();
        view_.showMessage(QStringLiteral("Error when starting session."));
        view_.showStartFailure(reason);
        stopSteps();
        return;
    }
    state_ = State::Halted;
    view_.setLampColour(LampRed);
    DeviceList devices(view_);
    const int16_t detected = modKX4136::DetectSensors(devices, [this] { return stopOrCloseHeld(); });
    view_.setLampColour(LampGreen);
    // A STOP or close that came during detection takes over: starting the timer now would
    // begin a run the user has already ended.
    if (stopOrCloseHeld()) {
        lastStart_ = StartOutcome::StoppedDuringDetection;
        return;
    }
    if (detected != 0) {
        lastStart_ = StartOutcome::DetectionFailed;
        return;
    }
    // The delay stays the user's choice; the list only tells what it costs.
    if (const QString lag = modKX4136::ConversionLagLine(); !lag.isEmpty())
        devices.AddItem(lag);
    RunRecord run;
    for (int i = 0; i <= modKX4136::LastSensor; ++i)
        run.roms.append(romCode(i));
    if (view_.check1State() != 0) {
        const QString header = logHeaderLine(run.roms);
        log_.setRunHeader(header);
        log_.AppendLogLine(view_.text(TextField::Text5), header);
    }
    view_.setTimerEnabled(true);
    view_.setControlEnabled(Control::Command1, true);
    state_ = State::Running;
    lastStart_ = StartOutcome::Running;
    for (ReadingsListener *listener : QList(listeners_))
        listener->runStarted(run);
}

bool RunControl::takeOverSettings()
{
    // Every text is checked before any is taken over, so a wrong one leaves the module state alone.
    const auto delay = oneWireDelayFromText(view_.text(TextField::Text4));
    const auto interval = intervalMsFromText(view_.text(TextField::Text3));
    const auto port = portNumberFromText(view_.text(TextField::Text2));
    // A path the file names cannot hold would be written under another name.
    const bool logPath = view_.check1State() == 0 || fitsFileNameEncoding(view_.text(TextField::Text5));
    const QString wrong = !delay ? QStringLiteral("Wrong 1-wire delay.")
        : !interval              ? QStringLiteral("Wrong reading interval.")
        : !port                  ? QStringLiteral("Wrong COM port number.")
        : !logPath               ? QStringLiteral("Wrong log file path.")
                                 : QString();
    if (!wrong.isEmpty()) {
        view_.showMessage(wrong);
        stopSteps();
        return false;
    }
    modKX4136::OneWireDelay = *delay;
    view_.setTimerInterval(*interval);
    modKX4136::PortNum = *port;
    modKX4136::PortType = xw::PortTypeKA7700;
    return true;
}

void RunControl::stopSteps()
{
    view_.setTimerEnabled(false);
    modKX4136::EndSession();
    view_.setControlEnabled(Control::Command1, false);
    lockSettings(false);
    state_ = State::Idle;
}

void RunControl::lockSettings(bool locked)
{
    const bool waitForBus = !locked && guard_.busy();
    for (const RunLock &lock : RunLocks) {
        if (!(waitForBus && lock.waitsForBus))
            view_.setControlEnabled(lock.control, !locked);
    }
    unlockWhenFree_ = waitForBus;
}

bool RunControl::tellKeptLines()
{
    const QString note = log_.finish();
    if (!note.isEmpty())
        view_.showMessage(note);
    return !note.isEmpty();
}

void RunControl::endSessionForClose()
{
    modKX4136::EndSession();
    ended_ = true;
    // Before the window goes, while there is still one to show the message over.
    tellKeptLines();
}

bool RunControl::runHeld()
{
    bool ran = false;
    while (const auto request = guard_.takeHeld()) {
        ran = true;
        switch (*request) {
        case BusGuard::Request::Stop:
            stopSteps();
            break;
        case BusGuard::Request::Write: {
            const WriteChoice choice = *std::exchange(heldWrite_, std::nullopt);
            // A STOP that came first has ended the run the write was meant for.
            if (state_ != State::Running)
                break;
            if (const auto index = sensorToWrite(choice.sensor))
                writeSteps(*index, choice.resolution);
            else
                view_.setControlEnabled(Control::Command1, true);
            break;
        }
        case BusGuard::Request::Close:
            endSessionForClose();
            view_.endProgram();
            return true;
        }
    }
    return ran;
}

bool RunControl::stopOrCloseHeld() const
{
    return guard_.isHeld(BusGuard::Request::Stop) || guard_.isHeld(BusGuard::Request::Close);
}

RomCode RunControl::romCode(int index)
{
    RomCode rom {};
    for (std::size_t j = 0; j < rom.size(); ++j)
        rom[j] = static_cast<uint8_t>(modKX4136::RomTable[index][j]);
    return rom;
}

} // namespace logging
