// MsgWait: deadline arithmetic on the wrapping tick counter, the wait loop, and the real dispatcher wait.
#include "wait/modMsgWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTest>
#include <QTimer>
#include <deque>
#include <thread>

using namespace modMsgWait;

namespace {

// Counts the events it receives, so a test can see that input was dispatched.
class Receiver : public QObject
{
public:
    int received = 0;
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        ++received;
        return true;
    }
};

} // namespace

class TestMsgWait : public QObject
{
    Q_OBJECT

    std::deque<int32_t> ticks;
    int ticksRead = 0;
    QList<int32_t> timeouts;
    int pumps = 0;

private slots:
    void init()
    {
        ticks.clear();
        ticksRead = 0;
        timeouts.clear();
        pumps = 0;
        // Each tick reading takes the next scripted value; running out of them is a fault of the case.
        setTickSource([this] {
            ++ticksRead;
            if (ticks.empty()) {
                qWarning("tick read past the script");
                return int32_t {0};
            }
            const int32_t now = ticks.front();
            ticks.pop_front();
            return now;
        });
        setEventPump([this] { ++pumps; });
    }

    void cleanup()
    {
        setTickSource({});
        setPlatformWait({});
        setEventPump({});
    }

    void deadlineArithmetic_data()
    {
        QTest::addColumn<int32_t>("interval");
        QTest::addColumn<QList<int32_t>>("tickReadings");
        QTest::addColumn<QList<int32_t>>("expectedTimeouts");

        // First reading sets the deadline; every later one is one pass of the loop.
        QTest::newRow("addition overflows at 2^31-10")
            << 500 << QList<int32_t> {2147483638, 2147483640, -2147483158, -2147483157}
            << QList<int32_t> {498, 0};
        QTest::newRow("start at 2^32-10 gives deadline 490")
            << 500 << QList<int32_t> {-10, -10, 489, 490, 491} << QList<int32_t> {500, 1, 0};
        QTest::newRow("no time passed waits the full interval")
            << 250 << QList<int32_t> {1000, 1000, 1251} << QList<int32_t> {250};
        QTest::newRow("remaining above the interval expires at once")
            << 250 << QList<int32_t> {1000, 999} << QList<int32_t> {};
        QTest::newRow("deadline reached exactly waits 0 once")
            << 40 << QList<int32_t> {-60, -30, -20, -19} << QList<int32_t> {10, 0};
        QTest::newRow("subtraction overflow with positive deadline expires")
            << 500 << QList<int32_t> {100, -2147483100} << QList<int32_t> {};
        QTest::newRow("interval 0, counter moved") << 0 << QList<int32_t> {5, 6} << QList<int32_t> {};
        QTest::newRow("interval 0, counter still") << 0 << QList<int32_t> {5, 5, 6} << QList<int32_t> {0};
        QTest::newRow("interval below -1 counts as 0")
            << -7 << QList<int32_t> {5, 5, 6} << QList<int32_t> {0};
        QTest::newRow("largest interval from the top of the counter")
            << 2147483647 << QList<int32_t> {2147483647, 2147483647, -2, -1}
            << QList<int32_t> {2147483647, 0};
    }

    void deadlineArithmetic()
    {
        QFETCH(int32_t, interval);
        QFETCH(QList<int32_t>, tickReadings);
        QFETCH(QList<int32_t>, expectedTimeouts);
        ticks.assign(tickReadings.begin(), tickReadings.end());
        const int32_t handle = 0;
        const int32_t count = 0;
        // Input arrives every time, so only the deadline can end the loop (or the script running out).
        setPlatformWait([this](int32_t n, const int32_t *, int32_t timeoutMs) {
            timeouts.append(timeoutMs);
            return ticks.empty() ? WaitTimedOut : n;
        });

        QCOMPARE(MsgWait(interval, &handle, count), 0);
        QCOMPARE(timeouts, expectedTimeouts);
        QCOMPARE(ticksRead, static_cast<int>(tickReadings.size()));
        QCOMPARE(pumps, static_cast<int>(expectedTimeouts.size()));
    }

    void noDeadlineNeverReadsTheCounter()
    {
        const int32_t handle = 0;
        const int32_t count = 0;
        std::deque<int32_t> results {0, 0, WaitTimedOut};
        setPlatformWait([&](int32_t, const int32_t *, int32_t timeoutMs) {
            timeouts.append(timeoutMs);
            const int32_t r = results.front();
            results.pop_front();
            return r;
        });

        QCOMPARE(MsgWait(-1, &handle, count), WaitTimedOut);
        QCOMPARE(ticksRead, 0);
        QCOMPARE(timeouts, (QList<int32_t> {-1, -1, -1}));
        QCOMPARE(pumps, 3);
    }

