// One bus transaction at a time: ticks, STOP, writes and closing arriving inside another transaction's wait.
#include "RunFixture.h"
#include "bus/modKX4136.h"

#include <QFile>
#include <QTest>

using namespace logging;
using State = RunControl::State;

namespace {

// The function commands sent to addressed devices, in order ("44" convert, "BE" read, "4E" write, "48" copy).
QStringList functionCommands(const sim::Transcript &transcript)
{
    QStringList commands;
    int step = -1; // 0: a ROM command is due; 1 to 8: ROM bytes; 9: the function command
    for (const sim::TranscriptEntry &e : transcript.entries()) {
        if (e.kind == sim::TranscriptEntry::Kind::Reset) {
            step = 0;
        } else if (e.kind == sim::TranscriptEntry::Kind::Byte && step >= 0) {
            if (step == 9) {
                commands << QString::number(e.sent, 16).toUpper();
                step = -1;
            } else {
                step = (step == 0 && e.sent != 0x55) ? -1 : step + 1;
            }
        }
    }
    return commands;
}

QStringList readingsOf(const QStringList &items)
{
    QStringList readings;
    for (const QString &item : items)
        readings << item.section(QLatin1Char(' '), 3, 3);
    return readings;
}

} // namespace

class TstInterleaving : public RunFixture
{
    Q_OBJECT

    // The hook runs in the first wait only: later waits belong to what it set off.
    void onFirstWait(std::function<void()> action)
    {
        harness->duringWait = [this, action, done = false](int32_t) mutable {
            if (!done) {
                done = true;
                action();
            }
        };
    }

private slots:
    void init() { setUpRun(); }
    void cleanup() { tearDownRun(); }

    void tickDuringBusWorkIsSkipped_data()
    {
        QTest::addColumn<QString>("activity");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("cycles");
        QTest::newRow("during START") << "start" << QStringList {"44", "BE", "44", "BE"} << 0;
        QTest::newRow("during a cycle") << "cycle" << QStringList {"44", "BE", "44", "BE"} << 1;
        QTest::newRow("during a write") << "write" << QStringList {"BE", "4E", "48"} << 0;
    }

    void tickDuringBusWorkIsSkipped()
    {
        QFETCH(QString, activity);
        QFETCH(QStringList, commands);
        QFETCH(int, cycles);
        if (activity == QLatin1String("start")) {
            installSim(2);
            onFirstWait([this] { run->ReadingCycle(); });
            run->StartRun();
        } else {
            QVERIFY(startOnSim(2));
            onFirstWait([this] { run->ReadingCycle(); });
            if (activity == QLatin1String("cycle"))
                run->ReadingCycle();
            else
                run->WriteResolution();
        }
        QCOMPARE(functionCommands(bus().transcript()), commands);
        QCOMPARE(view->cycles.size(), cycles);
    }

    void stopInsideConversionWait()
    {
        QVERIFY(startOnSim(3));
        bool sessionOpenInside = false;
        onFirstWait([&] {
            run->StopRun();
            sessionOpenInside = modKX4136::SessionHandle > 0 && bus().strongPullUp();
        });
        run->ReadingCycle();
        QVERIFY(sessionOpenInside);
        // The first sensor's transaction ran to its end; the session ended before the next one.
        QCOMPARE(functionCommands(bus().transcript()), (QStringList {"44", "BE"}));
        QVERIFY(!bus().strongPullUp());
        QCOMPARE(modKX4136::SessionHandle, 0);
        QCOMPARE(run->state(), State::Idle);
        const QStringList readings = readingsOf(view->temps);
        QCOMPARE(readings.size(), 3);
        QVERIFY(readings.at(0) != QLatin1String("?"));
        QCOMPARE(readings.mid(1), (QStringList {"?", "?"}));
    }

