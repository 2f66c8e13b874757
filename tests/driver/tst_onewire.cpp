// Tests of the shared 1-Wire layer on the simulated bus: ROM search, current device, sessions, results.
#include "XwHarness.h"

#include <QTest>

#include <algorithm>
#include <set>

using namespace drivertest;
using onewire::RomCode;
using Codes = std::vector<RomCode>;

Q_DECLARE_METATYPE(Codes)

namespace {

constexpr uint64_t SharedSerial = 0x0000'0A1B'2C3D;

Codes generated(int count)
{
    Codes codes;
    for (int i = 0; i < count; ++i)
        codes.push_back(sim::generatedRomCode(0x28, static_cast<uint64_t>(i)));
    return codes;
}

RomCode withBadCrc(RomCode rom)
{
    rom[7] ^= 0x01;
    return rom;
}

// The search goes the 0 way first at every fork, so it reports codes in this order.
bool bitOrderLess(const RomCode &a, const RomCode &b)
{
    const auto bitsA = onewire::toBits(a);
    const auto bitsB = onewire::toBits(b);
    return std::lexicographical_compare(bitsA.begin(), bitsA.end(), bitsB.begin(), bitsB.end());
}

void addPlainDevices(XwHarness &harness, const Codes &codes)
{
    for (const RomCode &rom : codes)
        harness.add(std::make_shared<sim::Device>(rom));
}

QString hexText(const RomCode &rom)
{
    QStringList parts;
    for (const uint8_t byte : rom)
        parts << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestOneWire : public QObject
{
    Q_OBJECT

private slots:
    void crcOfKnownBlocks_data();
    void crcOfKnownBlocks();
    void searchFindsEveryDevice_data();
    void searchFindsEveryDevice();
    void searchFollowsTheWorkedExample();
    void searchRejectsImpossibleCodes_data();
    void searchRejectsImpossibleCodes();
    void devicesComeAndGoBetweenSearches();
    void deviceLeavingDuringSearch_data();
    void deviceLeavingDuringSearch();
    void romReadsTheCurrentDevice();
    void romWithACodeMakesItCurrent();
    void accessSelectsTheCurrentDevice_data();
    void accessSelectsTheCurrentDevice();
    void handlesCountUpAndAreNeverReused();
    void startSessionFails_data();
    void startSessionFails();
    void deadHandleFailsEveryOperation_data();
    void deadHandleFailsEveryOperation();
    void setupFailsWhenTheAdapterDoes();
    void touchResetFailsWhenTheAdapterDoes();
    void touchByteResults_data();
    void touchByteResults();
    void levelArgumentSets_data();
    void levelArgumentSets();
};

void TestOneWire::crcOfKnownBlocks_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("crc");
    QTest::newRow("ROM 02 1C B8 01") << QByteArray::fromHex("021CB801000000") << 0xA2;
    QTest::newRow("ROM 28 0C 0D 0E 0F") << QByteArray::fromHex("280C0D0E0F0000") << 0xC5;
    QTest::newRow("ROM 28 3D 2C 1B 0A") << QByteArray::fromHex("283D2C1B0A0000") << 0xA6;
    QTest::newRow("ROM with an E3 byte") << QByteArray::fromHex("285634E3120000") << 0xDD;
    QTest::newRow("scratchpad -3.25 degrees") << QByteArray::fromHex("CCFF4B467FFF0C10") << 0x2A;
    QTest::newRow("scratchpad 21.5 degrees") << QByteArray::fromHex("58014B467FFF0C10") << 0xC2;
    QTest::newRow("power-on scratchpad") << QByteArray::fromHex("50054B467FFF0C10") << 0x1C;
}

void TestOneWire::crcOfKnownBlocks()
{
    QFETCH(QByteArray, block);
    QFETCH(int, crc);
    const auto *data = reinterpret_cast<const uint8_t *>(block.constData());
    const std::span<const uint8_t> bytes(data, static_cast<std::size_t>(block.size()));
    QCOMPARE(onewire::crc8(bytes), crc);
    block.append(static_cast<char>(crc));
    QCOMPARE(onewire::crc8(std::span<const uint8_t>(reinterpret_cast<const uint8_t *>(block.constData()),
                 static_cast<std::size_t>(block.size()))),
        0);
}

void TestOneWire::searchFindsEveryDevice_data()
{
    QTest::addColumn<Codes>("devices");
    QTest::newRow("three devices") << generated(3);
    QTest::newRow("40 devices") << generated(40);
    QTest::newRow("codes that first differ in bit 0")
        << Codes {sim::makeRomCode(0x29, SharedSerial), sim::makeRomCode(0x28, SharedSerial)};
    QTest::newRow("codes that differ only in the last serial bit") << Codes {
        sim::makeRomCode(0x28, SharedSerial | (uint64_t {1} << 47)), sim::makeRomCode(0x28, SharedSerial)};
    QTest::newRow("both kinds of thermometer and a stranger") << Codes {sim::generatedRomCode(0x10, 7),
        sim::generatedRomCode(0x28, 7), sim::generatedRomCode(0x01, 7), sim::generatedRomCode(0x10, 8)};
}

void TestOneWire::searchFindsEveryDevice()
{
    QFETCH(Codes, devices);
    XwHarness harness;
    addPlainDevices(harness, devices);

    const Codes found = harness.searchAll();

    QCOMPARE(found.size(), devices.size());
    QCOMPARE(
        std::set<RomCode>(found.begin(), found.end()), std::set<RomCode>(devices.begin(), devices.end()));
    QVERIFY(std::is_sorted(found.begin(), found.end(), bitOrderLess));
    QCOMPARE(harness.driver().XwNext(harness.session(), harness.state.data()), static_cast<int16_t>(0));
    QCOMPARE(harness.searchAll(), found); // a new search starts from the beginning
}

void TestOneWire::searchFollowsTheWorkedExample()
{
    const RomCode b {0x28, 0x0C, 0x0D, 0x0E, 0x0F, 0x00, 0x00, 0xC5};
    const RomCode c {0x28, 0x3C, 0x2C, 0x1B, 0x0A, 0x00, 0x00, 0x91};
    const RomCode a {0x28, 0x3D, 0x2C, 0x1B, 0x0A, 0x00, 0x00, 0xA6};
    XwHarness harness;
    addPlainDevices(harness, {a, b, c});
    QCOMPARE(harness.searchAll(), (Codes {b, c, a}));
}

void TestOneWire::searchRejectsImpossibleCodes_data()
{
    QTest::addColumn<Codes>("devices");
    QTest::addColumn<int>("reported");
    const RomCode good = sim::makeRomCode(0x28, SharedSerial);
    QTest::newRow("bad CRC alone") << Codes {withBadCrc(good)} << 0;
    QTest::newRow("all-zero code") << Codes {RomCode {}} << 0;
    QTest::newRow("bad CRC after a good device")
        << Codes {withBadCrc(sim::makeRomCode(0x29, SharedSerial)), good} << 1;
}

void TestOneWire::searchRejectsImpossibleCodes()
{
    QFETCH(Codes, devices);
    QFETCH(int, reported);
    XwHarness harness;
    addPlainDevices(harness, devices);
    const Codes found = harness.searchAll();
    QCOMPARE(static_cast<int>(found.size()), reported);
    for (const RomCode &rom : found)
        QVERIFY(onewire::isValidRomCode(rom));
}

void TestOneWire::devicesComeAndGoBetweenSearches()
{
    XwHarness harness;
    std::vector<std::shared_ptr<sim::Device>> devices;
    for (const RomCode &rom : generated(5))
        devices.push_back(harness.add(std::make_shared<sim::Device>(rom)));
    QCOMPARE(harness.searchAll().size(), static_cast<std::size_t>(5));

    devices[1]->setAttached(false);
    devices[3]->setAttached(false);
    const Codes fewer = harness.searchAll();
    QCOMPARE(std::set<RomCode>(fewer.begin(), fewer.end()),
        (std::set<RomCode> {devices[0]->romCode(), devices[2]->romCode(), devices[4]->romCode()}));

    devices[3]->setAttached(true);
    const RomCode newcomer = sim::generatedRomCode(0x28, 99);
    harness.add(std::make_shared<sim::Device>(newcomer));
    const Codes more = harness.searchAll();
    QCOMPARE(more.size(), static_cast<std::size_t>(5));
    QVERIFY(std::find(more.begin(), more.end(), newcomer) != more.end());
    QVERIFY(std::find(more.begin(), more.end(), devices[1]->romCode()) == more.end());
}

void TestOneWire::deviceLeavingDuringSearch_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("leavesAfter"); // reports made before the device leaves
    QTest::addColumn<int>("leaving"); // its place in the search order
    QTest::newRow("the branch asked for is gone") << 2 << 1 << 1;
    QTest::newRow("the next device leaves") << 8 << 2 << 2;
    QTest::newRow("a later device leaves") << 8 << 3 << 6;
    QTest::newRow("the last device leaves") << 8 << 5 << 7;
    QTest::newRow("a device already reported leaves") << 8 << 4 << 1;
}

