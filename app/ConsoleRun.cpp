// A run without a window: START at once, a printed block per reading cycle, STOP on a signal or a count.
#include "app/ConsoleRun.h"

#include "app/AlarmCommand.h"
#include "app/ConsoleOutput.h"
#include "app/DriverChoice.h"
#include "app/JsonLines.h"
#include "app/RunListeners.h"
#include "bus/XWBUSLIB.h"
#include "publish/MqttPublisher.h"
#include "web/WebServer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace app {

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

namespace {

// Standard output and error of the program, neither of which ever holds up the readings and their log.
struct ConsoleStreams
{
    explicit ConsoleStreams(bool jsonLines)
        : json(jsonLines)
    {
        out.setEncoding(QStringConverter::System);
        err.setEncoding(QStringConverter::System);
        if (json)
            outDevice.setOwnLineFormat(jsonlines::messageLine);
    }

    // A line of the publisher or the alarm command.
    void tell(const QString &line)
    {
        out << (json ? jsonlines::messageLine(line) : line) << '\n';
        out.flush();
    }
    // A wrong setting found before the run.
    int refuse(const QString &error)
    {
        err << "kx4136-logger: " << error << '\n';
        err.flush();
        return WrongSetting;
    }

    bool json;
    ConsoleOutput errDevice {2};
    ConsoleOutput outDevice {1, &errDevice};
    QTextStream out {&outDevice};
    QTextStream err {&errDevice};
};

// The web page's chart is drawn by the chart's graphics items, which need the widgets' application
// object; they draw into an image, so no display.
std::unique_ptr<QCoreApplication> makeApplication(char **argv, bool http)
{
    static int qtArgc = 1;
    if (http)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> application = http ? std::make_unique<QApplication>(qtArgc, argv)
                                                         : std::make_unique<QCoreApplication>(qtArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kx4136-logger"));
    return application;
}

ConsoleSettings consoleSettings(const CommandLineOptions &options)
{
    // Set by the service manager when the output goes to its journal.
    const bool toJournal = qEnvironmentVariableIsSet("JOURNAL_STREAM");
    return {options.port, options.interval, options.delay,
        options.logPath.value_or(logging::defaultLogPath(
            options.simulate ? logging::LogBus::Simulated : logging::LogBus::Adapter)),
        options.log, toJournal, options.convertAll, options.json};
}

int runToEnd(const CommandLineOptions &options, ConsoleStreams &streams, const RunListeners &listeners)
{
    ConsoleRun run(
        consoleSettings(options), options.cycles, streams.out, streams.err, logging::defaultPendingFolder());
    run.runControl().setSensorsFile(options.sensorsPath);
    run.setResolutionWrites(options.resolutionWrites);
    run.setEndAfterStart(options.startOnly);
    listeners.addTo(run.runControl());
    const int status = run.exec();
    // The last cycle's changes are told before the program ends.
    if (listeners.alarmCommand)
        listeners.alarmCommand->finish();
    return status;
}

} // namespace

int runConsoleProgram(char **argv, const CommandLineOptions &options)
{
    const std::unique_ptr<QCoreApplication> application = makeApplication(argv, options.http.has_value());
    XWBUSLIB::Install(chooseDriver(options));
    ConsoleStreams streams(options.json);
    // A file that cannot be read is mended before the run, not found wanting at its first START.
    if (const auto sensors = logging::readSensorsFile(options.sensorsPath); !sensors)
        return streams.refuse(sensors.failure());
    // Refused before the run starts, as a wrong setting; outlives the run, which tells it the stop.
    std::unique_ptr<web::WebServer> webServer;
    if (options.http) {
        auto started = startWebServer(*options.http);
        if (!started)
            return streams.refuse(started.failure());
        webServer = *std::move(started);
        if (const QString note = web::WebServer::exposedNote(options.http->address, options.http->port);
            !note.isEmpty()) {
            streams.out << note << '\n';
            streams.out.flush();
        }
    }
    // The publisher outlives the run, so that "offline" goes out once the session has ended.
    RunListeners listeners = makeListeners(options, [&streams](const QString &line) { streams.tell(line); });
    listeners.webServer = std::move(webServer);
    const int status = runToEnd(options, streams, listeners);
    listeners.publisher.reset();
    XWBUSLIB::Install(nullptr);
    return status;
}

} // namespace app