    // Input 5 ms into a long wait brings the request: a conversion's wait ends there (an EEPROM copy's
    // never before its full second), the bus goes back to its normal level and a cut conversion is not read.
    void stopRequestCutsTheWait_data()
    {
        QTest::addColumn<QString>("activity");
        QTest::addColumn<int>("waitedMs");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("STOP in a conversion") << "cycle" << 5 << QStringList {"44"};
        QTest::newRow("close in a conversion") << "close" << 5 << QStringList {"44"};
        QTest::newRow("STOP in detection") << "start" << 5 << QStringList {"44"};
        QTest::newRow("STOP in an EEPROM copy") << "write" << 1000 << QStringList {"BE", "4E", "48"};
    }

    void stopRequestCutsTheWait()
    {
        QFETCH(QString, activity);
        QFETCH(int, waitedMs);
        QFETCH(QStringList, commands);
        view->texts[TextField::Text4] = QStringLiteral("30000");
        QVERIFY(activity == "start" ? installSim(3) != nullptr : startOnSim(3));
        harness->inputAfterMs = 5;
        onFirstWait([&] { activity == "close" ? void(run->closeRequested()) : run->StopRun(); });
        bool pullUp = false; // still held when the lamp turned green, a transaction having ended
        view->onCall = [&](const QString &call) { pullUp |= call == "lamp green" && bus().strongPullUp(); };
        const auto before = harness->clock->now();
        activity == "start"       ? run->StartRun()
            : activity == "write" ? run->WriteResolution()
                                  : run->ReadingCycle();
        QCOMPARE(harness->clock->now() - before, std::chrono::milliseconds(waitedMs));
        QCOMPARE(functionCommands(bus().transcript()), commands);
        QVERIFY(!pullUp);
        QCOMPARE(modKX4136::SessionHandle, 0);
        QCOMPARE(readingsOf(view->temps).count(QStringLiteral("?")), view->temps.size());
    }

    // A cycle processes pending events before each sensor (pump 1 and 3 here) and after each
    // conversion wait (pump 2 and 4). Before a sensor the bus is free: STOP must not wait for that
    // sensor's read.
    void stopAtPendingEvents_data()
    {
        QTest::addColumn<int>("pump");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QStringList>("failed");
        QTest::newRow("before the first sensor") << 1 << QStringList {} << QStringList {"?", "?"};
        QTest::newRow("after the first conversion")
            << 2 << QStringList {"44", "BE"} << QStringList {"read", "?"};
        QTest::newRow("before the second sensor")
            << 3 << QStringList {"44", "BE"} << QStringList {"read", "?"};
    }

    void stopAtPendingEvents()
    {
        QFETCH(int, pump);
        QFETCH(QStringList, commands);
        QFETCH(QStringList, failed);
        QVERIFY(startOnSim(2));
        harness->duringPump = [this, pump, seen = 0]() mutable {
            if (++seen == pump)
                run->StopRun();
        };
        run->ReadingCycle();
        QCOMPARE(functionCommands(bus().transcript()), commands);
        QStringList readings = readingsOf(view->temps);
        for (QString &reading : readings)
            reading = reading == QLatin1String("?") ? reading : QStringLiteral("read");
        QCOMPARE(readings, failed);
        QCOMPARE(run->state(), State::Idle);
    }

    void writeAtPendingEventsRunsBeforeTheSensor()
    {
        QVERIFY(startOnSim(2));
        view->texts[TextField::Text1] = QStringLiteral("0");
        view->comboRes = 3;
        harness->duringPump = [this, seen = 0]() mutable {
            if (++seen == 3)
                run->WriteResolution();
        };
        QStringList lampInWaits;
        harness->duringWait = [&](int32_t) { lampInWaits << (view->lamp == LampRed ? "red" : "green"); };
        run->ReadingCycle();
        QCOMPARE(
            functionCommands(bus().transcript()), (QStringList {"44", "BE", "BE", "4E", "48", "44", "BE"}));
        // The second sensor's conversion is a bus transaction like the write's copy: the lamp is red.
        QCOMPARE(lampInWaits, (QStringList {"red", "red", "red"}));
        QCOMPARE(view->lamp, LampGreen);
    }

