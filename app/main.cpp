// The program: reads the command line, installs the chosen driver, then the main window or the console run.
#include "app/CommandLine.h"
#include "app/ConsoleRun.h"
#include "app/DriverChoice.h"
#include "app/RunListeners.h"
#include "bus/XWBUSLIB.h"
#include "chart/ChartWindow.h"
#include "chart/PngRender.h"
#include "logging/RunControl.h"
#include "ui/frmMain.h"
#include "web/WebServer.h"

#include <QApplication>
#include <QStringDecoder>
#include <cstdio>

namespace {

// Bytes that are not text in the system's encoding become NUL rather than a stand-in character, so a
// log path holding them is refused instead of written under another name.
QStringList decodedArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QStringDecoder(QStringConverter::System, QStringConverter::Flag::ConvertInvalidToNull)(
            argv[i]);
    return arguments;
}

int plot(const app::CommandLineOptions &options)
{
    const chart::PngResult plotted
        = chart::renderLogPng(*options.plotPath, options.plotOutput, options.plotSize, options.sensorsPath);
    if (!plotted.message.isEmpty())
        std::fprintf(stderr, "kx4136-logger: %s\n", plotted.message.toLocal8Bit().constData());
    return plotted.exitCode;
}

int showLogChart(const app::CommandLineOptions &options)
{
    chart::ChartWindow logChart;
    logChart.setSensorsFile(options.sensorsPath);
    QObject::connect(&logChart, &chart::ChartWindow::logOpened, &logChart, [&logChart](bool shown) {
        if (shown)
            logChart.showChart();
        else
            QApplication::exit(logChart.failureStatus());
    });
    logChart.openLogFile(*options.chartPath);
    return QApplication::exec();
}

// A server that cannot listen is told once; the window runs on without it.
std::unique_ptr<web::WebServer> startWindowWebServer(const app::HttpEndpoint &endpoint, ui::frmMain &window)
{
    auto started = app::startWebServer(endpoint);
    if (!started) {
        window.showMessage(started.failure());
        return nullptr;
    }
    if (const QString note = web::WebServer::exposedNote(endpoint.address, endpoint.port); !note.isEmpty())
        std::fprintf(stdout, "%s\n", note.toLocal8Bit().constData());
    return *std::move(started);
}

// The window's buttons, timer and menus to run control and the charts.
void connectWindow(ui::frmMain &window, logging::RunControl &runControl, chart::ChartWindow &liveChart,
    const app::CommandLineOptions &options)
{
    QObject::connect(&window, &ui::frmMain::chartRequested, &liveChart, &chart::ChartWindow::showChart);
    QObject::connect(&window, &ui::frmMain::logChartRequested, &window, [&window, &options] {
        chart::ChartWindow::chooseLogFile(
            &window, window.text(logging::TextField::Text5), options.sensorsPath);
    });
    // Saved by "Name and limits…": the run takes them from its next cycle.
    QObject::connect(
        &window, &ui::frmMain::sensorSettingsSaved, &window,
        [&runControl](const logging::RomCode &rom, const logging::SensorSettings &settings) {
            runControl.setSensorSettings(rom, settings);
        });
    QObject::connect(
        &window, &ui::frmMain::command3Clicked, &window, [&runControl] { runControl.StartRun(); });
    QObject::connect(
        &window, &ui::frmMain::command2Clicked, &window, [&runControl] { runControl.StopRun(); });
    QObject::connect(
        &window, &ui::frmMain::command1Clicked, &window, [&runControl] { runControl.WriteResolution(); });
    QObject::connect(
        &window, &ui::frmMain::timer1Tick, &window, [&runControl] { runControl.ReadingCycle(); });
    window.setCloseHandler([&runControl] { return runControl.closeRequested(); });
}

int runWindow(const app::CommandLineOptions &options)
{
    XWBUSLIB::Install(app::chooseDriver(options));

    ui::frmMain window;
    window.setConvertAll(options.convertAll);
    window.setSensorsFile(options.sensorsPath);
    if (options.simulate)
        window.setLogPath(logging::defaultLogPath(logging::LogBus::Simulated));
    // Connection changes and the alarm command's failures are listed with the devices, as the log file's
    // failures are.
    app::RunListeners listeners
        = app::makeListeners(options, [&window](const QString &line) { window.appendDeviceLine(line); });
    if (options.http)
        listeners.webServer = startWindowWebServer(*options.http, window);
    // Keeps the whole run from the first START, whenever it is opened; a window of the main window's.
    chart::ChartWindow liveChart(&window);
    // Declared after the window, the listeners and the chart so that it goes first, while they still
    // exist.
    logging::RunControl runControl(window, logging::defaultPendingFolder());
    runControl.setSensorsFile(options.sensorsPath);
    runControl.addListener(window);
    runControl.addListener(liveChart);
    listeners.addTo(runControl);
    connectWindow(window, runControl, liveChart, options);
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    const app::CommandLineResult parsed = app::parseCommandLine(decodedArguments(argc, argv));
    if (parsed.action == app::CommandLineResult::Action::Print) {
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return parsed.exitCode;
    }
    if (parsed.action == app::CommandLineResult::Action::Fail) {
        std::fprintf(stderr, "kx4136-logger: %s\n", parsed.text.toLocal8Bit().constData());
        return parsed.exitCode;
    }

    if (parsed.options.console)
        return app::runConsoleProgram(argv, parsed.options);
    // The plot is drawn into an image, so no display is needed, whatever DISPLAY says.
    if (parsed.options.plotPath)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Qt sees only the program's name: every argument has been read above, by one set of rules.
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("kx4136-logger"));
    QApplication::setApplicationVersion(QStringLiteral(KX_VERSION));
    if (parsed.options.plotPath)
        return plot(parsed.options);
    if (parsed.options.chartPath)
        return showLogChart(parsed.options);
    return runWindow(parsed.options);
}
