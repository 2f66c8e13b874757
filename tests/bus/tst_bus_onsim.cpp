// The sensor exchanges and discovery end to end on the simulated bus, time advanced by the waits.
#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "common/SimulatedTime.h"
#include "driver/sim/SimulatedDriver.h"

#include <QTest>
#include <set>

using namespace modKX4136;
using namespace std::chrono_literals;

namespace {

class RecordedList : public LineList
{
public:
    QStringList lines;
    void clear() override { lines.clear(); }
    void addItem(const QString &line) override { lines << line; }
};

QString romText(const onewire::RomCode &rom)
{
    QStringList bytes;
    for (const uint8_t byte : rom)
        bytes << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    return bytes.join(u' ');
}

// Counts bus operations issued while the strong pull-up is still on: the bus must be back at its
// normal level before the next reset or byte, not merely switched off by it.
class WatchedDriver : public sim::SimulatedDriver
{
public:
    using sim::SimulatedDriver::SimulatedDriver;
    int opsUnderPullUp = 0;

    int16_t XwAccess(int32_t session, uint8_t *stateBuffer) override
    {
        watch();
        return SimulatedDriver::XwAccess(session, stateBuffer);
    }
    int16_t XwTouchByte(int32_t session, int16_t byte) override
    {
        watch();
        return SimulatedDriver::XwTouchByte(session, byte);
    }
    int16_t XwTouchReset(int32_t session) override
    {
        watch();
        return SimulatedDriver::XwTouchReset(session);
    }

private:
    void watch()
    {
        if (bus(1)->strongPullUp())
            ++opsUnderPullUp;
    }
};

} // namespace

class TestBusOnSim : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::SimulatedTime> time;
    std::shared_ptr<sim::ManualClock> clock;
    std::shared_ptr<WatchedDriver> driver;

    sim::SimBus &bus() { return *driver->bus(1); }

    void start(sim::SimConfiguration configuration)
    {
        driver = std::make_shared<WatchedDriver>(std::move(configuration));
        bus().attachTranscript(std::make_shared<sim::Transcript>());
        XWBUSLIB::Install(driver);
        PortNum = 1;
        PortType = 1;
        QVERIFY(StartSession());
    }

    // Detection, with the transcript cleared after it so each case looks at its own traffic only.
    int16_t detect(RecordedList &list)
    {
        const int16_t result = DetectSensors(list);
        bus().transcript().clear();
        return result;
    }

    // The simulated sensor a RomTable row names.
    sim::Thermometer *sensorAt(int16_t index)
    {
        onewire::RomCode rom {};
        for (std::size_t i = 0; i < rom.size(); ++i)
            rom[i] = static_cast<uint8_t>(RomTable[index][i]);
        return dynamic_cast<sim::Thermometer *>(bus().findDevice(rom));
    }

    // The pull-up is never left on: every P+ is followed by a P-, and nothing was sent while it was on.
    bool endsAtNormalLevel() const
    {
        const auto &entries = driver->bus(1)->transcript().entries();
        bool on = false;
        for (const auto &e : entries)
            if (e.kind == sim::TranscriptEntry::Kind::PullUpOn)
                on = true;
            else if (e.kind == sim::TranscriptEntry::Kind::PullUpOff)
                on = false;
        return !on && !driver->bus(1)->strongPullUp() && driver->opsUnderPullUp == 0;
    }

