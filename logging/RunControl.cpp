// Run control: START, STOP, the reading cycle, resolution writing and closing, one bus transaction at a time.
#include "logging/RunControl.h"

#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "logging/Conversions.h"
#include "logging/StartFailureText.h"

namespace logging {

namespace {

// Detection reports straight into the window's device list.
class DeviceList : public modKX4136::LineList
{
public:
    explicit DeviceList(MainView &view)
        : view_(view)
    { }
    void Clear() override { view_.clearList(ListBox::lstDevices); }
    void AddItem(const QString &line) override { view_.appendListLine(ListBox::lstDevices, line); }

private:
    MainView &view_;
};

} // namespace

RunControl::RunControl(MainView &view, const QString &pendingFolder)
    : view_(view)
    , log_([&view](const QString &line) { view.appendListLine(ListBox::lstDevices, line); }, pendingFolder)
    , clock_([] { return QDateTime::currentDateTime(); })
{ }

void RunControl::StartRun()
{
    // START cannot be held: its button is disabled whenever bus work can be under way.
    if (ended_ || guard_.busy())
        return;
    BusGuard::Activity activity(guard_);
    startSteps();
    runHeld();
}

void RunControl::StopRun()
{
    if (ended_ || guard_.holdWhileBusy(BusGuard::Request::Stop))
        return;
    stopSteps();
}

void RunControl::ReadingCycle()
{
    // A tick that falls due while bus work runs is skipped, not queued.
    if (ended_ || guard_.busy())
        return;
    BusGuard::Activity activity(guard_);
    cycleSteps();
    runHeld();
}

void RunControl::WriteResolution()
{
    if (ended_)
        return;
    if (guard_.holdWhileBusy(BusGuard::Request::Write)) {
        view_.setControlEnabled(Control::Command1, false);
        return;
    }
    // Checked before the bus is taken: ticks must go on while the message waits for the user.
    const auto index = sensorToWrite();
    if (!index)
        return;
    BusGuard::Activity activity(guard_);
    writeSteps(*index);
    runHeld();
}

bool RunControl::CloseRequested()
{
    if (ended_)
        return true;
    if (guard_.holdWhileBusy(BusGuard::Request::Close))
        return false;
    endSessionForClose();
    return true;
}

void RunControl::startSteps()
{
    for (const Control c : {Control::Text2, Control::Text3, Control::Text4, Control::Text5, Control::Command3,
             Control::Command4, Control::Check1})
        view_.setControlEnabled(c, false);
    if (!takeOverSettings())
        return;
    if (!modKX4136::StartSession()) {
        const QString reason = startFailureLine(modKX4136::PortNum, XWBUSLIB::LastStartFailure());
        view_.clearList(ListBox::lstDevices);
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
    if (detected != 0 || stopOrCloseHeld())
        return;
    // The delay stays the user's choice; the list only tells what it costs.
    if (const QString lag = modKX4136::ConversionLagLine(); !lag.isEmpty())
        devices.AddItem(lag);
    if (view_.check1State() != 0) {
        const QString header = LogHeaderLine();
        log_.setRunHeader(header);
        log_.AppendLogLine(view_.text(TextField::Text5), header);
    }
    view_.setTimerEnabled(true);
    view_.setControlEnabled(Control::Command1, true);
    state_ = State::Running;
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
    view_.setControlEnabled(Control::Text5, true);
    view_.setControlEnabled(Control::Command1, false);
    view_.setControlEnabled(Control::Command3, true);
    view_.setControlEnabled(Control::Command4, true);
    view_.setControlEnabled(Control::Text2, true);
    view_.setControlEnabled(Control::Text3, true);
    view_.setControlEnabled(Control::Text4, true);
    view_.setControlEnabled(Control::Check1, true);
    state_ = State::Idle;
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
        case BusGuard::Request::Write:
            // A STOP that came first has ended the run the write was meant for.
            if (state_ != State::Running)
                break;
            if (const auto index = sensorToWrite())
                writeSteps(*index);
            else
                view_.setControlEnabled(Control::Command1, true);
            break;
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

} // namespace logging
