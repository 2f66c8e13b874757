// Tests of the sensors file (reading, each kind of bad line, writing) and of the alarm states.
#include "RunFixture.h"
#include "logging/Alarms.h"
#include "logging/SensorsFile.h"
#include "logging/TextFormats.h"

#include <QFile>
#include <QTest>

using namespace logging;

// Right CRCs, a KX4136 and a KX4130.
const QString A = QStringLiteral("28B484D70F4F4CAF");
const QString B = QStringLiteral("1027A8BE0108009C");

class TstSensors : public RunFixture
{
    Q_OBJECT

    // The sensors file of the test's folder, holding `bytes`; empty when it cannot be written.
    QString fileWith(const QByteArray &bytes)
    {
        QFile file(dir->filePath(QStringLiteral("sensors.ini")));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName()
                                                                                    : QString();
    }

private slots:
    void init()
    {
        setUpRun();
        run->setClock(harness->steppingLocalTime(QDateTime(QDate(2024, 1, 15), QTime(18, 23, 42))));
    }
    void cleanup() { tearDownRun(); }

    void goodFile()
    {
        // As an editor on Windows may save it: a byte order mark and CR LF.
        const QString text = "# freezers\r\n\r\n[" + A
            + "]\r\nname = Chest freezer\r\nlow=-30\r\nhigh=-15.5\r\n; spare\r\n[" + B.toLower()
            + "]\r\nhysteresis=1\r\n";
        const auto file = readSensorsFile(fileWith("\xEF\xBB\xBF" + text.toUtf8()));
        QCOMPARE(file.failure(), QString());
        QCOMPARE(file->size(), static_cast<std::size_t>(2));
        const SensorSettings &a = file->at(*romFromKey(A));
        QCOMPARE(a.name, QStringLiteral("Chest freezer"));
        QVERIFY(a.limits.low == -30.0 && a.limits.high == -15.5 && a.limits.hysteresis == 0.5);
        const SensorSettings &b = file->at(*romFromKey(B));
        QVERIFY(b.name.isEmpty() && !b.limits.any() && b.limits.hysteresis == 1.0);
        QCOMPARE(readSensorsFile(dir->filePath(QStringLiteral("none.ini"))).failure(), QString());
    }

