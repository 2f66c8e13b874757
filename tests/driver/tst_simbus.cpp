// Tests of the simulated bus and thermometers, end to end through the Xw operations the system calls.
#include "XwHarness.h"

#include <QTest>
#include <array>

#include <algorithm>
#include <cmath>
#include <set>

using namespace drivertest;
using onewire::RomCode;

namespace {

enum class Fault { NoPresence, CorruptCrc, StuckFF, ShortedBus };

constexpr auto FullWait = 1000ms;

// A curve that moves fast enough for two conversions minutes apart to read differently.
sim::TemperatureCurve curveAround(double meanC)
{
    return sim::TemperatureCurve(
        {meanC, 6.0, std::chrono::seconds {600}, 0.3, std::chrono::seconds {70}, 0.5});
}

double celsius(const std::array<int16_t, 9> &bytes, uint8_t family)
{
    return rawReading(bytes) / (family == 0x28 ? 16.0 : 2.0);
}

QString hexText(const RomCode &rom)
{
    QStringList parts;
    for (const uint8_t byte : rom)
        parts << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(' '));
}

void writeScratchpad(XwHarness &harness, const RomCode &rom, uint8_t th, uint8_t tl, uint8_t configuration)
{
    harness.select(rom);
    for (const uint8_t byte : {static_cast<uint8_t>(0x4E), th, tl, configuration})
        harness.touch(byte);
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestSimBus : public QObject
{
    Q_OBJECT

private slots:
    void readingFollowsTheCurve_data();
    void readingFollowsTheCurve();
    void powerOnReadingIs85_data();
    void powerOnReadingIs85();
    void readDuringConversionGivesThePreviousValue();
    void conversionTimeByResolution_data();
    void conversionTimeByResolution();
    void undefinedLowBits_data();
    void undefinedLowBits();
    void allAtOnceConversion_data();
    void allAtOnceConversion();
    void parasiteConversionNeedsThePullUp_data();
    void parasiteConversionNeedsThePullUp();
    void eepromSurvivesAPowerCycle_data();
    void eepromSurvivesAPowerCycle();
    void recallRestoresTheEeprom();
    void faultsShowOnTheBus_data();
    void faultsShowOnTheBus();
    void romCodeWithAnFFByte();
    void transcriptRecordsAReading();
    void transcriptKeepsTheLatestEntries();
    void slotsAreAWiredAnd();
    void searchSlotBySlotWithoutTheDriver();
    void otherCommands_data();
    void otherCommands();
    void curvesAreSlowPlausibleAndSeeded();
    void demoConfiguration();
};

void TestSimBus::readingFollowsTheCurve_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("parasite");
    QTest::addColumn<double>("meanC");
    QTest::addColumn<double>("stepC");
    QTest::addColumn<int>("configuration");
    QTest::newRow("KX4136 9 bits") << 0x28 << 9 << false << 21.3 << 0.5 << 0x1F;
    QTest::newRow("KX4136 10 bits") << 0x28 << 10 << false << 21.3 << 0.25 << 0x3F;
    QTest::newRow("KX4136 11 bits") << 0x28 << 11 << false << 21.3 << 0.125 << 0x5F;
    QTest::newRow("KX4136 12 bits") << 0x28 << 12 << false << 21.3 << 0.0625 << 0x7F;
    QTest::newRow("KX4136 12 bits below zero") << 0x28 << 12 << false << -17.9 << 0.0625 << 0x7F;
    QTest::newRow("KX4136 9 bits below zero, parasite") << 0x28 << 9 << true << -17.9 << 0.5 << 0x1F;
    QTest::newRow("KX4130") << 0x10 << 9 << false << 18.4 << 0.5 << 0xFF;
    QTest::newRow("KX4130 below zero, parasite") << 0x10 << 9 << true << -23.1 << 0.5 << 0xFF;
}

