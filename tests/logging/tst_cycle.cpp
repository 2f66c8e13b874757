// The reading cycle and resolution writing on the simulated bus and on a recording driver.
#include "RunFixture.h"
#include "bus/modKX4136.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace logging;
using testsupport::Op;

namespace {

sim::TemperatureCurve steady(double celsius)
{
    return sim::TemperatureCurve(sim::CurveShape {.meanC = celsius, .swingC = 0.0, .rippleC = 0.0});
}

const QString Degrees = QStringLiteral(" \u00B0C");

} // namespace

class TstCycle : public RunFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        setUpRun();
        run->setClock(harness->steppingLocalTime(QDateTime(QDate(2024, 1, 15), QTime(18, 23, 42))));
    }
    void cleanup() { tearDownRun(); }

    void readingTexts_data()
    {
        QTest::addColumn<double>("celsius");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0.000";
        QTest::newRow("a sixteenth") << 0.0625 << "0.063";
        QTest::newRow("minus ten and a sixteenth") << -10.0625 << "-10.063";
        QTest::newRow("a quarter below zero") << -0.25 << "-0.250";
        QTest::newRow("hot end") << 125.0 << "125.000";
        QTest::newRow("cold end") << -55.0 << "-55.000";
    }

    void readingTexts()
    {
        QFETCH(double, celsius);
        QFETCH(QString, text);
        QVERIFY(startOnSim(1));
        bus().thermometer(0)->setCurve(steady(celsius));
        run->ReadingCycle();
        QCOMPARE(view->temps, QStringList {QStringLiteral("Sensor #0 : ") + text + Degrees});
        QCOMPARE(fileLines(logPath).last(), QStringLiteral("15 Jan 2024 18:23:43\t") + text);
    }

    // A slow disk must never hold the readings back from the window.
    void cycleIsShownBeforeItIsWritten()
    {
        struct LinesWhenTold : ReadingsListener
        {
            QString path;
            qsizetype lines = -1;
            void cycleEnded(const CycleRecord &) override { lines = fileLines(path).size(); }
        } probe;
        probe.path = logPath;
        QVERIFY(startOnSim(1));
        run->addListener(probe);
        run->ReadingCycle();
        run->removeListener(probe);
        QCOMPARE(probe.lines, 1);
        QCOMPARE(fileLines(logPath).size(), 2);
    }

    void commaDecimalSeparator()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(startOnSim(1));
        bus().thermometer(0)->setCurve(steady(21.5));
        run->ReadingCycle();
        QCOMPARE(view->temps, QStringList {QStringLiteral("Sensor #0 : 21,500") + Degrees});
        QCOMPARE(fileLines(logPath).last(), QStringLiteral("15.01.24 18:23:43\t21,500"));
    }

    void lampRedWhileEachSensorIsRead()
    {
        QVERIFY(startOnSim(2));
        QStringList lampAtPump;
        harness->duringPump = [&] { lampAtPump << (view->lamp == LampRed ? "red" : "green"); };
        const qsizetype before = view->calls.size();
        run->ReadingCycle();
        const QStringList expected {
            "lamp red", "lamp green", "lamp red", "lamp green", "cycle 15 Jan 2024 18:23:42"};
        QCOMPARE(view->calls.mid(before, expected.size()), expected);
        // Once before each sensor, once after each conversion wait: the lamp is red every time.
        QCOMPARE(lampAtPump, (QStringList {"red", "red", "red", "red"}));
    }

    void timeIsTakenAgainForTheDataLine()
    {
        QVERIFY(startOnSim(1));
        run->ReadingCycle();
        QCOMPARE(view->label5, QStringLiteral("15 Jan 2024 18:23:42"));
        QVERIFY(fileLines(logPath).last().startsWith(QLatin1String("15 Jan 2024 18:23:43\t")));
    }

    void thirtyTwoSensors()
    {
        QVERIFY(startOnSim(32));
        run->ReadingCycle();
        QCOMPARE(view->temps.size(), 32);
        QVERIFY(view->temps.last().startsWith(QLatin1String("Sensor #31 : ")));
        QVERIFY(view->cycles.last().sensors.at(31).rom == view->runs.last().roms.at(31));
        const QStringList lines = fileLines(logPath);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0).split(QLatin1Char('\t')).size(), 33);
        const QStringList fields = lines.at(1).split(QLatin1Char('\t'));
        QCOMPARE(fields.size(), 33);
        QVERIFY(!fields.contains(QStringLiteral("?")));
    }

    void everyReadFailing()
    {
        QVERIFY(startOnSim(3));
        run->ReadingCycle();
        for (std::size_t i = 0; i < 3; ++i)
            bus().device(i).faults().corruptCrc.on();
        run->ReadingCycle();
        QCOMPARE(view->temps,
            (QStringList {"Sensor #0 : ?" + Degrees, "Sensor #1 : ?" + Degrees, "Sensor #2 : ?" + Degrees}));
        QCOMPARE(view->label5, QStringLiteral("15 Jan 2024 18:23:44"));
        QCOMPARE(fileLines(logPath).last(), QStringLiteral("15 Jan 2024 18:23:45\t?\t?\t?"));
    }

    void failingSensorKeepsItsColumn()
    {
        QVERIFY(startOnSim(2));
        bus().thermometer(0)->setCurve(steady(21.5));
        bus().device(1).faults().corruptCrc.on();
        for (int cycle = 0; cycle < 3; ++cycle)
            run->ReadingCycle();
        const QStringList lines = fileLines(logPath);
        QCOMPARE(lines.size(), 4);
        for (const QString &line : lines.mid(1))
            QCOMPARE(line.section(QLatin1Char('\t'), 1), QStringLiteral("21.500\t?"));
    }

    void loggingOffWritesNothing()
    {
        view->check1 = 0;
        QVERIFY(startOnSim(1));
        run->ReadingCycle();
        QCOMPARE(view->temps.size(), 1);
        QVERIFY(!QFile::exists(logPath));
    }

    void unwritableLogIsToldOnceAndCatchesUp()
    {
        const QString folder = dir->filePath(QStringLiteral("later"));
        logPath = folder + QStringLiteral("/log.txt");
        view->texts[TextField::Text5] = logPath;
        QVERIFY(startOnSim(1));
        QCOMPARE(view->devices.size(), 3); // the sensor, the count, and the header that could not be written
        run->ReadingCycle();
        run->ReadingCycle();
        QCOMPARE(view->devices.size(), 3);
        QVERIFY(QDir().mkpath(folder));
        run->ReadingCycle();
        const QStringList lines = fileLines(logPath);
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines.first().startsWith(QLatin1String("KX4136\t")));
        QCOMPARE(view->devices.size(), 4);
    }

    void invalidSensorNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lastSensor");
        QTest::newRow("empty") << "" << 2;
        QTest::newRow("letters") << "two" << 2;
        QTest::newRow("minus one") << "-1" << 2;
        QTest::newRow("last plus one") << "3" << 2;
        QTest::newRow("0.4 with one sensor") << "0.4" << 0;
    }

    void invalidSensorNumber()
    {
        QFETCH(QString, text);
        QFETCH(int, lastSensor);
        auto recording = recordingWithRows(lastSensor + 1);
        view->texts[TextField::Text1] = text;
        run->WriteResolution();
        QCOMPARE(view->messages, QStringList {"Wrong sensor number."});
        QCOMPARE(recording->texts(), QStringList {"message Wrong sensor number."});
    }

    void writeGoesToRoundedSensor_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("lastSensor");
        QTest::addColumn<int>("comboPosition");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("configuration");
        QTest::newRow("1.5 to even, 12-bit") << "1.5" << 2 << 3 << 2 << 0x7F;
        QTest::newRow("2.5 to even, 11-bit") << "2.5" << 3 << 2 << 2 << 0x5F;
        QTest::newRow("0.4 with two sensors, 10-bit") << "0.4" << 1 << 1 << 0 << 0x3F;
        QTest::newRow("9-bit chosen") << "0" << 0 << 0 << 0 << 0x1F;
        QTest::newRow("nothing chosen gives 9-bit") << "0" << 0 << -1 << 0 << 0x1F;
    }

    void writeGoesToRoundedSensor()
    {
        QFETCH(QString, text);
        QFETCH(int, lastSensor);
        QFETCH(int, comboPosition);
        QFETCH(int, index);
        QFETCH(int, configuration);
        auto recording = recordingWithRows(lastSensor + 1);
        recording->pushScratchpad(testsupport::withCrc({0x50, 0x01, 50, 10, 0x1F, 0xFF, 0x0C, 0x10}));
        view->texts[TextField::Text1] = text;
        view->comboRes = comboPosition;
        run->WriteResolution();
        QVERIFY(view->messages.isEmpty());

        // Each addressed exchange sends match ROM and the row's eight bytes; then the command.
        QStringList sent;
        for (const auto &call : recording->calls)
            if (call.op == Op::TouchByte)
                sent << QString::number(call.args.at(1), 16);
        QStringList rom;
        for (int j = 0; j < 8; ++j)
            rom << QString::number(modKX4136::RomTable[index][j], 16);
        // The alarm bytes the sensor holds (TH 50, TL 10) go back with the new configuration.
        const QStringList alarmRead = QStringList {"55"} + rom + QStringList {"be"} + QStringList(9, "ff");
        const QStringList scratchpadWrite
            = QStringList {"55"} + rom + QStringList {"4e", "32", "a", QString::number(configuration, 16)};
        const QStringList copy = QStringList {"55"} + rom + QStringList {"48"};
        QCOMPARE(sent, alarmRead + scratchpadWrite + copy);

        const QStringList texts = recording->texts();
        QCOMPARE(texts.first(), QStringLiteral("enable Command1 0"));
        QCOMPARE(texts.at(1), QStringLiteral("lamp red"));
        QCOMPARE(texts.at(texts.size() - 2), QStringLiteral("lamp green"));
    }

    void copyRunsAfterFailedScratchpadWrite()
    {
        auto recording = recordingWithRows(1);
        recording->pushScratchpad(testsupport::withCrc({0x50, 0x01, 50, 10, 0x7F, 0xFF, 0x0C, 0x10}));
        recording->push(Op::Access, {1, 0});
        run->WriteResolution();
        const auto bytes = recording->callsOf(Op::TouchByte);
        QVERIFY(!bytes.empty());
        QCOMPARE(bytes.back().args.at(1), 0x48);
        QCOMPARE(view->lamp, LampGreen);
    }

    void alarmBytesKeptOrNothingWritten_data()
    {
        QTest::addColumn<QString>("fault"); // in the scratchpad read before the write
        QTest::newRow("none") << "";
        QTest::newRow("bad CRC") << "crc";
    }

    void alarmBytesKeptOrNothingWritten()
    {
        QFETCH(QString, fault);
        QVERIFY(startOnSim(1));
        sim::Thermometer &sensor = *bus().thermometer(0);
        sensor.setAlarmBytes(50, 10);
        sensor.setResolution(9);
        bus().device(0).faults().corruptCrc.times(fault == "crc" ? 1 : 0);
        const qsizetype listed = view->devices.size();
        view->comboRes = 3;
        run->WriteResolution();
        bus().powerCycle();
        QCOMPARE(std::pair(sensor.eeprom().th, sensor.eeprom().tl),
            std::pair(static_cast<uint8_t>(50), static_cast<uint8_t>(10)));
        QCOMPARE(sensor.resolution(), fault.isEmpty() ? 12 : 9);
        const QStringList told = fault.isEmpty()
            ? QStringList()
            : QStringList {QStringLiteral("The resolution was not written: the alarm bytes (TH, TL) of "
                                          "sensor #0 could not be read, and "
                                          "the write would replace them.")};
        QCOMPARE(view->devices.mid(listed), told);
    }

    void twelveBitsListedAfterRestart()
    {
        installSim(2);
        bus().thermometer(0)->setResolution(9);
        run->StartRun();
        QVERIFY2(
            view->devices.first().endsWith(QLatin1String(" , 9-bit")), qPrintable(view->devices.first()));

        view->texts[TextField::Text1] = QStringLiteral("0");
        view->comboRes = 3;
        run->WriteResolution();
        QVERIFY(view->isEnabled(Control::Command1));
        run->StopRun();
        bus().powerCycle();
        run->StartRun();
        QVERIFY2(
            view->devices.first().endsWith(QLatin1String(" , 12-bit")), qPrintable(view->devices.first()));
    }
};

QTEST_GUILESS_MAIN(TstCycle)
#include "tst_cycle.moc"
