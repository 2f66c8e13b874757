// The default wait before any application object exists: it must still end after its time-out.
#include "wait/modMsgWait.h"

#include <QElapsedTimer>
#include <QTest>

using namespace modMsgWait;

class TestMsgWaitNoApp : public QObject
{
    Q_OBJECT

private slots:
    void timeOutIsSleptThrough()
    {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(defaultPlatformWait(0, nullptr, 50), WaitTimedOut);
        QVERIFY2(clock.elapsed() >= 45, qPrintable(QString::number(clock.elapsed())));
    }

    void endlessWaitReturnsAtOnce()
    {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(defaultPlatformWait(0, nullptr, -1), WaitTimedOut);
        QVERIFY(clock.elapsed() < 1000);
    }

    void msgWaitEndsAfterItsInterval()
    {
        const int32_t handle = 0;
        const int32_t count = 0;
        QElapsedTimer clock;
        clock.start();
        MsgWait(30, &handle, count);
        QVERIFY2(clock.elapsed() >= 25, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(clock.elapsed() < 3000);
    }
};

QTEST_APPLESS_MAIN(TestMsgWaitNoApp)
#include "tst_msgwait_noapp.moc"
