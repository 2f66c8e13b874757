// Tests of the run without a window: its options, exit statuses, printed lines, log file and stop signals.
#include "ConsoleHarness.h"

#include "app/CommandLine.h"
#include "app/ConsoleRun.h"
#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "common/RecordingDriver.h"
#include "logging/Conversions.h"
#include "logging/LogFile.h"
#include "ui/frmMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

using namespace app;

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void options_data();
    void options();
    void numbersWithADot_data();
    void numbersWithADot();
    void refusedOptions_data();
    void refusedOptions();
    void exitStatus_data();
    void exitStatus();
    void resolutionWrites_data();
    void resolutionWrites();
    void wrongSettingSendsNothing_data();
    void wrongSettingSendsNothing();
    void sameAsWindow();
    void stopSignal_data();
    void stopSignal();
    void keptLinesFailTheRun();
    void logInUseFailsTheStart();
    void logsToTheDefaultPathOfItsBus();
    void programRuns();
    void sensorsFile_data();
    void sensorsFile();
    void jsonLines();
    void programStopsOnTerminate_data();
    void programStopsOnTerminate();
};

void TestConsole::init()
{
    QLocale::setDefault(QLocale::c());
}

void TestConsole::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("settings"); // port, interval, delay, log path ("-" for the default)
    QTest::addColumn<bool>("log");
    QTest::addColumn<int>("cycles");

    QTest::newRow("window's defaults")
        << QStringList {"--console"} << QStringList {"1", "5", "500", "-"} << true << 0;
    QTest::newRow("every setting") << QStringList {"--console", "--port", "3", "--interval", "0.5", "--delay",
        "750", "--log", "/tmp/a b.txt", "--cycles", "7"}
                                   << QStringList {"3", "0.5", "750", "/tmp/a b.txt"} << true << 7;
    QTest::newRow("settings with equals signs")
        << QStringList {"--console", "--port=4", "--interval=2", "--delay=0", "--log=x.txt"}
        << QStringList {"4", "2", "0", "x.txt"} << true << 0;
    QTest::newRow("no log") << QStringList {"--console", "--no-log"} << QStringList {"1", "5", "500", "-"}
                            << false << 0;
    // Texts are passed on unchecked: run control tells the user what is wrong, as the window does.
    QTest::newRow("texts kept as typed") << QStringList {"--console", "--interval", "five", "--delay=-5"}
                                         << QStringList {"1", "five", "-5", "-"} << true << 0;
    QTest::newRow("last repeat wins") << QStringList {"--console", "--port", "2", "--port", "5"}
                                      << QStringList {"5", "5", "500", "-"} << true << 0;
    QTest::newRow("with the simulation") << QStringList {"--simulate", "--console", "--cycles", "3"}
                                         << QStringList {"1", "5", "500", "-"} << true << 3;
}

void TestConsole::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, settings);
    QFETCH(bool, log);
    QFETCH(int, cycles);
    const CommandLineResult parsed = parseCommandLine(QStringList {"kx4136-logger"} + arguments);
    QCOMPARE(parsed.action, CommandLineResult::Action::Run);
    const CommandLineOptions &o = parsed.options;
    QVERIFY(o.console);
    QCOMPARE(QStringList({o.port, o.interval, o.delay, o.logPath.value_or(QStringLiteral("-"))}), settings);
    QCOMPARE(o.log, log);
    QCOMPARE(o.cycles, cycles);
}

void TestConsole::numbersWithADot_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<int>("ms"); // 0: refused

    QTest::newRow("a second, to three places") << "1.000" << 1000;
    QTest::newRow("a second and a half") << "1.5" << 1500;
    QTest::newRow("a comma is no decimal separator") << "1,5" << 0;
    QTest::newRow("nor a group separator") << "1,000" << 0;
}

void TestConsole::numbersWithADot()
{
    QFETCH(QString, interval);
    QFETCH(int, ms);
    // A language whose decimal separator is the comma and whose group separator is the dot.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QString ignored;
    QTextStream out(&ignored);
    const ConsoleView view({"1", interval, "500", QString(), false}, out, out);
    QCOMPARE(view.text(logging::TextField::Text3), interval);
    QCOMPARE(logging::intervalMsFromText(interval, view.numberLocale()).value_or(0), ms);
}