void TestSimBus::readingFollowsTheCurve()
{
    QFETCH(int, family);
    QFETCH(int, bits);
    QFETCH(bool, parasite);
    QFETCH(double, meanC);
    QFETCH(double, stepC);
    QFETCH(int, configuration);
    XwHarness harness;
    auto thermometer = harness.addThermometer(static_cast<uint8_t>(family), 4, bits);
    thermometer->setParasitePowered(parasite);
    thermometer->setCurve(curveAround(meanC));
    harness.clock->set(std::chrono::seconds {1234});
    QCOMPARE(harness.driver().XwSetup(harness.session()), static_cast<int16_t>(1));

    for (int minute = 0; minute < 5; ++minute) {
        const auto convertedAt = harness.clock->now();
        harness.convert(thermometer->romCode(), FullWait);
        const auto bytes = harness.readScratchpad(thermometer->romCode());
        QVERIFY(crcHolds(bytes));
        QCOMPARE(bytes[4], static_cast<int16_t>(configuration));
        QCOMPARE(bytes[7], static_cast<int16_t>(0x10));
        const double value = celsius(bytes, static_cast<uint8_t>(family));
        QVERIFY2(std::abs(value - thermometer->curve().at(convertedAt)) <= stepC / 2,
            qPrintable(QString::number(value)));
        QCOMPARE(std::fmod(value, stepC), 0.0);
        harness.clock->advance(std::chrono::minutes {1});
    }
}

void TestSimBus::powerOnReadingIs85_data()
{
    QTest::addColumn<int>("family");
    QTest::newRow("KX4136") << 0x28;
    QTest::newRow("KX4130") << 0x10;
}

void TestSimBus::powerOnReadingIs85()
{
    QFETCH(int, family);
    XwHarness harness;
    auto thermometer = harness.addThermometer(static_cast<uint8_t>(family), 9);
    auto bytes = harness.readScratchpad(thermometer->romCode());
    QVERIFY(crcHolds(bytes));
    QCOMPARE(celsius(bytes, static_cast<uint8_t>(family)), 85.0);

    harness.convert(thermometer->romCode(), FullWait);
    QVERIFY(celsius(harness.readScratchpad(thermometer->romCode()), static_cast<uint8_t>(family)) < 40.0);
    harness.bus().powerCycle();
    bytes = harness.readScratchpad(thermometer->romCode());
    QVERIFY(crcHolds(bytes));
    QCOMPARE(celsius(bytes, static_cast<uint8_t>(family)), 85.0);
}

void TestSimBus::readDuringConversionGivesThePreviousValue()
{
    XwHarness harness;
    auto thermometer = harness.addThermometer(0x28, 3, 12);
    thermometer->setCurve(curveAround(10.0));
    const RomCode rom = thermometer->romCode();
    harness.convert(rom, FullWait);
    const auto first = harness.readScratchpad(rom);

    harness.clock->advance(std::chrono::seconds {150});
    harness.convert(rom, 0ms, false);
    harness.clock->advance(750ms - 1us);
    QCOMPARE(harness.readScratchpad(rom), first);
    harness.clock->advance(1us);
    const auto second = harness.readScratchpad(rom);
    QVERIFY(crcHolds(second));
    QVERIFY(rawReading(second) != rawReading(first));
}

void TestSimBus::conversionTimeByResolution_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("configuration"); // written through the bus before converting
    QTest::addColumn<int>("conversionUs");
    QTest::newRow("KX4136 9 bits") << 0x28 << 0x1F << 93750;
    QTest::newRow("KX4136 10 bits") << 0x28 << 0x3F << 187500;
    QTest::newRow("KX4136 11 bits") << 0x28 << 0x5F << 375000;
    QTest::newRow("KX4136 12 bits") << 0x28 << 0x7F << 750000;
    QTest::newRow("KX4130 ignores a configuration") << 0x10 << 0x1F << 750000;
}

