// START, STOP and closing: step order, control states, settings taken over and every failure path.
#include "RunFixture.h"
#include "bus/modKX4136.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace logging;
using testsupport::Op;
using State = RunControl::State;
using Outcome = RunControl::StartOutcome;

namespace {

QString romText(const onewire::RomCode &rom)
{
    QStringList bytes;
    for (const uint8_t byte : rom)
        bytes << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    return bytes.join(QLatin1Char(' '));
}

// What the three states show, as the window's control table has it.
struct ControlRow
{
    bool settings; // Text2 .. Text5, Check1, START and Help
    bool write;
    bool timer;
};

} // namespace

class TstRunControl : public RunFixture
{
    Q_OBJECT

    void checkControls(const ControlRow &row)
    {
        for (const Control c : {Control::Text2, Control::Text3, Control::Text4, Control::Text5,
                 Control::Check1, Control::Command3, Control::Command4})
            QVERIFY2(view->isEnabled(c) == row.settings, qPrintable(QString::number(static_cast<int>(c))));
        QVERIFY(view->isEnabled(Control::Command2));
        QCOMPARE(view->isEnabled(Control::Command1), row.write);
        QCOMPARE(view->timerEnabled, row.timer);
    }

private slots:
    void init() { setUpRun(); }
    void cleanup() { tearDownRun(); }

    void stopBeforeStartMakesNoDriverCall()
    {
        auto recording = installRecording();
        run->StopRun();
        QVERIFY(recording->calls.empty());
        QCOMPARE(run->state(), State::Idle);
        checkControls({true, false, false});
    }

    void startStepsInOrder()
    {
        installSim(2);
        run->StartRun();
        QCOMPARE(run->state(), State::Running);
        QCOMPARE(run->lastStart(), Outcome::Running);
        QStringList steps = view->calls;
        steps.removeIf([](const QString &c) { return c.startsWith(QLatin1String("lstDevices ")); });
        const QStringList expected {"enable Text2 0", "enable Text3 0", "enable Text4 0", "enable Text5 0",
            "enable Command3 0", "enable Command4 0", "enable Check1 0", "interval 5000", "lamp red",
            "clear lstDevices", "lamp green", "timer 1", "enable Command1 1"};
        QCOMPARE(steps, expected);
        QCOMPARE(view->devices.size(), 3);
        QCOMPARE(view->devices.last(), QStringLiteral("2 sensor(s) found."));
    }

    void startWritesHeaderOfDetectedSensors()
    {
        installSim(2);
        run->StartRun();
        const sim::SimBus &bus = *driver->bus(1);
        const QStringList lines = fileLines(logPath);
        QCOMPARE(lines.size(), 1);
        const QStringList fields = lines.first().split(QLatin1Char('\t'));
        QCOMPARE(fields.size(), 3);
        QCOMPARE(fields.at(0), QStringLiteral("KX4136"));
        QStringList codes {romText(bus.device(0).builtInRomCode()), romText(bus.device(1).builtInRomCode())};
        QCOMPARE(QStringList(fields.mid(1)), codes);
        QCOMPARE(view->runs.size(), 1);
        QVERIFY(view->runs.first().roms
            == (QList<RomCode> {bus.device(0).builtInRomCode(), bus.device(1).builtInRomCode()}));
        QCOMPARE(view->runs.first().intervalMs, 5000); // Text3's "5"
    }

    void startWithoutLoggingLeavesFileAlone()
    {
        installSim(1);
        view->check1 = 0;
        run->StartRun();
        run->ReadingCycle();
        QCOMPARE(run->state(), State::Running);
        QVERIFY(!QFile::exists(logPath));
    }

    void settingsAreTakenOver()
    {
        installSim(1);
        view->texts[TextField::Text3] = QStringLiteral("2.5");
        view->texts[TextField::Text4] = QStringLiteral("801.5");
        run->StartRun();
        QCOMPARE(modKX4136::OneWireDelay, int16_t {802});
        QCOMPARE(view->timerInterval, 2500);
        QCOMPARE(modKX4136::PortNum, int16_t {1});
        QCOMPARE(modKX4136::PortType, int16_t {1});
    }

    // Read in the locale the view types its fields in, whatever the program's.
    void settingsAreReadInTheViewsLocale()
    {
        installSim(1);
        view->locale = QLocale(QLocale::German, QLocale::Germany);
        view->texts[TextField::Text3] = QStringLiteral("2,5");
        run->StartRun();
        QCOMPARE(view->timerInterval, 2500);
    }

    // Locked in the window during a run; changed here to show that nothing reads them after START.
    void fieldsAreReadOnceAtStart()
    {
        view->texts[TextField::Text5] = dir->filePath(QStringLiteral("gone/log.txt"));
        QVERIFY(startOnSim(1));
        view->texts[TextField::Text5] = logPath;
        view->check1 = 0;
        run->ReadingCycle();
        QVERIFY(!QFile::exists(logPath));
        QVERIFY(run->closeRequested());
        QVERIFY2(view->messages.value(0).startsWith(QStringLiteral("2 line(s) for log file ")),
            qPrintable(view->messages.value(0)));
    }