void TestConsole::refusedOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("port without console") << QStringList {"--port", "2"} << "--port needs --console.";
    QTest::newRow("cycles without console") << QStringList {"--cycles", "2"} << "--cycles needs --console.";
    QTest::newRow("no-log without console") << QStringList {"--no-log"} << "--no-log needs --console.";
    QTest::newRow("log and no-log") << QStringList {"--console", "--log", "a", "--no-log"}
                                    << "--log and --no-log exclude each other.";
    QTest::newRow("zero cycles and a log") << QStringList {"--console", "--cycles", "0", "--log",
        "a"} << "--cycles 0 reads nothing, so it writes no log: leave out --log.";
    QTest::newRow("cycles not a number")
        << QStringList {"--console", "--cycles=x"} << "--cycles takes a count of at least 0, not 'x'.";
    QTest::newRow("resolution without console")
        << QStringList {"--set-resolution", "0=12"} << "--set-resolution needs --console.";
    for (const char *value : {"0=13", "0=8", "32=9", "a=9", "0"})
        QTest::addRow("resolution %s", value)
            << QStringList {"--console", "--set-resolution", "1=9", "--set-resolution", value}
            << QStringLiteral("--set-resolution takes INDEX=BITS, INDEX from 0 to 31 and BITS from 9 to 12, "
                              "not '%1'.")
                   .arg(QLatin1String(value));
    QTest::newRow("alarm command with an unended quote")
        << QStringList {"--alarm-command", "sh -c 'x"}
        << "--alarm-command takes a program and its arguments (with every quote closed), not 'sh -c 'x'.";
    QTest::newRow("format without console")
        << QStringList {"--format", "json"} << "--format needs --console.";
    QTest::newRow("unknown format") << QStringList {"--console", "--format", "xml"}
                                    << "--format takes text or json, not 'xml'.";
    QTest::newRow("interval without value")
        << QStringList {"--console", "--interval"} << "Missing value after '--interval'. Try --help.";
}

void TestConsole::refusedOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const CommandLineResult parsed = parseCommandLine(QStringList {"kx4136-logger"} + arguments);
    QCOMPARE(parsed.action, CommandLineResult::Action::Fail);
    QCOMPARE(parsed.exitCode, 2);
    QCOMPARE(parsed.text, message);
}

void TestConsole::exitStatus_data()
{
    QTest::addColumn<QStringList>("settings"); // port, interval, delay
    QTest::addColumn<int>("bus");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");

    const auto demo = static_cast<int>(Bus::Demo);
    QTest::newRow("three cycles") << QStringList {"1", "0.001", "500"} << demo << 0 << "";
    QTest::newRow("interval zero") << QStringList {"1", "0", "500"} << demo << 2 << "Wrong reading interval.";
    QTest::newRow("interval not a number")
        << QStringList {"1", "five", "500"} << demo << 2 << "Wrong reading interval.";
    QTest::newRow("delay out of range")
        << QStringList {"1", "5", "32768"} << demo << 2 << "Wrong 1-wire delay.";
    QTest::newRow("port beyond 16 bits")
        << QStringList {"70000", "5", "500"} << demo << 2 << "Wrong COM port number.";
    QTest::newRow("absent adapter") << QStringList {"2", "0.001", "500"} << demo << 1
                                    << "Error when starting session.\nCOM port 2: no such port.";
    QTest::newRow("empty bus") << QStringList {"1", "0.001", "500"} << static_cast<int>(Bus::Empty) << 1
                               << "";
}

void TestConsole::exitStatus()
{
    QFETCH(QStringList, settings);
    QFETCH(int, bus);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir dir;
    ManualTime time;
    const auto driver = simulatedDriver(Bus(bus), time);
    XWBUSLIB::Install(driver);
    const QString log = dir.filePath(QStringLiteral("log.txt"));

    const Printed printed = runConsole({settings[0], settings[1], settings[2], log, true}, 3);

    QCOMPARE(printed.status, status);
    QCOMPARE(printed.err, message.isEmpty() ? QStringList() : message.split(QLatin1Char('\n')));
    QCOMPARE(modKX4136::SessionHandle, 0);
    QVERIFY(!driver->bus(1)->strongPullUp());
    const auto lines = logLines(log);
    QCOMPARE(lines.size(), status == 0 ? 4 : 0);
    if (status == 1 && message.isEmpty()) {
        // The failed detection's reason is what the device list showed last.
        QVERIFY(!printed.out.isEmpty());
        QVERIFY(driver->bus(1)->transcript().size() > 0);
    }
    if (status == 2 || !message.isEmpty())
        QCOMPARE(printed.out, QStringList());
}

