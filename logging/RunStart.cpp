// START: the settings taken over, the log file claimed, the session started, the sensors listed.
#include "logging/RunControl.h"

#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "logging/StartFailureText.h"
#include "logging/TextFormats.h"

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

} // namespace

void RunControl::startSteps()
{
    lockSettings(true);
    if (!takeOverSettings()) {
        m_lastStart = StartOutcome::WrongSetting;
        return;
    }
    if (!openSession())
        return;
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
    beginRun(devices);
}

bool RunControl::takeOverSettings()
{
    if (const QString wrong = readRunSettings(m_view, m_settings); !wrong.isEmpty()) {
        m_view.showMessage(wrong);
        stopSteps();
        return false;
    }
    modKX4136::OneWireDelay = m_settings.oneWireDelay;
    m_view.setTimerInterval(m_settings.intervalMs);
    modKX4136::PortNum = m_settings.port;
    modKX4136::PortType = xw::PortTypeKA7700;
    return true;
}

bool RunControl::openSession()
{
    // Two programs logging into one file would mix their lines under each other's header.
    if (const QString inUse = m_settings.log ? m_log.claim(m_settings.logPath) : QString();
        !inUse.isEmpty()) {
        m_lastStart = StartOutcome::LogInUse;
        m_view.clearDevices();
        m_view.showStartFailure(inUse);
        stopSteps();
        return false;
    }
    if (!modKX4136::StartSession()) {
        m_lastStart = StartOutcome::NoSession;
        const QString reason = startFailureLine(modKX4136::PortNum, XWBUSLIB::lastStartFailure());
        m_view.clearDevices();
        m_view.showMessage(QStringLiteral("Error when starting session."));
        m_view.showStartFailure(reason);
        stopSteps();
        return false;
    }
    return true;
}

void RunControl::beginRun(modKX4136::LineList &devices)
{
    if (m_settings.convertAll)
        readPowerSupply(devices);
    // The delay stays the user's choice; the list only tells what it costs. The all-at-once cycle
    // waits for the slowest sensor whatever the delay.
    else if (const QString lag = modKX4136::conversionLagLine(m_discovery); !lag.isEmpty())
        devices.addItem(lag);
    RunRecord run;
    for (int i = 0; i <= modKX4136::LastSensor; ++i)
        run.roms.append(romCode(i));
    run.intervalMs = m_settings.intervalMs;
    readSensorsFile(run);
    m_periodMs = m_settings.intervalMs;
    m_toldLongCycle = false;
    if (m_settings.log) {
        const QString header = logHeaderLine(run.roms);
        m_log.setRunHeader(header);
        m_log.AppendLogLine(m_settings.logPath, header);
    }
    m_view.setTimerEnabled(true);
    m_view.setControlEnabled(Control::Command1, true);
    m_state = State::Running;
    m_lastStart = StartOutcome::Running;
    for (ReadingsListener *listener : QList(m_listeners))
        listener->runStarted(run);
}

} // namespace logging