    // It writes what the click chose: edits made while it is held change nothing.
    void writeDuringCycleRunsBetweenSensors()
    {
        QVERIFY(startOnSim(2));
        view->texts[TextField::Text1] = QStringLiteral("1");
        view->comboRes = 0;
        bool command1OffWhileHeld = false;
        onFirstWait([&] {
            run->WriteResolution();
            command1OffWhileHeld = !view->isEnabled(Control::Command1);
            view->texts[TextField::Text1] = QStringLiteral("0");
            view->comboRes = 3;
        });
        run->ReadingCycle();
        QVERIFY(command1OffWhileHeld);
        QCOMPARE(
            functionCommands(bus().transcript()), (QStringList {"44", "BE", "BE", "4E", "48", "44", "BE"}));
        QCOMPARE(bus().thermometer(1)->eeprom().configuration, uint8_t {0x1F});
        QVERIFY(view->isEnabled(Control::Command1));
        QVERIFY(!readingsOf(view->temps).contains(QStringLiteral("?")));
    }

    // Until the cycle has ended a START would be skipped and Help would open inside it.
    void startAndHelpWaitForTheCycleAfterAHeldStop()
    {
        QVERIFY(startOnSim(2));
        onFirstWait([this] { run->StopRun(); });
        bool offInside = true;
        harness->duringPump = [&] {
            offInside &= !view->isEnabled(Control::Command3) && !view->isEnabled(Control::Command4);
        };
        run->ReadingCycle();
        QVERIFY(offInside);
        QVERIFY(view->isEnabled(Control::Command3) && view->isEnabled(Control::Command4));
    }

    void heldWriteDroppedByStopIsTold()
    {
        QVERIFY(startOnSim(2));
        view->texts[TextField::Text1] = QStringLiteral("0");
        onFirstWait([this] {
            run->StopRun();
            run->WriteResolution();
        });
        run->ReadingCycle();
        QCOMPARE(functionCommands(bus().transcript()), (QStringList {"44", "BE"}));
        QVERIFY2(view->devices.last().startsWith(QStringLiteral("The resolution was not written")),
            qPrintable(view->devices.last()));
    }

    void heldWriteWithWrongNumberGivesButtonBack()
    {
        QVERIFY(startOnSim(2));
        view->texts[TextField::Text1] = QStringLiteral("2");
        onFirstWait([this] { run->WriteResolution(); });
        run->ReadingCycle();
        QCOMPARE(view->messages, QStringList {"Wrong sensor number."});
        QCOMPARE(functionCommands(bus().transcript()), (QStringList {"44", "BE", "44", "BE"}));
        QVERIFY(view->isEnabled(Control::Command1));
    }

    // A box that waited for the user inside the cycle would hold the run until OK.
    void wrongNumberDuringACycleNeverWaitsInsideIt()
    {
        QVERIFY(startOnSim(1));
        view->texts[TextField::Text1] = QStringLiteral("1");
        bool waitedInsideBusWork = false;
        view->whileMessageShown = [&] { waitedInsideBusWork |= run->busy(); };
        onFirstWait([this] { run->WriteResolution(); });
        run->ReadingCycle();
        QCOMPARE(view->messages, QStringList {"Wrong sensor number."});
        QVERIFY(!waitedInsideBusWork);
        QVERIFY(view->isEnabled(Control::Command1));
    }

    void heldRequestsKeepTheirOrder_data()
    {
        QTest::addColumn<bool>("writeFirst");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("write, then STOP") << true << QStringList {"44", "BE", "BE", "4E", "48"};
        QTest::newRow("STOP, then write") << false << QStringList {"44", "BE"};
    }

    void heldRequestsKeepTheirOrder()
    {
        QFETCH(bool, writeFirst);
        QFETCH(QStringList, commands);
        QVERIFY(startOnSim(2));
        onFirstWait([&] {
            if (writeFirst)
                run->WriteResolution();
            run->StopRun();
            if (!writeFirst)
                run->WriteResolution();
        });
        run->ReadingCycle();
        QCOMPARE(functionCommands(bus().transcript()), commands);
        QCOMPARE(run->state(), State::Idle);
        QVERIFY(!view->isEnabled(Control::Command1));
    }

