// The sensor exchanges checked call by call against the recording driver, failures included.
#include "BusCalls.h"

#include <QTest>

using namespace bustest;
using namespace modKX4136;
using testsupport::romWithCrc;
using testsupport::withCrc;

using Bytes8 = std::array<uint8_t, 8>;
// One sensor exchange, run against the recording driver; gives the exchange's result.
using Transaction = std::function<bool()>;
Q_DECLARE_METATYPE(Transaction)

namespace {

const testsupport::RomCode KX4136Rom = romWithCrc(0x28, {0xA2, 0xD9, 0x84, 0x03, 0x00, 0x00});
const testsupport::RomCode KX4130Rom = romWithCrc(0x10, {0xB2, 0x7C, 0x45, 0x01, 0x08, 0x00});

Bytes8 scratchpad(uint8_t low, uint8_t high, uint8_t configuration = 0x7F)
{
    return {low, high, 0x4B, 0x46, configuration, 0xFF, 0x10, 0x10};
}

// The thermometer's own layout, not the code's table: resolution in bits 6..5 (0 for 9 bits), the rest ones.
uint8_t configurationFor(int code)
{
    return static_cast<uint8_t>(0x1F | ((code - 1) << 5));
}

// The whole of a temperature or resolution read: the two exchanges around the conversion wait.
QStringList readCalls(const testsupport::RomCode &rom, int waitMs)
{
    return QStringList {access(), reset()} + matchRom(rom) + powered(0x44, waitMs) + QStringList {reset()}
    + matchRom(rom) + readScratchpad();
}

} // namespace

class TestTransactions : public QObject
{
    Q_OBJECT

    std::shared_ptr<RecordingDriver> driver;

private slots:
    void init()
    {
        driver = installRecordingDriver();
        setRom(2, KX4136Rom);
        setRom(5, KX4130Rom);
        OneWireDelay = 500;
    }

    void cleanup()
    {
        driver.reset();
        uninstall();
    }

    void temperature_data()
    {
        QTest::addColumn<int16_t>("row");
        QTest::addColumn<uint8_t>("low");
        QTest::addColumn<uint8_t>("high");
        QTest::addColumn<float>("celsius");
        QTest::newRow("KX4136 25.0625") << int16_t {2} << uint8_t {0x91} << uint8_t {0x01} << 25.0625F;
        QTest::newRow("KX4136 -10.125") << int16_t {2} << uint8_t {0x5E} << uint8_t {0xFF} << -10.125F;
        QTest::newRow("KX4136 125") << int16_t {2} << uint8_t {0xD0} << uint8_t {0x07} << 125.0F;
        QTest::newRow("KX4136 -0.5") << int16_t {2} << uint8_t {0xF8} << uint8_t {0xFF} << -0.5F;
        QTest::newRow("KX4136 0") << int16_t {2} << uint8_t {0x00} << uint8_t {0x00} << 0.0F;
        QTest::newRow("KX4136 -55") << int16_t {2} << uint8_t {0x90} << uint8_t {0xFC} << -55.0F;
        QTest::newRow("KX4136 85 measured") << int16_t {2} << uint8_t {0x50} << uint8_t {0x05} << 85.0F;
        QTest::newRow("KX4136 smallest step below 0")
            << int16_t {2} << uint8_t {0xFF} << uint8_t {0xFF} << -0.0625F;
        QTest::newRow("KX4136 raw 0x8000") << int16_t {2} << uint8_t {0x00} << uint8_t {0x80} << -2048.0F;
        QTest::newRow("KX4136 raw 0x7FFF") << int16_t {2} << uint8_t {0xFF} << uint8_t {0x7F} << 2047.9375F;
        QTest::newRow("KX4130 85") << int16_t {5} << uint8_t {0xAA} << uint8_t {0x00} << 85.0F;
        QTest::newRow("KX4130 -25") << int16_t {5} << uint8_t {0xCE} << uint8_t {0xFF} << -25.0F;
        QTest::newRow("KX4130 0.5") << int16_t {5} << uint8_t {0x01} << uint8_t {0x00} << 0.5F;
        QTest::newRow("KX4130 0") << int16_t {5} << uint8_t {0x00} << uint8_t {0x00} << 0.0F;
        QTest::newRow("KX4130 -55") << int16_t {5} << uint8_t {0x92} << uint8_t {0xFF} << -55.0F;
        QTest::newRow("KX4130 raw 0x8000") << int16_t {5} << uint8_t {0x00} << uint8_t {0x80} << -16384.0F;
    }

