// Sessions, the bus reset, ROM sending with its fault trap, and a missing driver, on the recording driver.
#include "BusCalls.h"

#include <QTest>

using namespace bustest;
using namespace modKX4136;

namespace {

const testsupport::RomCode KX4136Rom = testsupport::romWithCrc(0x28, {0xA2, 0xD9, 0x84, 0x03, 0x00, 0x00});

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

    std::shared_ptr<RecordingDriver> driver;

private slots:
    void init()
    {
        driver = installRecordingDriver();
        setRom(2, KX4136Rom);
    }

    void cleanup()
    {
        driver.reset();
        uninstall();
    }

    void startSession_data()
    {
        QTest::addColumn<int32_t>("handle");
        QTest::addColumn<int32_t>("setup");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("calls");
        const QString start = QStringLiteral("XwExtendedStartSession(3, 1, 0)");
        QTest::newRow("opens and sets up") << 9 << 1 << true << QStringList {start, "XwSetup(9)"};
        QTest::newRow("set-up fails") << 9 << 0 << false << QStringList {start, "XwSetup(9)"};
        QTest::newRow("set-up gives 2") << 9 << 2 << false << QStringList {start, "XwSetup(9)"};
        QTest::newRow("no session") << 0 << 1 << false << QStringList {start};
        QTest::newRow("negative handle") << -5 << 1 << false << QStringList {start};
    }

    void startSession()
    {
        QFETCH(int32_t, handle);
        QFETCH(int32_t, setup);
        QFETCH(bool, result);
        QFETCH(QStringList, calls);
        SessionHandle = 0;
        PortNum = 3;
        PortType = 1;
        driver->push(Op::ExtendedStartSession, {handle});
        driver->push(Op::Setup, {setup});

        QCOMPARE(StartSession(), result);
        QCOMPARE(SessionHandle, handle);
        QCOMPARE(driver->texts(), calls);
    }

    void endSession_data()
    {
        QTest::addColumn<int32_t>("handle");
        QTest::addColumn<int32_t>("closed");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int32_t>("handleAfter");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("confirmed") << 9 << 1 << true << 0 << QStringList {"XwEndSession(9)"};
        QTest::newRow("not confirmed") << 9 << 0 << false << 0 << QStringList {"XwEndSession(9)"};
        QTest::newRow("gives -1") << 9 << -1 << false << 0 << QStringList {"XwEndSession(9)"};
        QTest::newRow("no session") << 0 << 1 << false << 0 << QStringList {};
        QTest::newRow("failed start kept") << -5 << 1 << false << -5 << QStringList {};
    }

    void endSession()
    {
        QFETCH(int32_t, handle);
        QFETCH(int32_t, closed);
        QFETCH(bool, result);
        QFETCH(int32_t, handleAfter);
        QFETCH(QStringList, calls);
        SessionHandle = handle;
        driver->push(Op::EndSession, {closed});

        QCOMPARE(EndSession(), result);
        QCOMPARE(SessionHandle, handleAfter);
        QCOMPARE(driver->texts(), calls);
    }

    void resetBus_data()
    {
        QTest::addColumn<int32_t>("reset");
        QTest::addColumn<bool>("result");
        QTest::newRow("presence") << 1 << true;
        QTest::newRow("no presence") << 0 << false;
        QTest::newRow("negative counts as presence") << -1 << true;
        QTest::newRow("lowest counts as presence") << -32768 << true;
        QTest::newRow("other value") << 2 << true;
    }

    void resetBus()
    {
        QFETCH(int32_t, reset);
        QFETCH(bool, result);
        driver->push(Op::TouchReset, {reset});
        QCOMPARE(ResetBus(), result);
        QCOMPARE(driver->texts(), QStringList {bustest::reset()});
    }

    void sendRom_data()
    {
        QTest::addColumn<testsupport::RomCode>("rom");
        QTest::addColumn<Script>("script");
        QTest::addColumn<bool>("result");
        const Script none = [](RecordingDriver &) {};
        const testsupport::RomCode withFF {0x28, 0x11, 0xFF, 0x22, 0x33, 0x44, 0x55, 0x66};
        QTest::newRow("plain code") << KX4136Rom << none << true;
        QTest::newRow("0xFF in the code") << withFF << none << false;
        QTest::newRow("negative first echo")
            << KX4136Rom << Script([](RecordingDriver &d) { d.touchByteAt[0] = -1; }) << false;
        QTest::newRow("0xFF echo of the last byte")
            << KX4136Rom << Script([](RecordingDriver &d) { d.touchByteAt[7] = 0xFF; }) << false;
        QTest::newRow("echo not compared with the byte")
            << KX4136Rom << Script([](RecordingDriver &d) { d.touchByteAt[3] = 0x00; }) << true;
    }