void TestSimBus::conversionTimeByResolution()
{
    QFETCH(int, family);
    QFETCH(int, configuration);
    QFETCH(int, conversionUs);
    XwHarness harness;
    const RomCode rom = harness.addThermometer(static_cast<uint8_t>(family), 6, 12)->romCode();
    writeScratchpad(harness, rom, 0x14, 0x00, static_cast<uint8_t>(configuration));
    harness.select(rom);
    harness.touch(0x44);
    harness.clock->advance(std::chrono::microseconds {conversionUs - 1});
    QCOMPARE(harness.touch(0xFF), static_cast<int16_t>(0x00)); // read slots show the conversion still running
    harness.clock->advance(1us);
    QCOMPARE(harness.touch(0xFF), static_cast<int16_t>(0xFF));
}

void TestSimBus::undefinedLowBits_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>(
        "undefinedMask"); // the low bits of the raw reading this resolution leaves undefined
    QTest::newRow("9 bits: three") << 9 << 0x07;
    QTest::newRow("10 bits: two") << 10 << 0x03;
    QTest::newRow("11 bits: one") << 11 << 0x01;
    QTest::newRow("12 bits: none") << 12 << 0x00;
}

void TestSimBus::undefinedLowBits()
{
    QFETCH(int, bits);
    QFETCH(int, undefinedMask);
    XwHarness harness;
    auto thermometer = harness.addThermometer(0x28, 16, bits);
    thermometer->setCurve(curveAround(-1.0));
    const RomCode rom = thermometer->romCode();
    const double stepC = (undefinedMask + 1) / 16.0;

    for (const int pattern : {0x00, 0x05, 0x0A, 0x0F}) {
        thermometer->setUndefinedBits(static_cast<uint8_t>(pattern));
        harness.clock->advance(std::chrono::minutes {3});
        const auto convertedAt = harness.clock->now();
        harness.convert(rom, FullWait);
        const auto bytes = harness.readScratchpad(rom);
        QVERIFY(crcHolds(bytes));
        const int raw = rawReading(bytes);
        QCOMPARE(raw & undefinedMask, pattern & undefinedMask);
        // The defined bits alone still give the temperature at the resolution, below zero as well.
        const double defined = (raw & ~undefinedMask) / 16.0;
        QVERIFY2(std::abs(defined - thermometer->curve().at(convertedAt)) <= stepC / 2,
            qPrintable(QString::number(defined)));
    }
}

void TestSimBus::allAtOnceConversion_data()
{
    // The bus: a 9-bit and a 12-bit KX4136, a 10-bit KX4136 and a KX4130 (750 ms), in that order.
    QTest::addColumn<int>("parasite"); // mask of the parts powered from the bus
    QTest::addColumn<bool>("armed"); // the pull-up follows the convert command
    QTest::addColumn<int>("holdMs"); // then the normal level, and read slots
    QTest::addColumn<int>("powerLevels"); // what read slots give after the power-supply command
    QTest::addColumn<int>("levels"); // what read slots give once the normal level is back
    QTest::addColumn<int>("fresh"); // mask of the parts with a reading rather than the power-on 85
    QTest::newRow("pull-up through the slowest conversion") << 0x3 << true << 750 << 0x00 << 0xFF << 0xF;
    QTest::newRow("pull-up ends before the 12-bit part is done") << 0x3 << true << 200 << 0x00 << 0x00 << 0xD;
    QTest::newRow("pull-up ends before the 9-bit part is done") << 0x3 << true << 90 << 0x00 << 0x00 << 0xC;
    QTest::newRow("no pull-up for parts on the bus") << 0x3 << false << 750 << 0x00 << 0xFF << 0xC;
    QTest::newRow("external supply, slots during the conversion")
        << 0x0 << false << 200 << 0xFF << 0x00 << 0xF;
    QTest::newRow("external supply, slots once all are done") << 0x0 << false << 750 << 0xFF << 0xFF << 0xF;
}