    void temperature()
    {
        QFETCH(int16_t, row);
        QFETCH(uint8_t, low);
        QFETCH(uint8_t, high);
        QFETCH(float, celsius);
        driver->pushScratchpad(withCrc(scratchpad(low, high)));

        QVERIFY(ReadTemperature(row));
        QCOMPARE(GetTemperature(), celsius);
        QCOMPARE(driver->texts(), readCalls(row == 2 ? KX4136Rom : KX4130Rom, 500));
        QCOMPARE(driver->callsOf(Op::Access).at(0).stateBuffer, StateBuffer.data());
    }

    void temperatureFailures_data()
    {
        QTest::addColumn<int16_t>("row");
        QTest::addColumn<Script>("script");
        QTest::addColumn<QStringList>("calls");
        const QStringList head {access(), reset()};
        const QStringList converted = head + matchRom(KX4136Rom) + powered(0x44, 500) + QStringList {reset()};
        QTest::newRow("access fails")
            << int16_t {2} << Script([](RecordingDriver &d) { d.push(Op::Access, {0}); })
            << QStringList {access()};
        QTest::newRow("access gives 2")
            << int16_t {2} << Script([](RecordingDriver &d) { d.push(Op::Access, {2}); })
            << QStringList {access()};
        QTest::newRow("no presence") << int16_t {2}
                                     << Script([](RecordingDriver &d) { d.push(Op::TouchReset, {0}); })
                                     << head;
        QTest::newRow("unknown family")
            << int16_t {2} << Script([](RecordingDriver &) { modKX4136::RomTable[2][0] = 0x22; }) << head;
        QTest::newRow("ROM byte echoes 0xFF")
            << int16_t {2} << Script([](RecordingDriver &d) { d.touchByteAt[3] = 0xFF; })
            << head + matchRom(KX4136Rom);
        QTest::newRow("no presence after the conversion") << int16_t {2} << Script([](RecordingDriver &d) {
            d.push(Op::TouchReset, {1, 0});
        }) << converted;
        QTest::newRow("second ROM send fails")
            << int16_t {2} << Script([](RecordingDriver &d) { d.touchByteAt[18] = -2; })
            << converted + matchRom(KX4136Rom);
        QTest::newRow("bad ninth byte") << int16_t {2} << Script([](RecordingDriver &d) {
            auto bytes = withCrc(scratchpad(0x91, 0x01));
            bytes[8] = static_cast<int16_t>(bytes[8] ^ 0x80);
            d.pushScratchpad(bytes);
        }) << converted + matchRom(KX4136Rom) + readScratchpad();
        QTest::newRow("adapter fails on the ninth byte") << int16_t {2} << Script([](RecordingDriver &d) {
            auto bytes = withCrc(scratchpad(0x91, 0x01));
            bytes[8] = -1;
            d.pushScratchpad(bytes);
        }) << converted + matchRom(KX4136Rom) + readScratchpad();
        QTest::newRow("adapter fails on every scratchpad byte") << int16_t {
            2} << Script([](RecordingDriver &d) {
            d.pushScratchpad(std::array<int16_t, 9> {-1, -1, -1, -1, -1, -1, -1, -1, -1});
        }) << converted + matchRom(KX4136Rom) + readScratchpad();
        QTest::newRow("row 33 has no family") << int16_t {33} << Script([](RecordingDriver &) {}) << head;
    }

    void temperatureFailures()
    {
        QFETCH(int16_t, row);
        QFETCH(Script, script);
        QFETCH(QStringList, calls);
        Temperature = 21.5F;
        script(*driver);

        QVERIFY(!ReadTemperature(row));
        QCOMPARE(driver->texts(), calls);
        QCOMPARE(GetTemperature(), 21.5F);
    }

