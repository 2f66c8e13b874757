// The two cycles' driver calls, the all-at-once cycle's wait and power supply, STOP in it, long cycles.
#include "RunFixture.h"
#include "bus/BusCalls.h"
#include "driver/sim/RomCodes.h"

#include <QTest>

using namespace logging;
using namespace bustest;

namespace {

testsupport::RomCode rom(int row)
{
    return testsupport::romWithCrc(0x28, {uint8_t(0x10 + row), 2, 3, 4, 5, 6});
}

// Match ROM, the ROM code, read scratchpad and nine read slots, in one block.
QString block(int row)
{
    QStringList bytes {"85"};
    for (const int16_t byte : rom(row))
        bytes << QString::number(byte);
    bytes << "190" << QStringList(9, "255");
    return QStringLiteral("XwBlock(%1, %2)").arg(Handle).arg(bytes.join(", "));
}

} // namespace

class TstConvertAll : public RunFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        setUpRun();
        run->setClock(harness->steppingLocalTime(QDateTime(QDate(2024, 1, 15), QTime(18, 23, 42))));
    }
    void cleanup() { tearDownRun(); }

    void driverCalls_data()
    {
        QTest::addColumn<bool>("convertAll");
        QTest::addColumn<QList<int>>("readSlots"); // what the power supply reads at START answer
        QTest::addColumn<QStringList>("calls");
        QStringList inTurn;
        QStringList reads;
        for (int row = 0; row < 2; ++row) {
            inTurn << "lamp red" << access() << reset() << matchRom(rom(row)) << powered(0x44, 800) << reset()
                   << matchRom(rom(row)) << readScratchpad() << "lamp green";
            reads << reset() << block(row);
        }
        const QStringList skipRom {"lamp red", reset(), touch(0xCC)};
        const QStringList polled {level(0, 1, 2), touch(0x44), level(0, 0, 0), wait(10), touch(0xFF)};
        QTest::newRow("in turn") << false << QList<int> {} << inTurn;
        reads << "lamp green";
        QTest::newRow("all at once") << true << QList<int> {0xFF} << skipRom + polled + reads;
        QTest::newRow("all at once, a sensor bus-powered")
            << true << QList<int> {0x00, 0xFE, 0xFF} << skipRom + powered(0x44, 800) + reads;
    }

    void driverCalls()
    {
        QFETCH(bool, convertAll);
        QFETCH(QList<int>, readSlots);
        QFETCH(QStringList, calls);
        view->convertAllTicked = convertAll;
        auto recording = startOnRecording(2, readSlots);
        run->ReadingCycle();
        QCOMPARE(recording->texts(), calls + QStringList {"cycle 15 Jan 2024 18:23:42"});
    }

    void waitPerResolutionMix_data()
    {
        QTest::addColumn<QList<int>>("bits"); // 0 stands for a KX4130
        QTest::addColumn<QString>("delay");
        QTest::addColumn<int>("waitMs");
        QTest::newRow("12-bit") << QList<int> {12, 12} << "0" << 750;
        QTest::newRow("9-bit, rounded up") << QList<int> {9, 9} << "0" << 94;
        QTest::newRow("9, 10 and 11 bits") << QList<int> {9, 10, 11} << "100" << 375;
        QTest::newRow("10-bit and a KX4130") << QList<int> {10, 0} << "0" << 750;
        QTest::newRow("the delay longer") << QList<int> {9, 10} << "500" << 500;
    }

    void waitPerResolutionMix()
    {
        QFETCH(QList<int>, bits);
        QFETCH(QString, delay);
        QFETCH(int, waitMs);
        installSim(int(bits.size()));
        for (qsizetype i = 0; i < bits.size(); ++i) {
            if (bits[i] == 0)
                bus().removeDevice(bus().device(i));
            else
                bus().thermometer(i)->setResolution(bits[i]);
        }
        if (bits.contains(0))
            bus().addDevice(
                std::make_shared<sim::Thermometer>(sim::makeRomCode(0x10, 1), sim::TemperatureCurve()));
        view->texts[TextField::Text4] = delay;
        view->convertAllTicked = true;
        run->StartRun();
        QCOMPARE(modKX4136::ConvertAllWaitMs(), waitMs);
    }

    void powerSupplyLine_data()
    {
        QTest::addColumn<int>("busPowered");
        QTest::addColumn<QString>("line");
        QTest::newRow("none") << 0 << "";
        QTest::newRow("two")
            << 2 << "2 of 3 sensor(s) powered from the bus: every conversion waits its full time.";
    }

    void powerSupplyLine()
    {
        QFETCH(int, busPowered);
        QFETCH(QString, line);
        installSim(3);
        for (int i = 0; i < busPowered; ++i)
            bus().thermometer(i)->setParasitePowered(true);
        view->convertAllTicked = true;
        run->StartRun();
        QCOMPARE(view->devices.filter("powered from the bus"),
            line.isEmpty() ? QStringList {} : QStringList {line});
        // Held through the wait, the pull-up leaves no bus-powered sensor at its power-on reading.
        run->ReadingCycle();
        QVERIFY(!view->temps.join("").contains("?"));
    }

    void stopInTheWait_data()
    {
        QTest::addColumn<bool>("busPowered");
        QTest::newRow("bus-powered") << true;
        QTest::newRow("powered apart") << false;
    }

    void stopInTheWait()
    {
        QFETCH(bool, busPowered);
        installSim(2);
        bus().thermometer(1)->setParasitePowered(busPowered);
        view->convertAllTicked = true;
        run->StartRun();
        harness->inputAfterMs = 5; // the click comes in the wait
        harness->duringWait = [this, done = false](int32_t) mutable {
            if (!std::exchange(done, true))
                run->StopRun();
        };
        run->ReadingCycle();
        QCOMPARE(run->state(), RunControl::State::Idle);
        QVERIFY(!bus().strongPullUp());
        QCOMPARE(fileLines(logPath).last(), QStringLiteral("15 Jan 2024 18:23:43\t?\t?"));
    }

    void longCycle_data()
    {
        QTest::addColumn<bool>("convertAll");
        QTest::addColumn<int>("sensors");
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("periodMs");
        QTest::newRow("in turn, three sensors")
            << false << 3 << "1"
            << "A reading cycle took 2.4 s, longer than the 1 s interval: readings come every 2.4 s. "
               "Converting "
               "all sensors at once (--convert-all) would read them all in about one conversion time."
            << 2400;
        QTest::newRow("in turn, one sensor")
            << false << 1 << "0.5"
            << "A reading cycle took 0.8 s, longer than the 0.5 s interval: readings come every 0.8 s."
            << 800;
        QTest::newRow("all at once") << true << 3 << "1"
                                     << "" << 1000;
        QTest::newRow("all at once, a shorter interval")
            << true << 3 << "0.5"
            << "A reading cycle took 0.75 s, longer than the 0.5 s interval: readings come every 0.75 s."
            << 750;
    }

    void longCycle()
    {
        QFETCH(bool, convertAll);
        QFETCH(int, sensors);
        QFETCH(QString, interval);
        QFETCH(QString, line);
        QFETCH(int, periodMs);
        view->convertAllTicked = convertAll;
        view->texts[TextField::Text3] = interval;
        QVERIFY(startOnSim(sensors));
        run->ReadingCycle();
        run->ReadingCycle();
        QCOMPARE(view->devices.filter("A reading cycle took"),
            line.isEmpty() ? QStringList {} : QStringList {line});
        QCOMPARE(view->cycles.last().periodMs, periodMs);
    }
};

QTEST_GUILESS_MAIN(TstConvertAll)
#include "tst_convertall.moc"