void TestSimBus::allAtOnceConversion()
{
    QFETCH(int, parasite);
    QFETCH(bool, armed);
    QFETCH(int, holdMs);
    QFETCH(int, powerLevels);
    QFETCH(int, levels);
    QFETCH(int, fresh);
    XwHarness harness;
    const std::array<std::pair<uint8_t, int>, 4> parts {{{0x28, 9}, {0x28, 12}, {0x28, 10}, {0x10, 9}}};
    std::vector<RomCode> roms;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        auto thermometer = harness.addThermometer(parts[i].first, 30 + i, parts[i].second);
        thermometer->setParasitePowered((parasite >> i) & 1);
        roms.push_back(thermometer->romCode());
    }
    xw::XwDriver &driver = harness.driver();
    const int32_t session = harness.session();
    for (const uint8_t command : {static_cast<uint8_t>(0xB4), static_cast<uint8_t>(0x44)}) {
        QVERIFY(driver.XwTouchReset(session));
        QCOMPARE(harness.touch(0xCC), static_cast<int16_t>(0xCC));
        if (command == 0x44 && armed)
            driver.XwOneWireLevel(session, 0, 1, 2);
        QCOMPARE(harness.touch(command), static_cast<int16_t>(command));
        if (command == 0xB4)
            QCOMPARE(harness.touch(0xFF), static_cast<int16_t>(powerLevels));
    }
    harness.clock->advance(std::chrono::milliseconds {holdMs});
    driver.XwOneWireLevel(session, 0, 0, 0);
    QCOMPARE(harness.touch(0xFF), static_cast<int16_t>(levels));
    harness.clock->advance(FullWait);

    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::array<uint8_t, 19> out {0x55};
        std::copy(roms[i].begin(), roms[i].end(), out.begin() + 1);
        std::fill(out.begin() + 10, out.end(), 0xFF);
        out[9] = 0xBE;
        std::array<uint8_t, 19> in {};
        QVERIFY(driver.XwTouchReset(session));
        QCOMPARE(driver.XwBlock(session, out.data(), in.data(), static_cast<int16_t>(out.size())),
            static_cast<int16_t>(1));
        std::array<int16_t, 9> bytes {};
        std::copy(in.begin() + 10, in.end(), bytes.begin());
        QVERIFY(crcHolds(bytes));
        QCOMPARE(celsius(bytes, parts[i].first) != 85.0, bool((fresh >> i) & 1));
    }
}

void TestSimBus::parasiteConversionNeedsThePullUp_data()
{
    QTest::addColumn<bool>("armed");
    QTest::addColumn<int>("holdMs"); // time before the normal level returns
    QTest::addColumn<bool>("busUsedMeanwhile");
    QTest::addColumn<bool>("powerOnValue");
    QTest::newRow("pull-up for the whole conversion") << true << 750 << false << false;
    QTest::newRow("never armed") << false << 750 << false << true;
    QTest::newRow("pull-up dropped early") << true << 749 << false << true;
    QTest::newRow("bus used during the conversion") << true << 750 << true << true;
}

void TestSimBus::parasiteConversionNeedsThePullUp()
{
    QFETCH(bool, armed);
    QFETCH(int, holdMs);
    QFETCH(bool, busUsedMeanwhile);
    QFETCH(bool, powerOnValue);
    XwHarness harness;
    auto thermometer = harness.addThermometer(0x28, 8, 12);
    thermometer->setParasitePowered(true);
    const RomCode rom = thermometer->romCode();
    harness.convert(rom, FullWait);
    QVERIFY(celsius(harness.readScratchpad(rom), 0x28) < 40.0);

    harness.clock->advance(std::chrono::minutes {1});
    harness.select(rom);
    if (armed)
        harness.driver().XwOneWireLevel(harness.session(), 0, 1, 2);
    harness.touch(0x44);
    if (busUsedMeanwhile)
        harness.driver().XwTouchReset(harness.session());
    harness.clock->advance(std::chrono::milliseconds {holdMs});
    harness.driver().XwOneWireLevel(harness.session(), 0, 0, 0);
    harness.clock->advance(FullWait);

    const auto bytes = harness.readScratchpad(rom);
    QVERIFY(crcHolds(bytes));
    QCOMPARE(celsius(bytes, 0x28) == 85.0, powerOnValue);
}

