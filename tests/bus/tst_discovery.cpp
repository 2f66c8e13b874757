// DetectSensors on a scripted bus: the device list, RomTable, LastSensor and the result, early stop included.
#include "BusCalls.h"

#include <QTest>

using namespace bustest;
using namespace modKX4136;
using testsupport::RomCode;

namespace {

class RecordedList : public LineList
{
public:
    QStringList lines {QStringLiteral("left from the last START")};
    void clear() override { lines.clear(); }
    void addItem(const QString &line) override { lines << line; }
};

const RomCode ExampleRom {0x28, 0xA2, 0xD9, 0x84, 0x03, 0x00, 0x00, 0xB2};
const RomCode EarlierRom {0x10, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};

RomCode deviceRom(int n)
{
    return testsupport::romWithCrc(0x28, {static_cast<uint8_t>(n), 0x1F, 0x2E, 0x5D, 0x04, 0x00});
}

QString sensorLine(int index, const RomCode &rom, int bits)
{
    QString line = QStringLiteral("Sensor #%1 :").arg(index);
    for (const int16_t byte : rom)
        line += QStringLiteral(" %1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    return line + QStringLiteral(" , %1-bit").arg(bits);
}

std::array<int16_t, 9> scratchpadWith(uint8_t configuration)
{
    return testsupport::withCrc({0x50, 0x05, 0x4B, 0x46, configuration, 0xFF, 0x0C, 0x10});
}

} // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT

    std::shared_ptr<RecordingDriver> driver;
    RecordedList list;

    // A bus of `count` devices in search order; the ROM reads listed in romFails fail.
    void script(int count, const QList<int> &romFails = {})
    {
        driver->push(Op::First, {1});
        for (int i = 1; i < count; ++i)
            driver->push(Op::Next, {1});
        for (int i = 0; i < count; ++i) {
            const bool fails = romFails.contains(i);
            driver->push(Op::Rom, {fails ? 0 : 1});
            if (fails)
                continue;
            driver->romCodes.push_back(deviceRom(i));
            driver->pushScratchpad(scratchpadWith(0x7F));
        }
    }

private slots:
    void init()
    {
        driver = installRecordingDriver();
        list = RecordedList();
        LastSensor = 17;
        setRom(0, EarlierRom);
        setRom(2, EarlierRom);
        setRom(32, EarlierRom);
    }

    void cleanup()
    {
        driver.reset();
        uninstall();
    }

    void oneDeviceCallByCall()
    {
        driver->push(Op::First, {1});
        driver->romCodes.push_back(ExampleRom);
        driver->pushScratchpad(scratchpadWith(0x7F));

        QCOMPARE(DetectSensors(list), int16_t {0});
        QCOMPARE(
            list.lines, (QStringList {"Sensor #0 : 28 A2 D9 84 03 00 00 B2 , 12-bit", "1 sensor(s) found."}));
        QCOMPARE(LastSensor, int16_t {0});
        const QStringList expected
            = QStringList {"XwSetup(7)", "XwFirst(7)", "XwRom(7, 0)", access(), reset()}
            + matchRom(ExampleRom) + powered(0x44, 1000) + QStringList {reset()} + matchRom(ExampleRom)
            + readScratchpad() + QStringList {"XwNext(7)"};
        QCOMPARE(driver->texts(), expected);
        for (const auto &call : driver->calls)
            if (call.op == Op::First || call.op == Op::Next || call.op == Op::Rom || call.op == Op::Access)
                QCOMPARE(call.stateBuffer, StateBuffer.data());
    }

    void search_data()
    {
        QTest::addColumn<int>("devices");
        QTest::addColumn<QList<int>>("romFails");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("lastSensor");
        QTest::addColumn<int>("nextCalls");

        QTest::newRow("three devices")
            << 3 << QList<int> {}
            << QStringList {sensorLine(0, deviceRom(0), 12), sensorLine(1, deviceRom(1), 12),
                   sensorLine(2, deviceRom(2), 12), "3 sensor(s) found."}
            << 2 << 3;
        QTest::newRow("first ROM read fails")
            << 3 << QList<int> {0}
            << QStringList {"Error reading ROM.", sensorLine(1, deviceRom(1), 12),
                   sensorLine(2, deviceRom(2), 12), "3 sensor(s) found."}
            << 2 << 3;
        QTest::newRow("third ROM read fails")
            << 3 << QList<int> {2}
            << QStringList {sensorLine(0, deviceRom(0), 12), sensorLine(1, deviceRom(1), 12),
                   "Device 2 : Error reading ROM", "3 sensor(s) found."}
            << 2 << 3;
        QStringList all32;
        for (int i = 0; i < 32; ++i)
            all32 << sensorLine(i, deviceRom(i), 12);
        QTest::newRow("32 devices") << 32 << QList<int> {} << all32 << 31 << 32;
        const QStringList over32
            = all32 + QStringList {"More than 32 devices on the bus: only the first 32 are read."};
        QTest::newRow("40 devices") << 40 << QList<int> {} << over32 << 31 << 32;
        QStringList failedLast = all32;
        failedLast.last() = QStringLiteral("Device 31 : Error reading ROM");
        QTest::newRow("32nd ROM read fails") << 32 << QList<int> {31} << failedLast << 31 << 32;
    }