void TestConsole::resolutionWrites_data()
{
    QTest::addColumn<QString>("write");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("told"); // the last line printed
    QTest::newRow("written") << "2=12" << 0 << "Sensor #2 : 12-bit written, alarm bytes kept.";
    QTest::newRow("no such sensor")
        << "3=12" << 2 << "--set-resolution names sensor #3, but START listed sensors #0 to #2 only.";
}

// --cycles 0 with a write: START, the write, and no cycle.
void TestConsole::resolutionWrites()
{
    QFETCH(QString, write);
    QFETCH(int, status);
    QFETCH(QString, told);
    const CommandLineOptions o
        = parseCommandLine({"kx4136-logger", "--console", "--cycles", "0", "--set-resolution", write})
              .options;
    QVERIFY(o.startOnly && !o.log);
    ManualTime time;
    const auto driver = simulatedDriver(Bus::Demo, time);
    XWBUSLIB::Install(driver);
    const Printed printed
        = runConsole({"1", "5", "500", QString(), o.log}, o.cycles, QString(), [&](ConsoleRun &run) {
              run.setResolutionWrites(o.resolutionWrites);
              run.setEndAfterStart(o.startOnly);
          });
    QCOMPARE(printed.status, status);
    QCOMPARE((printed.out + printed.err).last(), told);
    QVERIFY(!printed.out.join(u'\n').contains(QStringLiteral(" \u00B0C")));
    // The demo's sensor #2 is its first device, at 9 bits.
    QCOMPARE(driver->bus(1)->thermometer(0)->resolution(), status == 0 ? 12 : 9);
    QCOMPARE(modKX4136::SessionHandle, 0);
}

void TestConsole::wrongSettingSendsNothing_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::newRow("interval") << QStringList {"1", "-1", "500"};
    QTest::newRow("delay") << QStringList {"1", "5", "abc"};
    QTest::newRow("port") << QStringList {"1e6", "5", "500"};
}

void TestConsole::wrongSettingSendsNothing()
{
    QFETCH(QStringList, settings);
    ManualTime time;
    const auto driver = std::make_shared<testsupport::RecordingDriver>();
    XWBUSLIB::Install(driver);
    const Printed printed = runConsole({settings[0], settings[1], settings[2], QString(), false}, 1);
    QCOMPARE(printed.status, 2);
    QCOMPARE(driver->texts(), QStringList());
}

void TestConsole::sameAsWindow()
{
    const int cycles = 3;
    QTemporaryDir dir;
    WindowRun window;
    {
        ManualTime time;
        XWBUSLIB::Install(simulatedDriver(Bus::Demo, time));
        window = runWindow(settingsIn(dir, QStringLiteral("window.txt")), cycles);
    }
    Printed printed;
    {
        ManualTime time;
        XWBUSLIB::Install(simulatedDriver(Bus::Demo, time));
        printed = runConsole(settingsIn(dir, QStringLiteral("console.txt")), cycles);
    }
    QCOMPARE(printed.status, 0);
    QCOMPARE(printed.err, QStringList());

    const QByteArray windowLog = fileBytes(dir.filePath(QStringLiteral("window.txt")));
    QCOMPARE(logLines(dir.filePath(QStringLiteral("window.txt"))).size(), 1 + cycles);
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("console.txt"))), windowLog);

    // The device lines as they were added, then one block per cycle: the time, then the readings.
    const qsizetype devices = window.devices.size();
    const qsizetype block = 1 + window.readings.size();
    QVERIFY(window.readings.size() > 0);
    QCOMPARE(printed.out.size(), devices + cycles * block);
    QCOMPARE(printed.out.mid(0, devices), window.devices);
    QCOMPARE(printed.out.mid(devices + (cycles - 1) * block), QStringList {window.label5} + window.readings);

    // For a journal, each cycle is the same text on one line.
    ConsoleSettings oneLine = settingsIn(dir, QStringLiteral("journal.txt"));
    oneLine.cycleOnOneLine = true;
    ManualTime time;
    XWBUSLIB::Install(simulatedDriver(Bus::Demo, time));
    printed = runConsole(oneLine, cycles);
    QCOMPARE(printed.out.size(), devices + cycles);
    QCOMPARE(printed.out.last(),
        window.label5 + QStringLiteral("  ") + window.readings.join(QStringLiteral("; ")));
}