    void sendRom()
    {
        QFETCH(testsupport::RomCode, rom);
        QFETCH(Script, script);
        QFETCH(bool, result);
        setRom(7, rom);
        script(*driver);

        QCOMPARE(SendROM(7), result);
        QStringList all8;
        for (const int16_t byte : rom)
            all8 << touch(byte);
        QCOMPARE(driver->texts(), all8);
    }

    void sendRomTrapsFaults_data()
    {
        QTest::addColumn<int16_t>("index");
        QTest::addColumn<int>("driverGoneAfter");
        QTest::addColumn<int>("badEcho");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("bytesSent");
        QTest::newRow("row 33") << int16_t {33} << -1 << -1 << true << 0;
        QTest::newRow("row -1") << int16_t {-1} << -1 << -1 << true << 0;
        QTest::newRow("row 32 exists") << int16_t {32} << -1 << -1 << true << 8;
        QTest::newRow("driver gone at once") << int16_t {2} << 0 << -1 << true << 0;
        QTest::newRow("driver gone after 3 bytes") << int16_t {2} << 3 << -1 << true << 3;
        QTest::newRow("driver gone after a bad echo") << int16_t {2} << 3 << 1 << false << 3;
    }

    void sendRomTrapsFaults()
    {
        QFETCH(int16_t, index);
        QFETCH(int, driverGoneAfter);
        QFETCH(int, badEcho);
        QFETCH(bool, result);
        QFETCH(int, bytesSent);
        // A driver that goes away mid-code: the remaining bytes cannot be sent at all.
        class VanishingDriver : public RecordingDriver
        {
        public:
            int goneAfter = -1;
            int16_t XwTouchByte(int32_t session, int16_t byte) override
            {
                const int16_t echo = RecordingDriver::XwTouchByte(session, byte);
                if (--goneAfter == 0)
                    XWBUSLIB::Install(nullptr);
                return echo;
            }
        };
        auto vanishing = std::make_shared<VanishingDriver>();
        vanishing->goneAfter = driverGoneAfter;
        if (badEcho >= 0)
            vanishing->touchByteAt[static_cast<std::size_t>(badEcho)] = -1;
        XWBUSLIB::Install(driverGoneAfter == 0 ? nullptr : vanishing);

        QCOMPARE(SendROM(index), result);
        QCOMPARE(static_cast<int>(vanishing->calls.size()), bytesSent);
    }

    void withoutDriverEverythingFails()
    {
        XWBUSLIB::Install(nullptr);
        uint8_t state[4] {};
        int16_t rom[9] {};
        QCOMPARE(XWBUSLIB::XwExtendedStartSession(1, 1, 0), 0);
        QCOMPARE(XWBUSLIB::XwSetup(Handle), int16_t {0});
        QCOMPARE(XWBUSLIB::XwEndSession(Handle), int16_t {0});
        QCOMPARE(XWBUSLIB::XwFirst(Handle, state), int16_t {0});
        QCOMPARE(XWBUSLIB::XwNext(Handle, state), int16_t {0});
        QCOMPARE(XWBUSLIB::XwRom(Handle, state, rom), int16_t {0});
        QCOMPARE(XWBUSLIB::XwAccess(Handle, state), int16_t {0});
        QVERIFY(XWBUSLIB::XwTouchByte(Handle, 0x55) < 0);
        QCOMPARE(XWBUSLIB::XwTouchReset(Handle), int16_t {0});
        QCOMPARE(XWBUSLIB::XwOneWireLevel(Handle, 0, 0, 0), int16_t {0});
        SessionHandle = 0;
        QVERIFY(!StartSession());
        QCOMPARE(SessionHandle, 0);
        SessionHandle = Handle;
        QVERIFY(!ReadTemperature(2));
        QVERIFY(!CopyScratchpad(2));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