    void resolution_data()
    {
        QTest::addColumn<uint8_t>("configuration");
        QTest::addColumn<int32_t>("code");
        for (int code = 1; code <= 4; ++code)
            QTest::addRow("%d bits", code + 8) << configurationFor(code) << code;
        QTest::newRow("0x00 unknown") << uint8_t {0x00} << 0;
        QTest::newRow("0xFF unknown") << uint8_t {0xFF} << 0;
        QTest::newRow("near miss 0x7E") << uint8_t {0x7E} << 0;
    }

    void resolution()
    {
        QFETCH(uint8_t, configuration);
        QFETCH(int32_t, code);
        OneWireDelay = 93;
        driver->pushScratchpad(withCrc(scratchpad(0x50, 0x05, configuration)));
        int32_t read = -99;

        QVERIFY(ReadResolution(2, read));
        QCOMPARE(read, code);
        QCOMPARE(driver->texts(), readCalls(KX4136Rom, 1000));
    }

    void resolutionFailureLeavesCode_data()
    {
        QTest::addColumn<Script>("script");
        QTest::newRow("bad CRC") << Script([](RecordingDriver &d) {
            auto bytes = withCrc(scratchpad(0x50, 0x05, 0x1F));
            bytes[8] = static_cast<int16_t>(bytes[8] + 1);
            d.pushScratchpad(bytes);
        });
        QTest::newRow("access fails") << Script([](RecordingDriver &d) { d.push(Op::Access, {0}); });
        QTest::newRow("no presence after the conversion") << Script([](RecordingDriver &d) {
            d.push(Op::TouchReset, {1, 0});
        });
        QTest::newRow("adapter fails while reading") << Script([](RecordingDriver &d) {
            auto bytes = withCrc(scratchpad(0x50, 0x05, 0x1F));
            bytes[8] = -1;
            d.pushScratchpad(bytes);
        });
    }

    void resolutionFailureLeavesCode()
    {
        QFETCH(Script, script);
        script(*driver);
        int32_t read = -99;
        QVERIFY(!ReadResolution(2, read));
        QCOMPARE(read, -99);
    }

    void writeScratchpad_data()
    {
        QTest::addColumn<int16_t>("code");
        QTest::addColumn<int>("configuration");
        for (int16_t code = 1; code <= 4; ++code)
            QTest::addRow("code %d", code) << code << int {configurationFor(code)};
        QTest::newRow("code 0") << int16_t {0} << 0x1F;
        QTest::newRow("code 5") << int16_t {5} << 0x1F;
        QTest::newRow("code -1") << int16_t {-1} << 0x1F;
    }

    void writeScratchpad()
    {
        QFETCH(int16_t, code);
        QFETCH(int, configuration);

        QVERIFY(WriteScratchpad(2, code, 0, 20));
        const QStringList expected = QStringList {access(), reset()} + matchRom(KX4136Rom)
            + QStringList {touch(0x4E), touch(0x14), touch(0x00), touch(configuration), reset()};
        QCOMPARE(driver->texts(), expected);
    }