void TestOneWire::deviceLeavingDuringSearch()
{
    QFETCH(int, count);
    QFETCH(int, leavesAfter);
    QFETCH(int, leaving);
    XwHarness harness;
    addPlainDevices(harness, generated(count));
    const Codes order = harness.searchAll();
    QCOMPARE(static_cast<int>(order.size()), count);

    Codes found;
    auto &driver = harness.driver();
    for (int16_t more = driver.XwFirst(harness.session(), harness.state.data()); more == 1;
         more = driver.XwNext(harness.session(), harness.state.data())) {
        found.push_back(harness.currentRom());
        if (static_cast<int>(found.size()) == leavesAfter)
            harness.bus().findDevice(order[leaving])->setAttached(false);
        QVERIFY2(found.size() <= order.size(), "the search does not end");
    }

    Codes expected = order;
    if (leaving >= leavesAfter)
        expected.erase(expected.begin() + leaving);
    QCOMPARE(found, expected);
}

void TestOneWire::romReadsTheCurrentDevice()
{
    XwHarness harness;
    const RomCode rom = sim::generatedRomCode(0x28, 5);
    harness.add(std::make_shared<sim::Device>(rom));
    auto &driver = harness.driver();

    std::array<int16_t, 9> cells {0, 0, 0, 0, 0, 0, 0, 0, 1234};
    QCOMPARE(driver.XwRom(harness.session(), harness.state.data(), cells.data()),
        static_cast<int16_t>(0)); // no search yet

    QCOMPARE(driver.XwFirst(harness.session(), harness.state.data()), static_cast<int16_t>(1));
    cells = {0, -7, -7, -7, -7, -7, -7, -7, 1234};
    QCOMPARE(driver.XwRom(harness.session(), harness.state.data(), cells.data()), static_cast<int16_t>(1));
    for (std::size_t i = 0; i < rom.size(); ++i)
        QCOMPARE(cells[i], static_cast<int16_t>(rom[i]));
    QCOMPARE(cells[8], static_cast<int16_t>(1234));
}