void TestConsole::stopSignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("waitMs"); // the length of the wait the signal comes in
    QTest::addColumn<int>("nth"); // which wait of that length, from 1
    QTest::addColumn<int>("dataLines");

    // The demo bus has three sensors, so its fourth conversion wait is the first of cycle 2.
    QTest::newRow("SIGTERM in a conversion wait") << SIGTERM << 500 << 4 << 2;
    QTest::newRow("SIGINT in a conversion wait") << SIGINT << 500 << 4 << 2;
    QTest::newRow("SIGTERM in the first cycle's last wait") << SIGTERM << 500 << 3 << 1;
    QTest::newRow("SIGTERM during detection") << SIGTERM << 1000 << 1 << 0;
}

void TestConsole::stopSignal()
{
    if (!StopSignals::available())
        QSKIP("No stop signals on this platform");
    QFETCH(int, signal);
    QFETCH(int, waitMs);
    QFETCH(int, nth);
    QFETCH(int, dataLines);
    QTemporaryDir dir;
    ManualTime time;
    const auto driver = simulatedDriver(Bus::Demo, time);
    XWBUSLIB::Install(driver);
    sim::SimBus &bus = *driver->bus(1);
    int seen = 0;
    bool pullUpDuringSignal = false;
    time.duringWait = [&](int32_t timeoutMs) {
        if (timeoutMs == waitMs && ++seen == nth) {
            pullUpDuringSignal = bus.strongPullUp();
            std::raise(signal);
        }
    };

    // A count well past the stop, so a stop that fails ends the run all the same.
    const Printed printed = runConsole(settingsIn(dir, QStringLiteral("log.txt")), 10);

    QCOMPARE(printed.status, 0);
    QCOMPARE(printed.err, QStringList());
    // The signal must find the bus held at its strong pull-up, or the test proves nothing.
    QVERIFY(pullUpDuringSignal);
    QCOMPARE(modKX4136::SessionHandle, 0);
    QVERIFY(!bus.strongPullUp());
    const auto lines = logLines(dir.filePath(QStringLiteral("log.txt")));
    QCOMPARE(lines.size(), dataLines == 0 ? 0 : 1 + dataLines);
    if (dataLines == 0)
        return;
    // STOP waited for the sensor being read, then ended the session: the others of that cycle failed.
    const QList<QByteArray> fields = lines.last().split('\t');
    const int stoppedAt = (nth - 1) % 3;
    for (int i = 1; i < fields.size(); ++i)
        QCOMPARE(fields.at(i) == "?", i - 1 > stoppedAt);
    QVERIFY(printed.out.last().contains(QLatin1Char('?')) == (stoppedAt < 2));
}

void TestConsole::keptLinesFailTheRun()
{
    QTemporaryDir dir;
    ManualTime time;
    XWBUSLIB::Install(simulatedDriver(Bus::Demo, time));
    const QString state = dir.filePath(QStringLiteral("state"));
    const Printed printed = runConsole(settingsIn(dir, QStringLiteral("gone/log.txt")), 2, state);
    QCOMPARE(printed.status, 1);
    // The header and two data lines wait in the pending folder, and the user is told where.
    QCOMPARE(printed.err.size(), 1);
    QVERIFY2(
        printed.err.first().startsWith(QStringLiteral("3 line(s)")) && printed.err.first().contains(state),
        qPrintable(printed.err.first()));
    // A later run into a file that works is told of them once and does not fail for them.
    const Printed later = runConsole(settingsIn(dir, QStringLiteral("log.txt")), 1, state);
    QCOMPARE(later.status, 0);
    QCOMPARE(later.err,
        QStringList {QStringLiteral("3 line(s) for 1 other log file(s) are kept in %1: the next "
                                    "start of the program writes them once their files can be "
                                    "written.")
                         .arg(QDir::toNativeSeparators(state))});
}

void TestConsole::logInUseFailsTheStart()
{
    QTemporaryDir dir;
    ManualTime time;
    XWBUSLIB::Install(simulatedDriver(Bus::Demo, time));
    const QString state = dir.filePath(QStringLiteral("state"));
    logging::LogFile other([](const QString &) {}, state);
    QVERIFY(other.claim(dir.filePath(QStringLiteral("log.txt"))).isEmpty());
    const Printed printed = runConsole(settingsIn(dir, QStringLiteral("log.txt")), 2, state);
    QCOMPARE(printed.status, 2);
    QCOMPARE(printed.err.size(), 1);
    QVERIFY2(printed.err.first().contains(QStringLiteral("in use")), qPrintable(printed.err.first()));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("log.txt"))));
}

