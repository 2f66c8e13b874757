// A run without a window: START at once, a printed block per reading cycle, STOP on a signal or a count.
#include "app/ConsoleRun.h"

#include "app/AlarmCommand.h"
#include "app/ConsoleOutput.h"
#include "app/DriverChoice.h"
#include "app/JsonLines.h"
#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "publish/MqttPublisher.h"
#include "web/WebServer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <memory>

ConsoleRun::ConsoleRun(const ConsoleSettings &settings, int cycles, QTextStream &out, QTextStream &err,
    const QString &pendingFolder)
    : m_view(settings, out, err)
    , m_runControl(m_view, pendingFolder)
    , m_cycles(cycles)
{
    m_runControl.addListener(m_view);
    connect(&m_view, &ConsoleView::timer1Tick, this, &ConsoleRun::onTick);
    connect(&m_stopSignals, &StopSignals::stopRequested, this, &ConsoleRun::onStopRequested);
}

int ConsoleRun::exec()
{
    m_runControl.StartRun();
    int status = statusAfterStart();
    const auto running
        = [this] { return !m_stopRequested && m_runControl.state() == logging::RunControl::State::Running; };
    // A write that failed is told and ends in the status, but the readings go on; a sensor that is not
    // there means the command line does not fit the bus, and the run ends.
    const int written
        = status == Ended && running() ? writeResolutions(m_runControl, m_view, m_writes) : Ended;
    if (written == WrongSetting)
        status = WrongSetting;
    if (status == Ended && !m_endAfterStart && running())
        m_loop.exec();
    endSession();
    status = std::max(status, written);
    // Readings that are not in their log yet make the run a failure, whatever else went well.
    return m_runControl.tellKeptLines() ? std::max<int>(status, Failed) : status;
}

int ConsoleRun::statusAfterStart()
{
    // A stop that came during START has been run by run control once detection let go of the bus.
    if (m_stopRequested)
        return Ended;
    using Outcome = logging::RunControl::StartOutcome;
    switch (*m_runControl.lastStart()) {
    case Outcome::Running:
    case Outcome::StoppedDuringDetection:
        return Ended;
    case Outcome::NoSession:
    case Outcome::DetectionFailed:
        // The reason is printed already, below the message or as the device list's last line.
        return Failed;
    case Outcome::WrongSetting:
    case Outcome::LogInUse:
        break;
    }
    return WrongSetting;
}

void ConsoleRun::onTick()
{
    // A tick handled inside a wait of the cycle under way is skipped by run control, as the window's;
    // the cycle's own tick decides about the end.
    if (m_runControl.busy())
        return;
    m_runControl.ReadingCycle();
    if (m_stopRequested || (m_cycles > 0 && m_view.cyclesPrinted() >= m_cycles))
        m_loop.exit();
}

void ConsoleRun::onStopRequested()
{
    m_stopRequested = true;
    // Inside a transaction STOP is held and runs as soon as the bus is free; the handler that
    // started the transaction leaves the loop afterwards.
    m_runControl.StopRun();
    if (!m_runControl.busy())
        m_loop.exit();
}

void ConsoleRun::endSession()
{
    if (m_runControl.state() != logging::RunControl::State::Idle)
        m_runControl.StopRun();
}

int runConsoleProgram(char **argv, const CommandLineOptions &options)
{
    int qtArgc = 1;
    // The web page's chart is drawn by the chart's graphics items, which need the widgets' application
    // object; they draw into an image, so no display.
    if (options.http)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> application = options.http
        ? std::make_unique<QApplication>(qtArgc, argv)
        : std::make_unique<QCoreApplication>(qtArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kx4136-logger"));
    XWBUSLIB::Install(chooseDriver(options));

    // Nobody reading what is printed must never hold up the readings and their log.
    ConsoleOutput errDevice(2);
    ConsoleOutput outDevice(1, &errDevice);
    QTextStream out(&outDevice);
    QTextStream err(&errDevice);
    out.setEncoding(QStringConverter::System);
    err.setEncoding(QStringConverter::System);
    if (options.json)
        outDevice.setOwnLineFormat(jsonlines::messageLine);
    // Set by the service manager when the output goes to its journal.
    const bool toJournal = qEnvironmentVariableIsSet("JOURNAL_STREAM");
    const ConsoleSettings settings {options.port, options.interval, options.delay,
        options.logPath.value_or(logging::defaultLogPath(
            options.simulate ? logging::LogBus::Simulated : logging::LogBus::Adapter)),
        options.log, toJournal, options.convertAll, options.json};
    // A file that cannot be read is mended before the run, not found wanting at its first START.
    if (const QString error = logging::readSensorsFile(options.sensorsPath).error; !error.isEmpty()) {
        err << "kx4136-logger: " << error << '\n';
        err.flush();
        return ConsoleRun::WrongSetting;
    }
    // Refused before the run starts, as a wrong setting; outlives the run, which tells it the stop.
    std::unique_ptr<web::WebServer> webServer;
    if (options.http) {
        QString error;
        QString note;
        webServer = startWebServer(*options.http, error, note);
        if (!webServer) {
            err << "kx4136-logger: " << error << '\n';
            err.flush();
            return ConsoleRun::WrongSetting;
        }
        if (!note.isEmpty()) {
            out << note << '\n';
            out.flush();
        }
    }
    // Outlives the run, so that "offline" goes out once the session has ended.
    std::unique_ptr<publish::MqttPublisher> publisher;
    if (options.mqtt)
        publisher
            = std::make_unique<publish::MqttPublisher>(*options.mqtt, [&out, &options](const QString &line) {
                  out << (options.json ? jsonlines::messageLine(line) : line) << '\n';
                  out.flush();
              });
    if (publisher)
        publisher->setPortSource([] { return int(modKX4136::PortNum); });
    std::unique_ptr<AlarmCommand> alarmCommand;
    if (!options.alarmCommand.isEmpty())
        alarmCommand
            = std::make_unique<AlarmCommand>(options.alarmCommand, [&out, &options](const QString &line) {
                  out << (options.json ? jsonlines::messageLine(line) : line) << '\n';
                  out.flush();
              });
    int status = 0;
    {
        ConsoleRun run(settings, options.cycles, out, err, logging::defaultPendingFolder());
        run.runControl().setSensorsFile(options.sensorsPath);
        run.setResolutionWrites(options.resolutionWrites);
        run.setEndAfterStart(options.startOnly);
        if (publisher)
            run.runControl().addListener(*publisher);
        if (alarmCommand)
            run.runControl().addListener(*alarmCommand);
        if (webServer)
            run.runControl().addListener(*webServer);
        status = run.exec();
        // The last cycle's changes are told before the program ends.
        if (alarmCommand)
            alarmCommand->finish();
    }
    publisher.reset();
    XWBUSLIB::Install(nullptr);
    return status;
}
