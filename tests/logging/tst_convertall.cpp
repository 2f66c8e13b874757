// The two cycles' driver calls, the all-at-once cycle's wait and power supply, STOP in it, long cycles.
#include "RunFixture.h"
#include "bus/BusCalls.h"

#include <QTest>

using namespace logging;
using namespace bustest;

class TstConvertAll : public RunFixture
{
    Q_OBJECT

private slots:
    void init() { setUpRun(); }
    void cleanup() { tearDownRun(); }

    void driverCalls_data()
    {
        QTest::addColumn<QList<int>>("powerSlots"); // the power supply's read slots; none: in turn
        QTest::addColumn<QStringList>("calls");
        QStringList inTurn;
        QStringList reads;
        for (int row = 0; row < 2; ++row) {
            const auto rom = testsupport::romWithCrc(0x28, {static_cast<uint8_t>(0x10 + row), 2, 3, 4, 5, 6});
            inTurn << "lamp red" << access() << reset() << matchRom(rom) << powered(0x44, 800) << reset()
                   << matchRom(rom) << readScratchpad() << "lamp green";
            const QString romBytes = matchRom(rom).join(", ").remove(touch(0).chopped(2)).remove(')');
            reads << reset()
                  << QString("XwBlock(7, %1, 190, %2)").arg(romBytes, QStringList(9, "255").join(", "));
        }
        reads << "lamp green";
        const QStringList skipRom {"lamp red", reset(), touch(0xCC)};
        const QStringList polled {level(0, 1, 2), touch(0x44), level(0, 0, 0), wait(10), touch(0xFF)};
        QTest::newRow("in turn") << QList<int> {} << inTurn;
        QTest::newRow("all at once") << QList<int> {0xFF} << skipRom + polled + reads;
        QTest::newRow("all at once, a sensor bus-powered")
            << QList<int> {0x00, 0xFE, 0xFF} << skipRom + powered(0x44, 800) + reads;
    }

    void driverCalls()
    {
        QFETCH(QList<int>, powerSlots);
        QFETCH(QStringList, calls);
        view->convertAllTicked = !powerSlots.isEmpty();
        auto recording = startOnRecording(2, powerSlots);
        run->ReadingCycle();
        QCOMPARE(recording->texts(), calls << "cycle " + view->label5);
    }

    // The wait per resolution mix, the power-supply line, the pull-up held, STOP in the wait ("?" for all).
    void onSim_data()
    {
        QTest::addColumn<QList<int>>("bits");
        QTest::addColumn<QString>("delay");
        QTest::addColumn<int>("busPowered");
        QTest::addColumn<int>("waitMs");
        QTest::newRow("12-bit") << QList<int> {12, 12} << "0" << 0 << 750;
        QTest::newRow("9-bit, rounded up, bus-powered") << QList<int> {9, 9} << "0" << 2 << 94;
        QTest::newRow("9, 10 and 11 bits, one bus-powered") << QList<int> {9, 10, 11} << "100" << 1 << 375;
        QTest::newRow("the delay longer") << QList<int> {9, 10} << "500" << 0 << 500;
    }

    void onSim()
    {
        QFETCH(QList<int>, bits);
        QFETCH(QString, delay);
        QFETCH(int, busPowered);
        QFETCH(int, waitMs);
        view->texts[TextField::Text4] = delay;
        view->convertAllTicked = true;
        installSim(static_cast<int>(bits.size()));
        for (int i = 0; i < bits.size(); ++i) {
            bus().thermometer(i)->setResolution(bits[i]);
            bus().thermometer(i)->setParasitePowered(i < busPowered);
        }
        run->StartRun();
        QCOMPARE(modKX4136::ConvertAllWaitMs(run->discovery()), waitMs);
        const QString line = "%1 of %2 sensor(s) powered from the bus: every conversion waits its full time.";
        QCOMPARE(view->devices.filter(line.arg(busPowered).arg(bits.size())).size(), busPowered ? 1 : 0);
        run->ReadingCycle();
        QVERIFY(!view->temps.join("").contains("?"));
        harness->inputAfterMs = 5;
        harness->duringWait = [this](int32_t) { run->StopRun(); };
        run->ReadingCycle();
        QCOMPARE(run->state(), RunControl::State::Idle);
        QVERIFY(!bus().strongPullUp());
        QCOMPARE(fileLines(logPath).last().section('\t', 1), QStringList(bits.size(), "?").join('\t'));
    }

    void longCycle_data()
    {
        QTest::addColumn<bool>("convertAll");
        QTest::addColumn<QString>("interval");
        QTest::addColumn<QString>("line"); // told once in a run
        QTest::addColumn<int>("periodMs");
        const QString took
            = "A reading cycle took %1 s, longer than the %2 s interval: readings come every %1 s.";
        const QString hint
            = " Converting all sensors at once (--convert-all) would read them all in about one "
              "conversion time.";
        QTest::newRow("in turn") << false << "1" << took.arg("2.4", "1") + hint << 2400;
        QTest::newRow("all at once") << true << "1" << QString() << 1000;
        QTest::newRow("all at once, a shorter interval") << true << "0.5" << took.arg("0.75", "0.5") << 750;
    }

    void longCycle()
    {
        QFETCH(bool, convertAll);
        QFETCH(QString, interval);
        QFETCH(QString, line);
        QFETCH(int, periodMs);
        view->convertAllTicked = convertAll;
        view->texts[TextField::Text3] = interval;
        QVERIFY(startOnSim(3));
        run->ReadingCycle();
        run->ReadingCycle();
        QCOMPARE(view->devices.filter("A reading cycle took").join(""), line);
        QCOMPARE(view->cycles.last().periodMs, periodMs);
    }
};

QTEST_GUILESS_MAIN(TstConvertAll)
#include "tst_convertall.moc"