void TestSimBus::eepromSurvivesAPowerCycle_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<bool>("parasite");
    QTest::addColumn<bool>("copy");
    QTest::addColumn<bool>("pullUp");
    QTest::addColumn<bool>("kept");
    QTest::newRow("KX4136 copied") << 0x28 << false << true << false << true;
    QTest::newRow("KX4136 never copied") << 0x28 << false << false << false << false;
    QTest::newRow("parasite copied under the pull-up") << 0x28 << true << true << true << true;
    QTest::newRow("parasite copied without the pull-up") << 0x28 << true << true << false << false;
    QTest::newRow("KX4130 copied") << 0x10 << false << true << true << true;
}

void TestSimBus::eepromSurvivesAPowerCycle()
{
    QFETCH(int, family);
    QFETCH(bool, parasite);
    QFETCH(bool, copy);
    QFETCH(bool, pullUp);
    QFETCH(bool, kept);
    XwHarness harness;
    auto thermometer = harness.addThermometer(static_cast<uint8_t>(family), 12, 12);
    thermometer->setParasitePowered(parasite);
    const RomCode rom = thermometer->romCode();
    const auto before = harness.readScratchpad(rom);

    writeScratchpad(harness, rom, 0x14, 0x00, 0x1F);
    const auto written = harness.readScratchpad(rom);
    QCOMPARE(written[2], static_cast<int16_t>(0x14));
    QCOMPARE(written[3], static_cast<int16_t>(0x00));
    QCOMPARE(written[4], static_cast<int16_t>(family == 0x28 ? 0x1F : 0xFF));
    if (copy) {
        harness.select(rom);
        if (pullUp)
            harness.driver().XwOneWireLevel(harness.session(), 0, 1, 2);
        harness.touch(0x48);
        harness.clock->advance(FullWait);
        harness.driver().XwOneWireLevel(harness.session(), 0, 0, 0);
    }

    harness.bus().powerCycle();
    const auto after = harness.readScratchpad(rom);
    QVERIFY(crcHolds(after));
    for (std::size_t i = 2; i <= 4; ++i)
        QCOMPARE(after[i], kept ? written[i] : before[i]);
}

void TestSimBus::recallRestoresTheEeprom()
{
    XwHarness harness;
    const RomCode rom = harness.addThermometer(0x28, 13, 10)->romCode();
    const auto stored = harness.readScratchpad(rom);
    writeScratchpad(harness, rom, 0x01, 0x02, 0x7F);
    QCOMPARE(harness.readScratchpad(rom)[4], static_cast<int16_t>(0x7F));
    harness.select(rom);
    harness.touch(0xB8);
    QCOMPARE(harness.readScratchpad(rom), stored);
}

void TestSimBus::faultsShowOnTheBus_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("presence");
    QTest::addColumn<int>("everyByte"); // -1: bytes vary
    QTest::addColumn<bool>("crcPasses");
    QTest::newRow("no presence") << Fault::NoPresence << false << 0xFF << false;
    QTest::newRow("corrupted CRC") << Fault::CorruptCrc << true << -1 << false;
    QTest::newRow("stuck 0xFF") << Fault::StuckFF << true << 0xFF << false;
    // Nine zero bytes pass the CRC: only the failed reset tells a shorted bus apart.
    QTest::newRow("shorted bus") << Fault::ShortedBus << false << 0x00 << true;
}