    void delayShorterThanAConversionIsTold()
    {
        installSim(sim::demoConfiguration(harness->clock));
        view->texts[TextField::Text4] = QStringLiteral("90");
        run->StartRun();
        QCOMPARE(view->devices.last(),
            QStringLiteral(
                "1-wire delay 90 ms is shorter than the 750 ms that 12-bit and KX4130 sensors need: "
                "their readings lag one cycle behind."));
    }

    void portIsRoundedForTheDriver()
    {
        auto recording = installRecording();
        recording->push(Op::ExtendedStartSession, {0});
        view->texts[TextField::Text2] = QStringLiteral("3.5");
        run->StartRun();
        QCOMPARE(recording->texts(), QStringList {"XwExtendedStartSession(4, 1, 0)"});
    }

    void invalidSetting_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QString>("delay");
        QTest::addColumn<QString>("message");
        QTest::newRow("delay negative") << "1"
                                        << "5"
                                        << "-1"
                                        << "Wrong 1-wire delay.";
        QTest::newRow("delay letters") << "1"
                                       << "5"
                                       << "fast"
                                       << "Wrong 1-wire delay.";
        QTest::newRow("delay past 16 bits") << "1"
                                            << "5"
                                            << "40000"
                                            << "Wrong 1-wire delay.";
        QTest::newRow("interval zero") << "1"
                                       << "0"
                                       << "500"
                                       << "Wrong reading interval.";
        QTest::newRow("interval empty") << "1"
                                        << ""
                                        << "500"
                                        << "Wrong reading interval.";
        QTest::newRow("interval past the timer") << "1"
                                                 << "2147484"
                                                 << "500"
                                                 << "Wrong reading interval.";
        QTest::newRow("port past 16 bits") << "40000"
                                           << "5"
                                           << "500"
                                           << "Wrong COM port number.";
        QTest::newRow("port letters") << "COM1"
                                      << "5"
                                      << "500"
                                      << "Wrong COM port number.";
        QTest::newRow("all wrong, one message") << "x"
                                                << "x"
                                                << "x"
                                                << "Wrong 1-wire delay.";
    }

    void invalidSetting()
    {
        QFETCH(QString, port);
        QFETCH(QString, interval);
        QFETCH(QString, delay);
        QFETCH(QString, message);
        auto recording = installRecording();
        view->texts[TextField::Text2] = port;
        view->texts[TextField::Text3] = interval;
        view->texts[TextField::Text4] = delay;
        run->StartRun();
        QCOMPARE(view->messages, QStringList {message});
        QVERIFY(recording->calls.empty());
        QCOMPARE(run->lastStart(), Outcome::WrongSetting);
        QCOMPARE(run->state(), State::Idle);
        checkControls({true, false, false});
        QVERIFY(view->callsMatching(QStringLiteral("interval")).isEmpty());
        QCOMPARE(modKX4136::OneWireDelay, int16_t {0});
        QCOMPARE(modKX4136::PortNum, int16_t {0});
    }

    void adapterAbsent()
    {
        auto recording = installRecording();
        recording->push(Op::ExtendedStartSession, {0});
        run->StartRun();
        QCOMPARE(view->messages, QStringList {"Error when starting session."});
        QCOMPARE(view->devices, QStringList {"COM port 1: the driver does not say why."});
        QCOMPARE(recording->texts(), QStringList {"XwExtendedStartSession(1, 1, 0)"});
        QCOMPARE(run->lastStart(), Outcome::NoSession);
        QVERIFY(view->callsMatching(QStringLiteral("lamp")).isEmpty());
        QCOMPARE(run->state(), State::Idle);
        checkControls({true, false, false});
    }

    void failedSetupEndsHalfOpenSession()
    {
        auto recording = installRecording();
        recording->push(Op::Setup, {0});
        run->StartRun();
        QCOMPARE(view->messages, QStringList {"Error when starting session."});
        QCOMPARE(recording->callsOf(Op::EndSession).size(), std::size_t {1});
        QCOMPARE(run->state(), State::Idle);
        checkControls({true, false, false});
    }

    void noDevicesHalts()
    {
        sim::SimConfiguration configuration {harness->clock, {}};
        configuration.addPort(1);
        installSim(std::move(configuration));
        run->StartRun();
        QCOMPARE(run->state(), State::Halted);
        QCOMPARE(run->lastStart(), Outcome::DetectionFailed);
        QVERIFY(view->runs.isEmpty());
        QCOMPARE(view->callsMatching(QStringLiteral("lamp")), (QStringList {"lamp red", "lamp green"}));
        QCOMPARE(view->devices, QStringList {"Detected KA7700 interface but no 1-wire devices found."});
        QVERIFY(modKX4136::SessionHandle > 0);
        QVERIFY(!QFile::exists(logPath));
        checkControls({false, false, false});

        run->StopRun();
        QCOMPARE(run->state(), State::Idle);
        QCOMPARE(modKX4136::SessionHandle, 0);
    }

    void controlStates_data()
    {
        QTest::addColumn<int>("sensors");
        QTest::addColumn<bool>("stopAfterwards");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("settings");
        QTest::addColumn<bool>("write");
        QTest::addColumn<bool>("timer");
        QTest::newRow("Running") << 1 << false << static_cast<int>(State::Running) << false << true << true;
        QTest::newRow("Halted") << 0 << false << static_cast<int>(State::Halted) << false << false << false;
        QTest::newRow("Idle after a run")
            << 1 << true << static_cast<int>(State::Idle) << true << false << false;
        QTest::newRow("Idle after a halt")
            << 0 << true << static_cast<int>(State::Idle) << true << false << false;
    }

    void controlStates()
    {
        QFETCH(int, sensors);
        QFETCH(bool, stopAfterwards);
        QFETCH(int, state);
        QFETCH(bool, settings);
        QFETCH(bool, write);
        QFETCH(bool, timer);
        sim::SimConfiguration configuration = sim::uniformConfiguration(sensors, harness->clock);
        configuration.addPort(1);
        installSim(std::move(configuration));
        run->StartRun();
        if (stopAfterwards)
            run->StopRun();
        QCOMPARE(static_cast<int>(run->state()), state);
        checkControls({settings, write, timer});
        // Text1 and Combo_res belong to the window alone.
        QVERIFY(view->callsMatching(QStringLiteral("enable Text1 ")).isEmpty());
        QVERIFY(view->callsMatching(QStringLiteral("enable Combo_res ")).isEmpty());
    }

    void stopStepsInOrder()
    {
        installSim(1);
        run->StartRun();
        run->ReadingCycle();
        const qsizetype before = view->calls.size();
        run->StopRun();
        const QStringList expected {"timer 0", "enable Command1 0", "enable Text2 1", "enable Text3 1",
            "enable Text4 1", "enable Text5 1", "enable Command3 1", "enable Command4 1", "enable Check1 1"};
        QCOMPARE(view->calls.mid(before), expected);
        QCOMPARE(modKX4136::SessionHandle, 0);
        QCOMPARE(view->temps.size(), 1); // the readings stay as the last cycle left them
    }

    void secondStartAppendsSecondHeader()
    {
        installSim(1);
        run->StartRun();
        run->ReadingCycle();
        run->StopRun();
        run->StartRun();
        const QStringList lines = fileLines(logPath);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).startsWith(QLatin1String("KX4136\t")));
        QVERIFY(!lines.at(1).startsWith(QLatin1String("KX4136")));
        QCOMPARE(lines.at(2), lines.at(0));
    }

    void logPathOutsideFileNameEncodingIsRefused()
    {
        auto recording = installRecording();
        view->texts[TextField::Text5]
            = dir->filePath(QStringLiteral("log") + QChar(0xD800) + QStringLiteral(".txt"));
        run->StartRun();
        QCOMPARE(view->messages, QStringList {"Wrong log file path."});
        QVERIFY(recording->calls.empty());
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList());
    }

    // Another program logging into the file, under a name of its own for it: START fails before the bus
    // is used, and succeeds once that program has let the file go.
    void logFileInUseRefusesStart()
    {
        const QString state = dir->filePath(QStringLiteral("state"));
        LogFile other([](const QString &) {}, state);
        QVERIFY(other.claim(dir->filePath(QStringLiteral("./KX4136_log.txt"))).isEmpty());
        run = std::make_unique<RunControl>(*view, state);
        auto recording = installRecording();
        run->StartRun();
        QCOMPARE(run->lastStart(), Outcome::LogInUse);
        QCOMPARE(view->devices.size(), 1);
        QVERIFY2(view->devices.first().contains(QStringLiteral("in use by another KX4136 logger")),
            qPrintable(view->devices.first()));
        QVERIFY(recording->calls.empty());
        checkControls({true, false, false});

        other.release();
        installSim(1);
        run->StartRun();
        QCOMPARE(run->lastStart(), Outcome::Running);
        QCOMPARE(fileLines(logPath).size(), 1);
    }

    // The window shows where unwritten lines are before it closes.
    void closingWithKeptLinesTellsOfThem()
    {
        view->texts[TextField::Text5] = dir->filePath(QStringLiteral("gone/log.txt"));
        QVERIFY(startOnSim(1));
        run->ReadingCycle();
        QVERIFY(run->closeRequested());
        QCOMPARE(view->messages.size(), 1);
        QVERIFY2(view->messages.first().startsWith(QStringLiteral("2 line(s)")),
            qPrintable(view->messages.first()));
    }

    void closingWhileRunningEndsSession()
    {
        installSim(1);
        run->StartRun();
        QVERIFY(modKX4136::SessionHandle > 0);
        QVERIFY(run->closeRequested());
        QCOMPARE(modKX4136::SessionHandle, 0);
        QCOMPARE(view->endProgramCalls, 0); // the window ends the program itself

        // Nothing runs on a program that is ending.
        const std::size_t traffic = driver->bus(1)->transcript().size();
        run->ReadingCycle();
        run->StartRun();
        QCOMPARE(driver->bus(1)->transcript().size(), traffic);
    }
};

QTEST_GUILESS_MAIN(TstRunControl)
#include "tst_runcontrol.moc"
