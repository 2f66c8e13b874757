// Tests of the alarm states: a table of reading sequences, and runs on the simulated bus with a sensors file.
#include "RunFixture.h"
#include "logging/Alarms.h"
#include "logging/SensorsFile.h"
#include "logging/TextFormats.h"

#include <QTest>

using namespace logging;

namespace {

sim::TemperatureCurve steady(double celsius)
{
    return sim::TemperatureCurve(sim::CurveShape {.meanC = celsius, .swingC = 0.0, .rippleC = 0.0});
}

} // namespace

class TstAlarms : public RunFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        setUpRun();
        run->setClock(harness->steppingLocalTime(QDateTime(QDate(2024, 1, 15), QTime(18, 23, 42))));
    }
    void cleanup() { tearDownRun(); }

    void states_data()
    {
        // Readings in order; "high=30" changes a limit from then on ("high=" takes it away). States: Ok,
        // Low, High, Not answering, one per reading.
        QTest::addColumn<QString>("readings");
        QTest::addColumn<QString>("states");
        QTest::newRow("high, left by the hysteresis") << "high=30 29 30.5 30.2 29.6 29.5"
                                                      << "OHHHO";
        QTest::newRow("hovering on the limit") << "high=30 30.5 29.9 30.1 29.9"
                                               << "HHHH";
        QTest::newRow("low") << "low=0 1 -0.5 0.3 0.5"
                             << "OLLO";
        QTest::newRow("wider hysteresis") << "low=0 hysteresis=2 -1 1.5 2"
                                          << "LLO";
        QTest::newRow("high straight to low") << "low=0 high=30 31 -1"
                                              << "HL";
        QTest::newRow("? keeps the range") << "high=30 31 ? ? 29.5 ? 31"
                                           << "HHHOOH";
        QTest::newRow("not answering and back") << "? ? ? ? 20 ? ?"
                                                << "OONNOOO";
        QTest::newRow("not answering while high") << "high=30 31 ? ? ? 31"
                                                  << "HHHNH";
        QTest::newRow("limit raised mid-run") << "high=30 31 high=35 31 36"
                                              << "HOH";
        QTest::newRow("limit taken away") << "low=0 -5 low= -5"
                                          << "LO";
    }

    void states()
    {
        QFETCH(QString, readings);
        QFETCH(QString, states);
        AlarmTracker tracker;
        SensorReading sensor;
        QString seen;
        for (const QString &word : readings.split(QLatin1Char(' '))) {
            const QString value = word.section(QLatin1Char('='), 1);
            const std::optional<double> number
                = value.isEmpty() ? std::nullopt : std::optional(value.toDouble());
            if (word.startsWith(QLatin1String("low=")))
                sensor.settings.limits.low = number;
            else if (word.startsWith(QLatin1String("high=")))
                sensor.settings.limits.high = number;
            else if (word.startsWith(QLatin1String("hysteresis=")))
                sensor.settings.limits.hysteresis = *number;
            if (word.contains(QLatin1Char('=')))
                continue;
            const AlarmState before = sensor.alarm;
            sensor.celsius = word == QLatin1String("?") ? std::nullopt : std::optional(word.toFloat());
            const std::optional<AlarmChange> change = tracker.update(sensor, QDateTime());
            QCOMPARE(change.has_value(), sensor.alarm != before);
            if (change)
                QVERIFY(change->previous == before && change->state == sensor.alarm);
            seen += QStringLiteral("OLHN").at(int(sensor.alarm));
        }
        QCOMPARE(seen, states);
    }

    // Told once each, in lstDevices and in the record; a sensor the file does not list raises nothing.
    void runOnTheSimulatedBus()
    {
        installSim(sim::uniformConfiguration(4, harness->clock));
        QList<RomCode> roms;
        for (std::size_t i = 0; i < 4; ++i)
            roms << bus().device(i).romCode();
        const QString path = dir->filePath(QStringLiteral("sensors.ini"));
        QCOMPARE(writeSensorSettings(path, roms[0], {QStringLiteral("Freezer"), {std::nullopt, -15.5}}),
            QString());
        QCOMPARE(writeSensorSettings(path, roms[1], {QString(), {0.0, std::nullopt}}), QString());
        QCOMPARE(writeSensorSettings(path, roms[2], {QStringLiteral("Pipe"), {}}), QString());
        run->setSensorsFile(path);
        run->StartRun();
        QCOMPARE(run->state(), RunControl::State::Running);
        const qsizetype listed = view->devices.size();
        const QStringList cycles {"-20 5 ? ?", "-10 5 ? ?", "-10 -1 ? ?", "-15.25 -1 20 20", "-16 0.5 20 20"};
        for (const QString &cycle : cycles) {
            const QStringList readings = cycle.split(QLatin1Char(' '));
            for (std::size_t i = 0; i < 4; ++i) {
                if (readings[qsizetype(i)] == QLatin1String("?"))
                    bus().device(i).faults().corruptCrc.times(1);
                else
                    bus().thermometer(i)->setCurve(steady(readings[qsizetype(i)].toDouble()));
            }
            run->ReadingCycle();
        }
        const QString freezer = QStringLiteral("Freezer (%1): ").arg(romCodeText(roms[0]));
        const QString second = romCodeText(roms[1]) + QStringLiteral(": ");
        const QString pipe = QStringLiteral("Pipe (%1): ").arg(romCodeText(roms[2]));
        QStringList expected {
            "18:23:44 " + freezer + "high alarm, -10.000 °C is above the high limit -15.5 °C.",
            "18:23:46 " + second + "low alarm, -1.000 °C is below the low limit 0 °C.",
            "18:23:46 " + pipe + "not answering, no reading for 3 cycles in a row.",
            "18:23:48 " + pipe + "answering again, 20.000 °C.",
            "18:23:50 " + freezer + "alarm over, -16.000 °C is back inside the high limit -15.5 °C.",
            "18:23:50 " + second + "alarm over, 0.500 °C is back inside the low limit 0 °C."};
        for (QString &line : expected)
            line.prepend(QStringLiteral("15 Jan 2024 "));
        QStringList told;
        for (const CycleRecord &cycle : std::as_const(view->cycles))
            for (const AlarmChange &change : cycle.alarmChanges)
                told << alarmLine(change);
        QCOMPARE(view->devices.mid(listed), told);
        told.sort();
        expected.sort();
        QCOMPARE(told, expected);
    }

    void wrongFileIsToldAndTheRunGoesOn()
    {
        const QString path = dir->filePath(QStringLiteral("sensors.ini"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("[28]\n") == 5);
        file.close();
        run->setSensorsFile(path);
        QVERIFY(startOnSim(1));
        QCOMPARE(view->messages, QStringList {readSensorsFile(path).error});
        QVERIFY(view->runs.last().settings.first().name.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstAlarms)
#include "tst_alarms.moc"