void TestSimBus::faultsShowOnTheBus()
{
    QFETCH(Fault, fault);
    QFETCH(bool, presence);
    QFETCH(int, everyByte);
    QFETCH(bool, crcPasses);
    XwHarness harness;
    auto thermometer = harness.addThermometer(0x28, 14, 12);
    const RomCode rom = thermometer->romCode();
    harness.convert(rom, FullWait);
    const auto healthy = harness.readScratchpad(rom);
    QVERIFY(crcHolds(healthy));

    switch (fault) {
    case Fault::NoPresence:
        thermometer->faults().noPresence.times(1);
        break;
    case Fault::CorruptCrc:
        thermometer->faults().corruptCrc.times(1);
        break;
    case Fault::StuckFF:
        thermometer->faults().stuckFF.times(1);
        break;
    case Fault::ShortedBus:
        harness.bus().setShorted(true);
        break;
    }
    const std::size_t mark = harness.bus().transcript().size();
    const auto bytes = harness.readScratchpad(rom);
    const auto &firstReset = harness.bus().transcript().entries()[mark];
    QCOMPARE(firstReset.reset == onewire::ResetResult::Presence, presence);
    QCOMPARE(crcHolds(bytes), crcPasses);
    if (everyByte >= 0) {
        QVERIFY(std::all_of(
            bytes.begin(), bytes.end(), [&](int16_t b) { return b == everyByte; }));
    } else {
        QCOMPARE(std::vector<int16_t>(bytes.begin(), bytes.begin() + 8),
            std::vector<int16_t>(healthy.begin(), healthy.begin() + 8));
    }

    harness.bus().setShorted(false);
    QCOMPARE(harness.readScratchpad(rom), healthy); // a one-time fault is used up
}

void TestSimBus::romCodeWithAnFFByte()
{
    XwHarness harness;
    auto thermometer = harness.addThermometer(0x28, 15, 12);
    thermometer->faults().romContainsFF = true;
    const auto found = harness.searchAll();
    QCOMPARE(found.size(), static_cast<std::size_t>(1));
    QVERIFY(std::find(found[0].begin(), found[0].end(), 0xFF) != found[0].end());
    QVERIFY(onewire::isValidRomCode(found[0]));
    QVERIFY(found[0] != thermometer->builtInRomCode());
    QVERIFY(crcHolds(harness.readScratchpad(found[0]))); // the device answers to that code
    QVERIFY(!crcHolds(harness.readScratchpad(thermometer->builtInRomCode()))); // and to no other
}

void TestSimBus::transcriptRecordsAReading()
{
    XwHarness harness;
    auto thermometer = harness.addThermometer(0x28, 16, 9);
    thermometer->setParasitePowered(true);
    const RomCode rom = thermometer->romCode();
    auto &driver = harness.driver();
    const int32_t session = harness.session();
    QCOMPARE(driver.XwFirst(session, harness.state.data()), static_cast<int16_t>(1));
    const std::size_t mark = harness.bus().transcript().size();
    const auto start = harness.clock->now();

    QCOMPARE(driver.XwAccess(session, harness.state.data()), static_cast<int16_t>(1));
    harness.convert(rom, 500ms);
    const auto bytes = harness.readScratchpad(rom);

    const QString code = hexText(rom);
    QCOMPARE(QString::fromStdString(harness.bus().transcript().text(mark)),
        "R 55 " + code + " R 55 " + code + " P^ 44 P+ P- R 55 " + code + " BE FF FF FF FF FF FF FF FF FF");
    std::vector<std::chrono::microseconds> pullUpTimes;
    for (std::size_t i = mark; i < harness.bus().transcript().size(); ++i) {
        const auto &entry = harness.bus().transcript().entries()[i];
        if (entry.kind == sim::TranscriptEntry::Kind::PullUpOn
            || entry.kind == sim::TranscriptEntry::Kind::PullUpOff)
            pullUpTimes.push_back(entry.at - start);
    }
    QCOMPARE(pullUpTimes, (std::vector<std::chrono::microseconds> {0us, 500ms}));
    const auto &entries = harness.bus().transcript().entries();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        QCOMPARE(static_cast<int16_t>(entries[entries.size() - bytes.size() + i].received), bytes[i]);
    QVERIFY(crcHolds(bytes));
}

void TestSimBus::transcriptKeepsTheLatestEntries()
{
    XwHarness harness;
    harness.bus().transcript().setCapacity(3);
    for (const int16_t byte :
        {int16_t {0x01}, int16_t {0x02}, int16_t {0x03}, int16_t {0x04}, int16_t {0x05}})
        harness.touch(byte);
    QCOMPARE(harness.bus().transcript().bytesSent(), (std::vector<uint8_t> {0x03, 0x04, 0x05}));
}