void TestOneWire::romWithACodeMakesItCurrent()
{
    XwHarness harness;
    addPlainDevices(harness, generated(2));
    const Codes order = harness.searchAll();
    auto &driver = harness.driver();
    QCOMPARE(driver.XwFirst(harness.session(), harness.state.data()), static_cast<int16_t>(1));
    QCOMPARE(harness.currentRom(), order[0]);

    std::array<int16_t, 9> cells {};
    std::copy(order[1].begin(), order[1].end(), cells.begin());
    QCOMPARE(driver.XwRom(harness.session(), harness.state.data(), cells.data()), static_cast<int16_t>(1));
    QCOMPARE(harness.currentRom(), order[1]);

    const std::size_t mark = harness.bus().transcript().size();
    QCOMPARE(driver.XwAccess(harness.session(), harness.state.data()), static_cast<int16_t>(1));
    QCOMPARE(QString::fromStdString(harness.bus().transcript().text(mark)), "R 55 " + hexText(order[1]));
}

void TestOneWire::accessSelectsTheCurrentDevice_data()
{
    QTest::addColumn<bool>("search");
    QTest::addColumn<bool>("deviceLeaves");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("onTheBus"); // "ROM" stands for the device's code
    QTest::newRow("device present") << true << false << 1 << "R 55 ROM";
    QTest::newRow("device gone since the search") << true << true << 0 << "R-";
    QTest::newRow("no search yet") << false << false << 0 << "";
}