    void otherWaitResultEndsAfterOnePump_data()
    {
        QTest::addColumn<int32_t>("waitResult");
        QTest::newRow("timed out") << WaitTimedOut;
        QTest::newRow("failure") << int32_t {-1};
    }

    void otherWaitResultEndsAfterOnePump()
    {
        QFETCH(int32_t, waitResult);
        ticks = {100, 100};
        const int32_t handle = 0;
        const int32_t count = 0;
        const int32_t *handed = nullptr;
        setPlatformWait([&](int32_t, const int32_t *handles, int32_t timeoutMs) {
            timeouts.append(timeoutMs);
            handed = handles;
            return waitResult;
        });

        QCOMPARE(MsgWait(20, &handle, count), waitResult);
        QCOMPARE(timeouts, (QList<int32_t> {20}));
        QCOMPARE(pumps, 1);
        QCOMPARE(handed, &handle);
    }

    void countIsReadAnewAtEveryPass()
    {
        ticks = {0, 0, 1, 6};
        const int32_t handle = 0;
        int32_t count = 0;
        QList<int32_t> countsHanded;
        setPlatformWait([&](int32_t n, const int32_t *, int32_t) {
            countsHanded.append(n);
            return int32_t {1};
        });
        // An event handler run by the pump changes the caller's count.
        setEventPump([&] { count = 1; });

        QCOMPARE(MsgWait(5, &handle, count), 0);
        QCOMPARE(countsHanded, (QList<int32_t> {0, 1}));
    }

    void defaultWaitRunsToItsTimeOut()
    {
        cleanup();
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(defaultPlatformWait(0, nullptr, 50), WaitTimedOut);
        QVERIFY2(clock.elapsed() >= 45, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(clock.elapsed() < 2000);
    }

    void defaultWaitWithZeroTimeOutReturnsAtOnce()
    {
        cleanup();
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(defaultPlatformWait(0, nullptr, 0), WaitTimedOut);
        QVERIFY(clock.elapsed() < 1000);
    }

    void postedEventEndsTheDefaultWaitEarly()
    {
        cleanup();
        QCoreApplication::processEvents();
        Receiver receiver;
        std::thread poster([&receiver] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            QCoreApplication::postEvent(&receiver, new QEvent(QEvent::User));
        });
        QElapsedTimer clock;
        clock.start();
        const int32_t result = defaultPlatformWait(0, nullptr, 5000);
        const qint64 elapsed = clock.elapsed();
        poster.join();
        QCoreApplication::processEvents();

        QCOMPARE(result, 0);
        QVERIFY2(elapsed < 2500, qPrintable(QString::number(elapsed)));
        QCOMPARE(receiver.received, 1);
    }

    void msgWaitDispatchesInputAndStillLastsTheInterval()
    {
        cleanup();
        QCoreApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        qint64 handledAt = -1;
        QTimer::singleShot(20, this, [&] { handledAt = clock.elapsed(); });
        const int32_t handle = 0;
        const int32_t count = 0;

        MsgWait(100, &handle, count);
        const qint64 elapsed = clock.elapsed();

        QVERIFY2(handledAt >= 0 && handledAt < 100, qPrintable(QString::number(handledAt)));
        QVERIFY2(elapsed >= 95, qPrintable(QString::number(elapsed)));
        QVERIFY(elapsed < 3000);
    }

    void defaultTicksFollowSteadyTime()
    {
        cleanup();
        QElapsedTimer clock;
        clock.start();
        const int32_t before = GetTickCount();
        defaultPlatformWait(0, nullptr, 40);
        const uint32_t ticked = static_cast<uint32_t>(GetTickCount()) - static_cast<uint32_t>(before);
        const qint64 elapsed = clock.elapsed();
        // At least the wait itself passed between the readings, and no more than the whole case.
        QVERIFY2(ticked >= 39 && ticked <= elapsed + 1,
            qPrintable(QStringLiteral("%1 vs %2").arg(ticked).arg(elapsed)));
    }
};

QTEST_GUILESS_MAIN(TestMsgWait)
#include "tst_msgwait.moc"