private slots:
    void init()
    {
        time = std::make_unique<testsupport::SimulatedTime>();
        clock = time->clock;
    }

    void cleanup()
    {
        time.reset();
        driver.reset();
    }

    void demoBusIsDetected()
    {
        start(sim::demoConfiguration(clock));
        RecordedList list;
        const auto before = clock->now();

        QCOMPARE(detect(list), int16_t {0});
        QCOMPARE(LastSensor, int16_t {2});
        QCOMPARE(list.lines.size(), 4);
        QCOMPARE(list.lines.last(), QStringLiteral("3 sensor(s) found."));
        // Every device is listed with the resolution it really has (a KX4130 has no known configuration).
        std::set<QString> expected;
        for (std::size_t i = 0; i < bus().deviceCount(); ++i) {
            const sim::Thermometer *t = bus().thermometer(i);
            const int bits = t->family() == sim::FamilyKX4136 ? t->resolution() : 8;
            expected.insert(QStringLiteral(" : %1 , %2-bit").arg(romText(t->romCode())).arg(bits));
        }
        std::set<QString> listed;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(list.lines.at(i).startsWith(QStringLiteral("Sensor #%1").arg(i)));
            listed.insert(list.lines.at(i).mid(QStringLiteral("Sensor #0").size()));
        }
        QCOMPARE(listed, expected);
        QCOMPARE(clock->now() - before, std::chrono::microseconds(3s));
    }

    void fortyDevicesStopAt32()
    {
        start(sim::uniformConfiguration(40, clock));
        RecordedList list;
        QCOMPARE(detect(list), int16_t {0});
        QCOMPARE(LastSensor, int16_t {31});
        QCOMPARE(list.lines.size(), 33);
        QVERIFY(list.lines.at(31).startsWith(QStringLiteral("Sensor #31 : 28 ")));
        QVERIFY(list.lines.at(31).endsWith(QStringLiteral(" , 12-bit")));
        QVERIFY(list.lines.last().startsWith(QStringLiteral("More than 32 devices")));
    }

    void readingsMatchTheSensors_data()
    {
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<bool>("converted");
        QTest::newRow("delay long enough") << 750 << true;
        QTest::newRow("delay too short: the power-on value is no reading") << 100 << false;
    }

    void readingsMatchTheSensors()
    {
        QFETCH(int, delayMs);
        QFETCH(bool, converted);
        start(sim::demoConfiguration(clock));
        RecordedList list;
        QCOMPARE(detect(list), int16_t {0});
        OneWireDelay = static_cast<int16_t>(delayMs);
        // Detection converted once already; a fresh power-up brings the 85 degrees back.
        bus().powerCycle();

        for (int16_t index = 0; index <= LastSensor; ++index) {
            sim::Thermometer *sensor = sensorAt(index);
            QVERIFY(sensor);
            const bool converts = converted || sensor->conversionTime() <= std::chrono::milliseconds(delayMs);
            QCOMPARE(ReadTemperature(index), converts);
            if (!converts)
                continue;
            const sim::Scratchpad pad = sensor->scratchpad();
            const int raw = static_cast<int16_t>(pad[0] | (pad[1] << 8));
            const double divisor = sensor->family() == sim::FamilyKX4136 ? 16.0 : 2.0;
            QCOMPARE(GetTemperature(), static_cast<float>(raw / divisor));
            if (converted)
                QVERIFY2(GetTemperature() > -20.0F && GetTemperature() < 40.0F,
                    qPrintable(QString::number(GetTemperature())));
            QVERIFY(endsAtNormalLevel());
        }
    }

    void measured85IsAReading()
    {
        start(sim::uniformConfiguration(1, clock));
        bus().thermometer(0)->setCurve(sim::TemperatureCurve({85.0, 0.0, 600s, 0.0}));
        RecordedList list;
        detect(list);
        OneWireDelay = 750;
        QVERIFY(ReadTemperature(0));
        QCOMPARE(GetTemperature(), 85.0F);
    }

    void resolutionWrittenSurvivesPowerCycle_data()
    {
        QTest::addColumn<int16_t>("code");
        QTest::addColumn<int>("configuration");
        QTest::newRow("10 bits") << int16_t {2} << 0x3F;
        QTest::newRow("11 bits") << int16_t {3} << 0x5F;
        QTest::newRow("no choice writes 9 bits") << int16_t {0} << 0x1F;
    }

    void resolutionWrittenSurvivesPowerCycle()
    {
        QFETCH(int16_t, code);
        QFETCH(int, configuration);
        start(sim::demoConfiguration(clock));
        RecordedList list;
        QCOMPARE(detect(list), int16_t {0});
        // The parasite-powered 9-bit sensor: a copy without the pull-up would be lost.
        int16_t index = 0;
        while (index < LastSensor && !sensorAt(index)->parasitePowered())
            ++index;
        sim::Thermometer *sensor = sensorAt(index);
        QVERIFY(sensor->parasitePowered());

        WriteScratchpad(index, code, 0, 20);
        QVERIFY(CopyScratchpad(index));
        QVERIFY(endsAtNormalLevel());
        bus().powerCycle();

        QCOMPARE(sensor->eeprom().configuration, static_cast<uint8_t>(configuration));
        QCOMPARE(sensor->eeprom().th, uint8_t {20});
        QCOMPARE(sensor->eeprom().tl, uint8_t {0});
        int32_t read = -1;
        QVERIFY(ReadResolution(index, read));
        QCOMPARE(read, code == 0 ? 1 : int32_t {code});
    }

    void failuresLeaveTheBusAtNormalLevel_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("corrupt CRC") << "crc";
        QTest::newRow("stuck 0xFF") << "stuck";
        QTest::newRow("bus shorted during the wait") << "short";
        QTest::newRow("sensor gone during the wait") << "gone";
    }

    void failuresLeaveTheBusAtNormalLevel()
    {
        QFETCH(QString, fault);
        start(sim::uniformConfiguration(2, clock));
        RecordedList list;
        QCOMPARE(detect(list), int16_t {0});
        OneWireDelay = 750;
        QVERIFY(ReadTemperature(1));
        const float before = GetTemperature();
        sim::Thermometer *sensor = sensorAt(1);
        QVERIFY(sensor);
        if (fault == "crc")
            sensor->faults().corruptCrc.times(1);
        else if (fault == "stuck")
            sensor->faults().stuckFF.times(1);
        else if (fault == "short")
            time->duringWait = [this](int32_t) { bus().setShorted(true); };
        else
            time->duringWait = [sensor](int32_t) { sensor->setAttached(false); };
        clock->advance(60s);
        bus().transcript().clear();

        QVERIFY(!ReadTemperature(1));
        QCOMPARE(GetTemperature(), before);
        QVERIFY(endsAtNormalLevel());
        QVERIFY(QString::fromStdString(bus().transcript().text()).contains(QStringLiteral("P^ 44 P+ P- R")));
    }
};

QTEST_GUILESS_MAIN(TestBusOnSim)
#include "tst_bus_onsim.moc"