void TestOneWire::accessSelectsTheCurrentDevice()
{
    QFETCH(bool, search);
    QFETCH(bool, deviceLeaves);
    QFETCH(int, result);
    QFETCH(QString, onTheBus);
    XwHarness harness;
    const RomCode rom = sim::generatedRomCode(0x28, 11);
    auto device = harness.add(std::make_shared<sim::Device>(rom));
    if (search)
        QCOMPARE(harness.driver().XwFirst(harness.session(), harness.state.data()), static_cast<int16_t>(1));
    device->setAttached(!deviceLeaves);

    const std::size_t mark = harness.bus().transcript().size();
    QCOMPARE(
        harness.driver().XwAccess(harness.session(), harness.state.data()), static_cast<int16_t>(result));
    QCOMPARE(
        QString::fromStdString(harness.bus().transcript().text(mark)), onTheBus.replace("ROM", hexText(rom)));
}

void TestOneWire::handlesCountUpAndAreNeverReused()
{
    XwHarness harness;
    harness.configuration.addPort(2);
    auto &driver = harness.driver();
    QCOMPARE(driver.XwExtendedStartSession(1, 1, 0), 1);
    QCOMPARE(driver.XwExtendedStartSession(2, 1, 0), 2);
    QCOMPARE(driver.XwExtendedStartSession(1, 1, 0), 0); // the port is taken
    QCOMPARE(driver.XwEndSession(1), static_cast<int16_t>(1));
    QCOMPARE(driver.XwEndSession(1), static_cast<int16_t>(0));
    QCOMPARE(driver.XwExtendedStartSession(1, 1, 0), 3);
    QCOMPARE(driver.XwEndSession(2), static_cast<int16_t>(1));
    QCOMPARE(driver.XwExtendedStartSession(2, 1, 0), 4);
    QCOMPARE(driver.openSessionCount(), 2);
}

void TestOneWire::startSessionFails_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("portType");
    QTest::addColumn<bool>("adapterSilent");
    QTest::newRow("no adapter on that port") << 2 << 1 << false;
    QTest::newRow("port number 0") << 0 << 1 << false;
    QTest::newRow("adapter does not answer") << 1 << 1 << true;
}

void TestOneWire::startSessionFails()
{
    QFETCH(int, port);
    QFETCH(int, portType);
    QFETCH(bool, adapterSilent);
    XwHarness harness;
    if (adapterSilent)
        harness.adapter().failOpen.times(1);
    auto &driver = harness.driver();
    QCOMPARE(driver.XwExtendedStartSession(static_cast<int16_t>(port), static_cast<int16_t>(portType), 0), 0);
    QCOMPARE(driver.openSessionCount(), 0);
    QCOMPARE(driver.XwExtendedStartSession(XwHarness::Port, 1, 0), 1); // the adapter on port 1 works again
}

void TestOneWire::deadHandleFailsEveryOperation_data()
{
    QTest::addColumn<int>("handle");
    QTest::newRow("never issued") << 7;
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -3;
}