void TestSimBus::slotsAreAWiredAnd()
{
    auto clock = std::make_shared<sim::ManualClock>();
    sim::SimBus bus(clock);
    QCOMPARE(bus.reset(), onewire::ResetResult::NoPresence);
    const RomCode a = sim::generatedRomCode(0x28, 21);
    const RomCode b = sim::generatedRomCode(0x10, 22);
    bus.addDevice(std::make_shared<sim::Device>(a));
    bus.addDevice(std::make_shared<sim::Device>(b));

    QCOMPARE(bus.reset(), onewire::ResetResult::Presence);
    QCOMPARE(bus.touchByte(0x33), static_cast<uint8_t>(0x33)); // read ROM: both devices answer at once
    for (std::size_t i = 0; i < a.size(); ++i)
        QCOMPARE(bus.touchByte(0xFF), static_cast<uint8_t>(a[i] & b[i]));
    QCOMPARE(bus.slot(false), false);
}

void TestSimBus::searchSlotBySlotWithoutTheDriver()
{
    auto clock = std::make_shared<sim::ManualClock>();
    sim::SimBus bus(clock);
    const RomCode rom = sim::generatedRomCode(0x28, 23);
    bus.addDevice(std::make_shared<sim::Thermometer>(rom, sim::TemperatureCurve()));
    QCOMPARE(bus.reset(), onewire::ResetResult::Presence);
    bus.touchByte(0xF0);
    onewire::RomBits bits {};
    for (bool &bit : bits) {
        bit = bus.slot(true);
        QCOMPARE(bus.slot(true), !bit);
        bus.slot(bit);
    }
    QCOMPARE(onewire::fromBits(bits), rom);
    bus.touchByte(0xBE); // the search selected the device
    uint8_t crc = 0;
    for (int i = 0; i < 9; ++i)
        crc = onewire::crc8Step(crc, bus.touchByte(0xFF));
    QCOMPARE(crc, static_cast<uint8_t>(0));
}

void TestSimBus::otherCommands_data()
{
    QTest::addColumn<bool>("parasite");
    QTest::newRow("parasite-powered") << true;
    QTest::newRow("externally powered") << false;
}

// Skip ROM, read power supply and alarm search, slot by slot on a bus with two thermometers.
void TestSimBus::otherCommands()
{
    QFETCH(bool, parasite);
    auto clock = std::make_shared<sim::ManualClock>();
    sim::SimBus bus(clock);
    std::array<std::shared_ptr<sim::Thermometer>, 2> thermometers;
    for (uint64_t i = 0; i < thermometers.size(); ++i) {
        thermometers[i]
            = std::make_shared<sim::Thermometer>(sim::generatedRomCode(0x28, 30 + i), curveAround(20));
        bus.addDevice(thermometers[i]);
    }
    const bool firstLeads
        = onewire::toBits(thermometers[0]->romCode()) < onewire::toBits(thermometers[1]->romCode());
    auto &alarmed = *thermometers[firstLeads ? 1 : 0]; // the search would meet the other one first
    alarmed.setParasitePowered(parasite);

    bus.reset();
    for (const uint8_t byte :
        std::array<uint8_t, 5> {0xCC, 0x4E, 0x05, 0x00, 0x7F}) // skip ROM: both take the new alarm limits
        bus.touchByte(byte);
    bus.reset();
    bus.touchByte(0x55);
    for (const uint8_t byte : thermometers[firstLeads ? 0 : 1]->romCode())
        bus.touchByte(byte);
    for (const uint8_t byte :
        std::array<uint8_t, 4> {0x4E, 0x7D, 0xC9, 0x7F}) // the other one goes back to 125 / -55
        bus.touchByte(byte);
    bus.reset();
    bus.touchByte(0xCC);
    bus.touchByte(0x44);
    clock->advance(FullWait);

    bus.reset();
    bus.touchByte(0xCC);
    bus.touchByte(0xB4);
    QCOMPARE(bus.slot(true), !parasite);

    bus.reset();
    bus.touchByte(0xEC);
    onewire::RomBits bits {};
    for (bool &bit : bits) {
        bit = bus.slot(true);
        QCOMPARE(bus.slot(true), !bit); // one device only: never a fork
        bus.slot(bit);
    }
    QCOMPARE(onewire::fromBits(bits), alarmed.romCode());
}

