// The program: reads the command line, installs the chosen driver, then the main window or the console run.
#include "app/AlarmCommand.h"
#include "app/CommandLine.h"
#include "app/ConsoleRun.h"
#include "app/DriverChoice.h"
#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "chart/ChartWindow.h"
#include "chart/PngRender.h"
#include "logging/RunControl.h"
#include "publish/MqttPublisher.h"
#include "ui/frmMain.h"
#include "web/WebServer.h"

#include <QApplication>
#include <QStringDecoder>
#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QStringList arguments;
    // Bytes that are not text in the system's encoding become NUL rather than a stand-in character, so a
    // log path holding them is refused instead of written under another name.
    for (int i = 0; i < argc; ++i)
        arguments << QStringDecoder(QStringConverter::System, QStringConverter::Flag::ConvertInvalidToNull)(
            argv[i]);
    const CommandLineResult parsed = parseCommandLine(arguments);
    if (parsed.action == CommandLineResult::Action::Print) {
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return parsed.exitCode;
    }
    if (parsed.action == CommandLineResult::Action::Fail) {
        std::fprintf(stderr, "kx4136-logger: %s\n", parsed.text.toLocal8Bit().constData());
        return parsed.exitCode;
    }

    if (parsed.options.console)
        return runConsoleProgram(argv, parsed.options);
    // The plot is drawn into an image, so no display is needed, whatever DISPLAY says.
    if (parsed.options.plotPath)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Qt sees only the program's name: every argument has been read above, by one set of rules.
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("kx4136-logger"));
    QApplication::setApplicationVersion(QStringLiteral(KX_VERSION));
    if (parsed.options.plotPath) {
        const chart::PngResult plotted = chart::renderLogPng(*parsed.options.plotPath,
            parsed.options.plotOutput, parsed.options.plotSize, parsed.options.sensorsPath);
        if (!plotted.message.isEmpty())
            std::fprintf(stderr, "kx4136-logger: %s\n", plotted.message.toLocal8Bit().constData());
        return plotted.exitCode;
    }
    if (parsed.options.chartPath) {
        chart::ChartWindow logChart;
        logChart.setSensorsFile(parsed.options.sensorsPath);
        QObject::connect(&logChart, &chart::ChartWindow::logOpened, &logChart, [&logChart](bool shown) {
            if (shown)
                logChart.showChart();
            else
                QApplication::exit(logChart.failureStatus());
        });
        logChart.openLogFile(*parsed.options.chartPath);
        return QApplication::exec();
    }
    XWBUSLIB::Install(chooseDriver(parsed.options));

    ui::frmMain window;
    window.setConvertAll(parsed.options.convertAll);
    window.setSensorsFile(parsed.options.sensorsPath);
    if (parsed.options.simulate)
        window.setLogPath(logging::defaultLogPath(logging::LogBus::Simulated));
    // Connection changes are listed with the devices, as the log file's failures are.
    std::unique_ptr<publish::MqttPublisher> publisher;
    if (parsed.options.mqtt)
        publisher = std::make_unique<publish::MqttPublisher>(
            *parsed.options.mqtt, [&window](const QString &line) { window.appendDeviceLine(line); });
    if (publisher)
        publisher->setPortSource([] { return int(modKX4136::PortNum); });
    // Its failures are listed with the devices too.
    std::unique_ptr<AlarmCommand> alarmCommand;
    if (!parsed.options.alarmCommand.isEmpty())
        alarmCommand = std::make_unique<AlarmCommand>(
            parsed.options.alarmCommand, [&window](const QString &line) { window.appendDeviceLine(line); });
    // A server that cannot listen is told once; the window runs on without it.
    std::unique_ptr<web::WebServer> webServer;
    if (parsed.options.http) {
        QString error;
        QString note;
        webServer = startWebServer(*parsed.options.http, error, note);
        if (!webServer)
            window.showMessage(error);
        else if (!note.isEmpty())
            std::fprintf(stdout, "%s\n", note.toLocal8Bit().constData());
    }
    // Keeps the whole run from the first START, whenever it is opened; a window of the main window's.
    chart::ChartWindow liveChart(&window);
    // Declared after the window, the publisher, the web server and the chart so that it goes first, while
    // they still exist.
    logging::RunControl runControl(window, logging::defaultPendingFolder());
    runControl.setSensorsFile(parsed.options.sensorsPath);
    runControl.addListener(window);
    runControl.addListener(liveChart);
    if (publisher)
        runControl.addListener(*publisher);
    if (alarmCommand)
        runControl.addListener(*alarmCommand);
    if (webServer)
        runControl.addListener(*webServer);
    QObject::connect(&window, &ui::frmMain::chartRequested, &liveChart, &chart::ChartWindow::showChart);
    QObject::connect(&window, &ui::frmMain::logChartRequested, &window, [&window, &parsed] {
        chart::ChartWindow::chooseLogFile(
            &window, window.text(logging::TextField::Text5), parsed.options.sensorsPath);
    });
    // Saved by "Name and limits…": the run takes them from its next cycle.
    QObject::connect(&window, &ui::frmMain::sensorSettingsSaved, &window,
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
    window.show();
    return QApplication::exec();
}