void TestConsole::logsToTheDefaultPathOfItsBus()
{
#ifdef Q_OS_WIN
    QSKIP("The default path is the drive's root here");
#else
    // Both default to the home folder: point it at a folder of the test's own.
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    // A simulated run keeps to a file of its own, beside the one real runs share with the window.
    const QString real = ui::frmMain().text(logging::TextField::Text5);
    const QString expected = logging::defaultLogPath(logging::LogBus::Simulated);
    QProcess program;
    program.start(QStringLiteral(KX_PROGRAM),
        {"--console", "--simulate=1", "--interval", "0.01", "--delay", "0", "--cycles", "1"});
    const bool finished = program.waitForFinished(30000);
    qputenv("HOME", oldHome);
    QVERIFY(finished);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(expected.startsWith(home.path()));
    QCOMPARE(logLines(expected).size(), 2);
    QVERIFY(!QFile::exists(real));
#endif
}

void TestConsole::programRuns()
{
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("log.txt"));
    QProcess program;
    program.start(QStringLiteral(KX_PROGRAM),
        {"--console", "--simulate=1", "--interval", "0.01", "--delay", "0", "--cycles", "3", "--log", log});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(program.readAllStandardError(), QByteArray());

    const auto lines = logLines(log);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.first().startsWith("KX4136\t"));
    // Each data line's time opens one printed block of two lines (the time and the one sensor).
    const QList<QByteArray> out = program.readAllStandardOutput().split('\n');
    for (int c = 1; c <= 3; ++c) {
        const QByteArray time = lines.at(c).left(lines.at(c).indexOf('\t'));
        QVERIFY2(out.contains(time), time.constData());
        QCOMPARE(out.at(out.indexOf(time) + 1).startsWith("Sensor #0"), true);
    }
}

void TestConsole::sensorsFile_data()
{
    QTest::addColumn<QString>("text"); // %1: the simulated sensor's ROM code
    QTest::addColumn<bool>("journal");
    QTest::addColumn<int>("status");
    QTest::newRow("broken: nothing starts") << "[%1]\nname=Cellar\nlow=cold\n" << false << 2;
    QTest::newRow("the name after each reading") << "[%1]\nname=Cellar\n" << false << 0;
    QTest::newRow("and in the journal's lines") << "[%1]\nname=Cellar\n" << true << 0;
}

void TestConsole::sensorsFile()
{
    QFETCH(QString, text);
    QFETCH(bool, journal);
    QFETCH(int, status);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("log.txt"));
    const QString sensors = dir.filePath(QStringLiteral("sensors.ini"));
    const auto bus = sim::uniformConfiguration(1, std::make_shared<sim::ManualClock>()).ports.at(1).bus;
    QFile file(sensors);
    QVERIFY(file.open(QIODevice::WriteOnly)
        && file.write(text.arg(logging::romKey(bus->device(0).romCode())).toUtf8()) > 0);
    file.close();
    QProcess program;
    program.setEnvironment(QProcess::systemEnvironment() << (journal ? "JOURNAL_STREAM=8:1" : "KX_NONE="));
    program.start(QStringLiteral(KX_PROGRAM),
        {"--console", "--simulate=1", "--interval", "0.01", "--delay", "0", "--cycles", "2", "--log", log,
            "--sensors", sensors});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), status);
    QCOMPARE(QString::fromLocal8Bit(program.readAllStandardError())
                 .startsWith(QStringLiteral("kx4136-logger: %1, line 3: ").arg(sensors)),
        status == 2);
    QCOMPARE(QFile::exists(log), status == 0);
    // The readings carry the name; the device list's line keeps the ROM code alone.
    const QRegularExpression named(
        (journal ? "^.+  " : "^") + QStringLiteral("Sensor #0 : \\S+ \u00B0C  Cellar$"));
    const QStringList out = QString::fromLocal8Bit(program.readAllStandardOutput()).split(QLatin1Char('\n'));
    QCOMPARE(out.filter(named).size(), status == 0 ? 2 : 0);
}