    void writeScratchpadResults_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("callCount");
        QTest::newRow("closing reset fails") << Script([](RecordingDriver &d) {
            d.push(Op::TouchReset, {1, 0});
        }) << false << 16;
        QTest::newRow("access fails")
            << Script([](RecordingDriver &d) { d.push(Op::Access, {0}); }) << false << 1;
        QTest::newRow("ROM echo fails")
            << Script([](RecordingDriver &d) { d.touchByteAt[8] = -1; }) << false << 11;
    }

    void writeScratchpadResults()
    {
        QFETCH(Script, script);
        QFETCH(bool, result);
        QFETCH(int, callCount);
        script(*driver);
        QCOMPARE(WriteScratchpad(2, 4, 0, 20), result);
        QCOMPARE(static_cast<int>(driver->calls.size()), callCount);
    }

    void copyScratchpad_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("calls");
        const QStringList full
            = QStringList {reset()} + matchRom(KX4130Rom) + powered(0x48, 1000) + QStringList {reset()};
        QTest::newRow("copied") << Script([](RecordingDriver &) {}) << true << full;
        QTest::newRow("closing reset fails") << Script([](RecordingDriver &d) {
            d.push(Op::TouchReset, {1, 0});
        }) << false << full;
        QTest::newRow("no presence") << Script([](RecordingDriver &d) { d.push(Op::TouchReset, {0}); })
                                     << false << QStringList {reset()};
        QTest::newRow("ROM echo fails") << Script([](RecordingDriver &d) { d.touchByteAt[2] = 0xFF; })
                                        << false << QStringList {reset()} + matchRom(KX4130Rom);
    }

    void copyScratchpad()
    {
        QFETCH(Script, script);
        QFETCH(bool, result);
        QFETCH(QStringList, calls);
        script(*driver);
        QCOMPARE(CopyScratchpad(5), result);
        QCOMPARE(driver->texts(), calls);
    }

    void pullUpEndsAtNormalWhateverTheResult_data()
    {
        QTest::addColumn<Transaction>("transaction");
        QTest::addColumn<Script>("script");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QStringList>("poweredCalls");
        const Transaction temperature = [] { return ReadTemperature(2); };
        const Transaction resolution = [] {
            int32_t code = 0;
            return ReadResolution(2, code);
        };
        const Transaction copy = [] { return CopyScratchpad(2); };
        const Script noPresenceAfter = [](RecordingDriver &d) { d.push(Op::TouchReset, {1, 0}); };
        // Touch number 18 is the last ROM byte of the second match ROM.
        const Script secondRomFails = [](RecordingDriver &d) { d.touchByteAt[18] = -1; };
        const Script badCrc = [](RecordingDriver &d) {
            auto bytes = withCrc(scratchpad(0x50, 0x05, 0x3F));
            bytes[8] = static_cast<int16_t>(bytes[8] ^ 0x01);
            d.pushScratchpad(bytes);
        };
        const Script good
            = [](RecordingDriver &d) { d.pushScratchpad(withCrc(scratchpad(0x50, 0x05, 0x3F))); };
        const QStringList conversion = powered(0x44, 500);
        const QStringList longConversion = powered(0x44, 1000);

        QTest::newRow("temperature read") << temperature << good << true << conversion;
        QTest::newRow("temperature: no presence after the conversion")
            << temperature << noPresenceAfter << false << conversion;
        QTest::newRow("resolution read") << resolution << good << true << longConversion;
        QTest::newRow("resolution: no presence after the conversion")
            << resolution << noPresenceAfter << false << longConversion;
        QTest::newRow("resolution: second ROM send fails")
            << resolution << secondRomFails << false << longConversion;
        QTest::newRow("resolution: bad CRC") << resolution << badCrc << false << longConversion;
        QTest::newRow("copy") << copy << Script([](RecordingDriver &) {}) << true << powered(0x48, 1000);
        QTest::newRow("copy: no presence at the end")
            << copy << noPresenceAfter << false << powered(0x48, 1000);
    }

    void pullUpEndsAtNormalWhateverTheResult()
    {
        QFETCH(Transaction, transaction);
        QFETCH(Script, script);
        QFETCH(bool, result);
        QFETCH(QStringList, poweredCalls);
        script(*driver);

        QCOMPARE(transaction(), result);
        const QStringList texts = driver->texts();
        const auto armed = texts.indexOf(level(0, 1, 2));
        QVERIFY(armed >= 0);
        QCOMPARE(texts.mid(armed, poweredCalls.size()), poweredCalls);
        QCOMPARE(texts.count(level(0, 1, 2)), 1);
        QCOMPARE(texts.count(level(0, 0, 0)), 1);
    }

    void pumpRunsWhileThePullUpIsOn()
    {
        // The pull-up is still on while pending events are handled; normal comes after them.
        modMsgWait::setEventPump([this] { driver->note(QStringLiteral("events")); });
        QVERIFY(CopyScratchpad(5));
        const QStringList texts = driver->texts();
        const auto events = texts.indexOf(QStringLiteral("events"));
        QVERIFY(events > texts.indexOf(level(0, 1, 2)));
        QCOMPARE(texts.at(events + 1), level(0, 0, 0));
    }
};

QTEST_GUILESS_MAIN(TestTransactions)
#include "tst_transactions.moc"