void TestOneWire::deadHandleFailsEveryOperation()
{
    QFETCH(int, handle);
    XwHarness harness;
    harness.addThermometer(0x28, 1);
    auto &driver = harness.driver();
    const std::size_t mark = harness.bus().transcript().size();
    std::array<int16_t, 9> cells {};
    uint8_t *state = harness.state.data();

    QVERIFY(driver.XwSetup(handle) != 1);
    QVERIFY(driver.XwFirst(handle, state) != 1);
    QVERIFY(driver.XwNext(handle, state) != 1);
    QVERIFY(driver.XwRom(handle, state, cells.data()) != 1);
    QVERIFY(driver.XwAccess(handle, state) != 1);
    QVERIFY(driver.XwTouchByte(handle, 0xFF) < 0);
    QCOMPARE(driver.XwTouchReset(handle), static_cast<int16_t>(0));
    QVERIFY(driver.XwOneWireLevel(handle, 0, 1, 2) != 1);
    QVERIFY(driver.XwEndSession(handle) != 1);
    QCOMPARE(harness.bus().transcript().size(), mark);
}

// The bus's own answers to set-up and reset are the driver contract's; these are the adapter's faults.
void TestOneWire::setupFailsWhenTheAdapterDoes()
{
    XwHarness harness;
    harness.addThermometer(0x28, 1);
    harness.adapter().failSetup.times(1);
    QCOMPARE(harness.driver().XwSetup(harness.session()), static_cast<int16_t>(0));
    QCOMPARE(harness.driver().lastStartFailure().reason, xw::StartFailure::Reason::NoAdapter);
}

void TestOneWire::touchResetFailsWhenTheAdapterDoes()
{
    XwHarness harness;
    harness.addThermometer(0x28, 1);
    const int32_t session = harness.session();
    harness.adapter().ioError.times(1);
    QCOMPARE(harness.driver().XwTouchReset(session), static_cast<int16_t>(0));
    QCOMPARE(harness.driver().XwTouchReset(session), static_cast<int16_t>(1));
}

void TestOneWire::touchByteResults_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<bool>("adapterError");
    QTest::addColumn<int>("result"); // -1: any negative value
    QTest::newRow("read slots on an idle bus") << 0xFF << false << 0xFF;
    QTest::newRow("a written byte echoes") << 0x4E << false << 0x4E;
    QTest::newRow("below the byte range") << -1 << false << -1;
    QTest::newRow("above the byte range") << 256 << false << -1;
    QTest::newRow("adapter error") << 0xFF << true << -1;
}

void TestOneWire::touchByteResults()
{
    QFETCH(int, byte);
    QFETCH(bool, adapterError);
    QFETCH(int, result);
    XwHarness harness;
    harness.addThermometer(0x28, 1);
    const int32_t session = harness.session();
    if (adapterError)
        harness.adapter().ioError.times(1);
    const int16_t got = harness.driver().XwTouchByte(session, static_cast<int16_t>(byte));
    if (result < 0)
        QVERIFY(got < 0);
    else
        QCOMPARE(got, static_cast<int16_t>(result));
}

void TestOneWire::levelArgumentSets_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("prime");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("onTheBus"); // around one byte sent after the call
    QTest::newRow("strong pull-up after the next byte") << 0 << 1 << 2 << 1 << "P^ 44 P+";
    QTest::newRow("normal level") << 0 << 0 << 0 << 1 << "44";
    QTest::newRow("strong pull-up at once is not offered") << 0 << 1 << 0 << 0 << "44";
    QTest::newRow("another operation") << 1 << 1 << 2 << 0 << "44";
}

void TestOneWire::levelArgumentSets()
{
    QFETCH(int, operation);
    QFETCH(int, level);
    QFETCH(int, prime);
    QFETCH(int, result);
    QFETCH(QString, onTheBus);
    XwHarness harness;
    const int32_t session = harness.session();
    const std::size_t mark = harness.bus().transcript().size();
    QCOMPARE(harness.driver().XwOneWireLevel(session, static_cast<int16_t>(operation),
                 static_cast<int16_t>(level), static_cast<int16_t>(prime)),
        static_cast<int16_t>(result));
    harness.touch(0x44);
    QCOMPARE(QString::fromStdString(harness.bus().transcript().text(mark)), onTheBus);
}

QTEST_GUILESS_MAIN(TestOneWire)
#include "tst_onewire.moc"