    void search()
    {
        QFETCH(int, devices);
        QFETCH(QList<int>, romFails);
        QFETCH(QStringList, lines);
        QFETCH(int, lastSensor);
        QFETCH(int, nextCalls);
        script(devices, romFails);

        QCOMPARE(DetectSensors(list), int16_t {0});
        QCOMPARE(list.lines, lines);
        QCOMPARE(LastSensor, static_cast<int16_t>(lastSensor));
        QCOMPARE(static_cast<int>(driver->callsOf(Op::Next).size()), nextCalls);
        for (const auto &rom : driver->callsOf(Op::Rom))
            QCOMPARE(rom.args.at(1), 0);
        for (int row = 0; row <= lastSensor; ++row) {
            const RomCode expected
                = romFails.contains(row) ? (row == 0 || row == 2 ? EarlierRom : RomCode {}) : deviceRom(row);
            QVERIFY2(std::equal(expected.begin(), expected.end(), RomTable[row]),
                qPrintable(QString::number(row)));
        }
        QVERIFY(std::equal(EarlierRom.begin(), EarlierRom.end(), RomTable[32]));
    }

    void busNotReady_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<int>("first");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("set-up fails") << 0 << 1 << "Error." << QStringList {"XwSetup(7)"};
        QTest::newRow("set-up gives -1") << -1 << 1 << "Error." << QStringList {"XwSetup(7)"};
        QTest::newRow("no device") << 1 << 0 << "Detected KA7700 interface but no 1-wire devices found."
                                   << QStringList {"XwSetup(7)", "XwFirst(7)"};
        QTest::newRow("first gives 2") << 1 << 2 << "Detected KA7700 interface but no 1-wire devices found."
                                       << QStringList {"XwSetup(7)", "XwFirst(7)"};
    }

    void busNotReady()
    {
        QFETCH(int, setup);
        QFETCH(int, first);
        QFETCH(QString, line);
        QFETCH(QStringList, calls);
        driver->push(Op::Setup, {setup});
        driver->push(Op::First, {first});

        QCOMPARE(DetectSensors(list), int16_t {1});
        QCOMPARE(list.lines, QStringList {line});
        QCOMPARE(driver->texts(), calls);
        QCOMPARE(LastSensor, int16_t {17});
        QVERIFY(std::equal(EarlierRom.begin(), EarlierRom.end(), RomTable[0]));
    }

    void searchStoppedByABusError()
    {
        script(2);
        driver->defaults[Op::Next] = -1; // the search failed on the bus, not at its end
        QCOMPARE(DetectSensors(list), int16_t {0});
        QCOMPARE(list.lines.mid(2),
            (QStringList {
                "2 sensor(s) found.", "The search stopped at a bus error: the list may be incomplete."}));
    }

    void resolutionInTheLine_data()
    {
        QTest::addColumn<int>("configuration");
        QTest::addColumn<bool>("crcGood");
        QTest::addColumn<int>("bits");
        QTest::newRow("9-bit") << 0x1F << true << 9;
        QTest::newRow("10-bit") << 0x3F << true << 10;
        QTest::newRow("11-bit") << 0x5F << true << 11;
        QTest::newRow("unknown configuration") << 0x00 << true << 8;
        QTest::newRow("failed resolution read") << 0x7F << false << 7;
    }

    void resolutionInTheLine()
    {
        QFETCH(int, configuration);
        QFETCH(bool, crcGood);
        QFETCH(int, bits);
        driver->push(Op::First, {1});
        driver->romCodes.push_back(ExampleRom);
        auto bytes = scratchpadWith(static_cast<uint8_t>(configuration));
        if (!crcGood)
            bytes[8] = static_cast<int16_t>(bytes[8] ^ 0x01);
        driver->pushScratchpad(bytes);

        QCOMPARE(DetectSensors(list), int16_t {0});
        QCOMPARE(list.lines.at(0), sensorLine(0, ExampleRom, bits));
    }

    void stopBeforeTheNextDevice_data()
    {
        QTest::addColumn<int>("stopAtAsk");
        QTest::addColumn<int>("lastSensor");
        QTest::addColumn<int>("nextCalls");
        QTest::newRow("at once") << 1 << 0 << 0;
        QTest::newRow("after three devices") << 3 << 2 << 2;
        QTest::newRow("never") << 0 << 4 << 5;
    }

    void stopBeforeTheNextDevice()
    {
        QFETCH(int, stopAtAsk);
        QFETCH(int, lastSensor);
        QFETCH(int, nextCalls);
        script(5);
        int asks = 0;
        const auto stop = [&] { return ++asks == stopAtAsk; };

        QCOMPARE(discover(list, stop).result, int16_t {0});
        QCOMPARE(LastSensor, static_cast<int16_t>(lastSensor));
        QCOMPARE(static_cast<int>(driver->callsOf(Op::Next).size()), nextCalls);
        QCOMPARE(list.lines.size(), lastSensor + 1 + (stopAtAsk == 0 ? 1 : 0));
        QCOMPARE(list.lines.at(lastSensor), sensorLine(lastSensor, deviceRom(lastSensor), 12));
    }
};

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