// The objects a console run of the program printed, each line one of them; the kinds in order.
static QList<QJsonObject> jsonRun(int cycles, const QString &sensors, QStringList &kinds)
{
    QProcess program;
    program.start(QStringLiteral(KX_PROGRAM),
        {"--console", "--simulate=1", "--interval", "1", "--delay", "750", "--no-log", "--format", "json",
            "--cycles", QString::number(cycles), "--sensors", sensors});
    QList<QJsonObject> objects;
    if (!program.waitForFinished(30000) || program.exitCode() != 0)
        return objects;
    for (const QByteArray &line : program.readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject())
            kinds << QString::fromUtf8("not an object: " + line);
        objects << document.object();
        kinds << document.object().value(QStringLiteral("kind")).toString();
    }
    return objects;
}

void TestConsole::jsonLines()
{
    QTemporaryDir dir;
    const QString sensors = dir.filePath(QStringLiteral("sensors.ini"));
    QStringList kinds;
    const QString rom = jsonRun(1, sensors, kinds)
                            .value(2)
                            .value(QStringLiteral("sensors"))[0][QStringLiteral("rom")]
                            .toString();
    QCOMPARE(kinds, QStringList({"device", "message", "run", "cycle"}));
    // A name, and a high limit the readings are far above.
    QFile file(sensors);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[%1]\nname=Probe \"1\"\nhigh=-100\n").arg(rom).toUtf8());
    file.close();

    kinds.clear();
    const QList<QJsonObject> objects = jsonRun(2, sensors, kinds);
    QCOMPARE(kinds, QStringList({"device", "message", "run", "alarm", "cycle", "cycle"}));
    QCOMPARE(objects[3].value(QStringLiteral("state")).toString(), QStringLiteral("high"));
    const QJsonObject sensor = objects[5].value(QStringLiteral("sensors"))[0].toObject();
    QCOMPARE(sensor.value(QStringLiteral("name")).toString(), QStringLiteral("Probe \"1\""));
    QCOMPARE(sensor.value(QStringLiteral("alarm")).toString(), QStringLiteral("high"));
    QVERIFY(sensor.value(QStringLiteral("reading")).isDouble());
    static const QRegularExpression iso(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(Z|[+-]\\d\\d:\\d\\d)$"));
    QVERIFY(iso.match(objects[5].value(QStringLiteral("time")).toString()).hasMatch());
}

void TestConsole::programStopsOnTerminate_data()
{
    QTest::addColumn<QString>("delay");
    QTest::addColumn<int>("underWay"); // log lines when the run is well under way
    QTest::addColumn<bool>("unread"); // standard output a full pipe nobody reads, later closed
    QTest::newRow("between readings") << "0" << 3 << false;
    QTest::newRow("in a 30 s conversion wait") << "30000" << 1 << false;
    QTest::newRow("output not read") << "0" << 5 << true;
}

void TestConsole::programStopsOnTerminate()
{
    if (!StopSignals::available())
        QSKIP("No stop signals on this platform");
    QFETCH(QString, delay);
    QFETCH(int, underWay);
    QFETCH(bool, unread);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("log.txt"));
    QProcess program;
    QStringList arguments {"--console", "--simulate=1", "--interval", "0.01", "--delay", delay, "--log", log};
    QProcess reader;
    if (unread) {
        program.setStandardOutputProcess(&reader);
        reader.start(QStringLiteral("sleep"), {"600"});
        // The pipe's 64 KiB are taken before the program starts writing to it.
        arguments
            = QStringList {"-c", "head -c 65536 /dev/zero && exec \"$0\" \"$@\"", KX_PROGRAM} + arguments;
    }
    program.start(unread ? QStringLiteral("sh") : QStringLiteral(KX_PROGRAM), arguments);
    QTRY_VERIFY_WITH_TIMEOUT(logLines(log).size() >= underWay, 30000);
    if (unread) {
        reader.kill(); // the run goes on without it, and says so on standard error
        const qsizetype before = logLines(log).size();
        QTRY_VERIFY_WITH_TIMEOUT(logLines(log).size() > before + 3, 30000);
    }
    QTest::qWait(200); // into the conversion wait of the next cycle
    program.terminate();
    QVERIFY(program.waitForFinished(3000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(program.readAllStandardError().isEmpty(), !unread);
    const auto lines = logLines(log);
    QVERIFY(lines.size() > underWay);
    QVERIFY(lines.first().startsWith("KX4136\t"));
}

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