    void stopDuringStartEndsDetection()
    {
        installSim(3);
        onFirstWait([this] { run->StopRun(); });
        run->StartRun();
        QCOMPARE(view->devices.size(), 1);
        QVERIFY(view->devices.first().startsWith(QLatin1String("Sensor #0 : 28 ")));
        QCOMPARE(functionCommands(bus().transcript()), (QStringList {"44", "BE"}));
        QVERIFY(view->callsMatching(QStringLiteral("timer 1")).isEmpty());
        QVERIFY(!QFile::exists(logPath));
        QCOMPARE(run->lastStart(), RunControl::StartOutcome::StoppedDuringDetection);
        QCOMPARE(run->state(), State::Idle);
        QCOMPARE(modKX4136::SessionHandle, 0);
        QCOMPARE(view->lamp, LampGreen);
        QVERIFY(view->isEnabled(Control::Command3));
        QVERIFY(!view->isEnabled(Control::Command1));
    }

    void closeDuringStart()
    {
        installSim(3);
        bool closeNow = true;
        onFirstWait([&] { closeNow = run->closeRequested(); });
        int32_t sessionAtEnd = -1;
        view->onCall = [&](const QString &call) {
            if (call == QLatin1String("end program"))
                sessionAtEnd = modKX4136::SessionHandle;
        };
        run->StartRun();
        QVERIFY(!closeNow);
        QCOMPARE(view->endProgramCalls, 1);
        QCOMPARE(sessionAtEnd, 0);
        QVERIFY(!bus().strongPullUp());
        QVERIFY(view->callsMatching(QStringLiteral("timer 1")).isEmpty());
        QVERIFY(!QFile::exists(logPath));

        const std::size_t traffic = bus().transcript().size();
        run->ReadingCycle();
        QCOMPARE(bus().transcript().size(), traffic);
    }

    void closeDuringCycleWritesNoMore()
    {
        QVERIFY(startOnSim(2));
        bool closeNow = true;
        onFirstWait([&] { closeNow = run->closeRequested(); });
        run->ReadingCycle();
        QVERIFY(!closeNow);
        QCOMPARE(view->endProgramCalls, 1);
        QCOMPARE(functionCommands(bus().transcript()), (QStringList {"44", "BE"}));
        QVERIFY(view->cycles.isEmpty());
        QFile log(logPath);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("\r\n"), 1); // the header only
    }

    void closingDropsWhatWasHeldBeforeIt()
    {
        QVERIFY(startOnSim(2));
        onFirstWait([this] {
            run->WriteResolution();
            run->StopRun();
            run->closeRequested();
        });
        run->ReadingCycle();
        QCOMPARE(functionCommands(bus().transcript()), (QStringList {"44", "BE"}));
        QCOMPARE(view->endProgramCalls, 1);
        QVERIFY(view->callsMatching(QStringLiteral("timer 0")).isEmpty());
    }

    void closeDuringEepromCopy()
    {
        auto recording = recordingWithRows(1);
        recording->pushScratchpad(testsupport::withCrc({0x50, 0x01, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10}));
        QVERIFY(modKX4136::SessionHandle > 0);

        bool closeNow = true;
        QString lastCallInWait;
        onFirstWait([&] {
            lastCallInWait = recording->texts().last();
            closeNow = run->closeRequested();
        });
        run->WriteResolution();
        QVERIFY(!closeNow);
        QCOMPARE(lastCallInWait, QStringLiteral("XwTouchByte(7, 72)"));
        const QStringList texts = recording->texts();
        const QStringList afterCopy = texts.mid(texts.indexOf(lastCallInWait) + 1);
        const QStringList expected {"XwOneWireLevel(7, 0, 0, 0)", "XwTouchReset(7)", "lamp green",
            "enable Command1 0", "XwEndSession(7)", "end program"};
        QCOMPARE(afterCopy, expected);
    }
};

QTEST_GUILESS_MAIN(TstInterleaving)
#include "tst_interleaving.moc"