    void badLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("what");
        const QString group = "[" + A + "]\n";
        const QString wrongCrc = A.left(15) + "E";
        QTest::newRow("unknown key") << group + "colour=red" << 2 << "unknown key \"colour\"";
        QTest::newRow("not a number") << group + "name=x\nlow=1,5" << 3 << "\"1,5\" is not a number";
        QTest::newRow("low above high") << group + "high=4\nlow=5" << 3 << "low 5 is above high 4";
        QTest::newRow("wrong ROM length")
            << "[" + A.left(14) + "]" << 1 << A.left(14) + "\" is not a ROM code";
        QTest::newRow("bad CRC") << "# x\n[" + wrongCrc + "]" << 2 << wrongCrc + "\" is not a ROM code";
        QTest::newRow("no hex digit") << "[" + A.left(15) + "\u00E9]" << 1 << "is not a ROM code";
        QTest::newRow("key before group") << "\nname=Cellar\n" + group << 2 << "before the first";
        QTest::newRow("garbage line") << group + "name=x\nrubbish" << 3 << "\"rubbish\" is neither";
    }

    void badLine()
    {
        QFETCH(QString, text);
        QFETCH(int, line);
        QFETCH(QString, what);
        const QString path = fileWith(text.toUtf8());
        const auto file = readSensorsFile(path);
        const QString where = QStringLiteral("%1, line %2: ").arg(path).arg(line);
        QVERIFY2(
            file.failure().startsWith(where) && file.failure().contains(what), qPrintable(file.failure()));
        QVERIFY(!file);
        // Told at START, and the run goes on without the file.
        run->setSensorsFile(path);
        QVERIFY(startOnSim(1));
        QCOMPARE(view->messages, QStringList {file.failure()});
    }

    void writing_data()
    {
        // The file before (null: neither it nor its folder), the name and high limit set, the file after.
        QTest::addColumn<QStringList>("row");
        const QString a = "[" + A + "]\n";
        const QString b = "[" + B + "]\nname=Cellar\n";
        QTest::newRow("new file in a missing folder")
            << QStringList {QString(), "Freezer", "-15", a + "name=Freezer\nhigh=-15\n"};
        QTest::newRow("appended to the others") << QStringList {
            "# mine\n" + b.chopped(1), "Freezer", "", "# mine\n" + b + "\n" + a + "name=Freezer\n"};
        QTest::newRow("update keeps comments and other groups")
            << QStringList {b + "\n" + a + "# the chest\nname=Old\nlow=-40\n; end\n", "Freezer", "-15.5",
                   b + "\n" + a + "name=Freezer\nhigh=-15.5\n# the chest\n; end\n"};
        QTest::newRow("a line break in the name")
            << QStringList {QString(), "Chest\n" + b, "", a + "name=Chest " + b.simplified() + "\n"};
        QTest::newRow("removal") << QStringList {a + "name=Old\n" + b, "", "", b};
    }

    void writing()
    {
        QFETCH(QStringList, row);
        const QString path = row[0].isNull() ? dir->filePath(QStringLiteral("new/folder/sensors.ini"))
                                             : fileWith(row[0].toUtf8());
        const SensorSettings settings {
            row[1], {std::nullopt, row[2].isEmpty() ? std::nullopt : std::optional(row[2].toDouble())}};
        QCOMPARE(writeSensorSettings(path, *romFromKey(A), settings), QString());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), row[3]);
        QCOMPARE(readSensorsFile(path).failure(), QString());
    }

    void states_data()
    {
        // Each reading with the state after it: Ok, Low, High, Not answering. "high=30" sets a limit from
        // then on, "high=" takes it away.
        QTest::addColumn<QString>("sequence");
        QTest::newRow("high, left by the hysteresis") << "high=30 29O 30.5H 30.2H 29.6H 29.5O";
        QTest::newRow("hovering on the limit") << "high=30 30.5H 29.9H 30.1H 29.9H";
        QTest::newRow("low") << "low=0 1O -0.5L 0.3L 0.5O";
        QTest::newRow("high straight to low") << "low=0 high=30 31H -1L";
        QTest::newRow("? keeps the range") << "high=30 31H ?H ?H 29.5O ?O 31H";
        QTest::newRow("not answering and back") << "?O ?O ?N ?N 20O ?O ?O";
        QTest::newRow("not answering while high") << "high=30 31H ?H ?H ?N 31H";
        QTest::newRow("limit raised mid-run") << "high=30 31H high=35 31O 36H";
        QTest::newRow("limit taken away") << "low=0 -5L low= -5O";
    }

    void states()
    {
        QFETCH(QString, sequence);
        AlarmTracker tracker;
        SensorReading sensor;
        for (const QString &word : sequence.split(QLatin1Char(' '))) {
            const QString value = word.section(QLatin1Char('='), 1);
            if (word.contains(QLatin1Char('='))) {
                (word.startsWith(QLatin1Char('l')) ? sensor.settings.limits.low : sensor.settings.limits.high)
                    = value.isEmpty() ? std::nullopt : std::optional(value.toDouble());
                continue;
            }
            const AlarmState before = sensor.alarm;
            sensor.celsius
                = word.startsWith(QLatin1Char('?')) ? std::nullopt : std::optional(word.chopped(1).toFloat());
            const std::optional<AlarmChange> change = tracker.update(sensor, QDateTime());
            QCOMPARE(QStringLiteral("OLHN").at(static_cast<int>(sensor.alarm)), word.back());
            QCOMPARE(change.has_value(), sensor.alarm != before);
        }
    }

    // Each change told once, in lstDevices and in the record; a sensor the file does not list raises none.
    void runOnTheSimulatedBus()
    {
        installSim(sim::uniformConfiguration(4, harness->clock));
        const auto rom = [this](std::size_t i) { return bus().device(i).romCode(); };
        const QString path = fileWith({});
        writeSensorSettings(path, rom(0), {QStringLiteral("Freezer"), {std::nullopt, -15.5}});
        writeSensorSettings(path, rom(1), {QString(), {0.0, std::nullopt}});
        writeSensorSettings(path, rom(2), {QStringLiteral("Pipe"), {}});
        run->setSensorsFile(path);
        run->StartRun();
        const qsizetype listed = view->devices.size();
        for (const char *cycle :
            {"-20 5 ? ?", "-10 5 ? ?", "-10 -1 ? ?", "-15.25 -1 20 20", "-16 0.5 20 20"}) {
            const QStringList readings = QString::fromLatin1(cycle).split(QLatin1Char(' '));
            for (std::size_t i = 0; i < 4; ++i) {
                if (readings[static_cast<qsizetype>(i)] == QLatin1String("?"))
                    bus().device(i).faults().corruptCrc.times(1);
                else
                    bus().thermometer(i)->setCurve(
                        sim::TemperatureCurve({.meanC = readings[static_cast<qsizetype>(i)].toDouble(),
                            .swingC = 0.0,
                            .rippleC = 0.0}));
            }
            run->ReadingCycle();
        }
        const QString at = QStringLiteral("15 Jan 2024 18:23:");
        const QString freezer = QStringLiteral(" Freezer (%1): ").arg(romCodeText(rom(0)));
        const QString second = QStringLiteral(" %1: ").arg(romCodeText(rom(1)));
        const QString pipe = QStringLiteral(" Pipe (%1): ").arg(romCodeText(rom(2)));
        QStringList expected {
            at + "44" + freezer + "high alarm, -10.000 °C is above the high limit -15.5 °C.",
            at + "46" + second + "low alarm, -1.000 °C is below the low limit 0 °C.",
            at + "46" + pipe + "not answering, no reading for 3 cycles in a row.",
            at + "48" + pipe + "answering again, 20.000 °C.",
            at + "50" + freezer + "alarm over, -16.000 °C is back inside the high limit -15.5 °C.",
            at + "50" + second + "alarm over, 0.500 °C is back inside the low limit 0 °C."};
        QStringList told;
        for (const CycleRecord &cycle : std::as_const(view->cycles))
            for (const AlarmChange &change : cycle.alarmChanges)
                told << alarmLine(change);
        QCOMPARE(view->devices.mid(listed), told);
        told.sort();
        expected.sort();
        QCOMPARE(told, expected);
    }
};

QTEST_GUILESS_MAIN(TstSensors)
#include "tst_sensors.moc"