void TestSimBus::curvesAreSlowPlausibleAndSeeded()
{
    std::set<double> starts;
    for (uint64_t seed = 0; seed < 40; ++seed) {
        const auto curve = sim::TemperatureCurve::seeded(seed);
        const auto again = sim::TemperatureCurve::seeded(seed);
        double previous = curve.at(0us);
        starts.insert(previous);
        for (auto t = std::chrono::microseconds {10s}; t < std::chrono::hours {6}; t += 10s) {
            const double value = curve.at(t);
            QVERIFY(value >= -10.0 && value <= 30.0);
            QVERIFY2(std::abs(value - previous) < 1.0, "a curve must change over minutes, not seconds");
            QCOMPARE(again.at(t), value);
            previous = value;
        }
    }
    QCOMPARE(starts.size(), static_cast<std::size_t>(40));
}

void TestSimBus::demoConfiguration()
{
    auto clock = std::make_shared<sim::ManualClock>();
    sim::SimulatedDriver driver(sim::demoConfiguration(clock));
    QVERIFY(driver.bus(2) == nullptr);
    QCOMPARE(driver.XwExtendedStartSession(2, 1, 0), 0);
    const int32_t session = driver.XwExtendedStartSession(1, 1, 0);
    QVERIFY(session > 0);
    QCOMPARE(driver.XwSetup(session), static_cast<int16_t>(1));

    std::vector<uint8_t> state(xw::StateBufferSize, 0);
    std::multiset<int> seen; // family * 256 + configuration byte
    double lowest = 100;
    for (int16_t more = driver.XwFirst(session, state.data()); more == 1;
         more = driver.XwNext(session, state.data())) {
        std::array<int16_t, 9> cells {};
        QCOMPARE(driver.XwRom(session, state.data(), cells.data()), static_cast<int16_t>(1));
        RomCode rom {};
        std::copy(cells.begin(), cells.begin() + 8, rom.begin());
        QVERIFY(std::none_of(
            rom.begin(), rom.end(), [](uint8_t b) { return b == 0xFF || b == 0xE3; }));

        auto step = [&](int16_t byte) { return driver.XwTouchByte(session, byte); };
        auto select = [&] {
            QCOMPARE(driver.XwTouchReset(session), static_cast<int16_t>(1));
            step(0x55);
            for (const uint8_t byte : rom)
                step(byte);
        };
        for (auto t = std::chrono::microseconds {0}; t < std::chrono::hours {2};
             t += std::chrono::minutes {5}) {
            select();
            driver.XwOneWireLevel(session, 0, 1, 2);
            step(0x44);
            clock->advance(FullWait);
            driver.XwOneWireLevel(session, 0, 0, 0);
            select();
            step(0xBE);
            std::array<int16_t, 9> bytes {};
            for (int16_t &byte : bytes)
                byte = step(0xFF);
            QVERIFY(crcHolds(bytes));
            const double value = celsius(bytes, rom[0]);
            QVERIFY(value >= -10.5 && value <= 30.0);
            lowest = std::min(lowest, value);
            if (t == 0us)
                seen.insert(rom[0] * 256 + bytes[4]);
            clock->advance(std::chrono::minutes {5} - FullWait);
        }
    }
    QCOMPARE(seen, (std::multiset<int> {0x281F, 0x287F, 0x10FF}));
    QVERIFY(lowest < 0.0);
}

QTEST_GUILESS_MAIN(TestSimBus)
#include "tst_simbus.moc"
