// The serial driver against the emulated adapter on a pseudo-terminal, through the system's own
// procedures: detection, readings, resolution writes, faults of the adapter, unplugging.
#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "common/AdapterTraces.h"
#include "common/SimulatedTime.h"
#include "driver/onewire/Crc8.h"
#include "driver/serial/QtPort.h"
#include "driver/serial/SerialDriver.h"
#include "driver/sim/RomCodes.h"
#include "driver/sim/SimulatedDriver.h"
#include "tools/ka7700-emulator/PtyEmulator.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <set>

using namespace modKX4136;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(emulator::Faults)

namespace {

constexpr qint64 CallLimitMs = 1000;

class Lines : public LineList
{
public:
    QStringList lines;
    void clear() override { lines.clear(); }
    void addItem(const QString &line) override { lines << line; }
};

onewire::RomCode romAt(int16_t index)
{
    onewire::RomCode rom {};
    for (std::size_t i = 0; i < rom.size(); ++i)
        rom[i] = static_cast<uint8_t>(RomTable[index][i]);
    return rom;
}

std::set<onewire::RomCode> romsOf(const sim::SimBus &bus)
{
    std::set<onewire::RomCode> roms;
    for (std::size_t i = 0; i < bus.deviceCount(); ++i)
        roms.insert(bus.device(i).romCode());
    return roms;
}

std::set<onewire::RomCode> detectedRoms()
{
    std::set<onewire::RomCode> roms;
    for (int16_t i = 0; i <= LastSensor; ++i)
        roms.insert(romAt(i));
    return roms;
}

} // namespace

class TestEmulator : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::SimulatedTime> time;
    std::shared_ptr<sim::ManualClock> clock;
    std::shared_ptr<sim::SimBus> bus;
    std::unique_ptr<emulator::PtyEmulator> adapter;
    serial::PortMap ports;

    void plugIn(std::shared_ptr<sim::SimBus> onBus, emulator::Faults faults = {},
        emulator::Timing timing = {}, int baud = 9600)
    {
        bus = std::move(onBus);
        adapter = std::make_unique<emulator::PtyEmulator>(bus, faults, timing);
        QVERIFY2(adapter->open(), qPrintable(adapter->errorString()));
        adapter->start();
        if (!ports.count(1))
            ports[1] = adapter->slavePath();
        XWBUSLIB::Install(serial::makeSerialDriver(ports, baud));
    }

    bool start()
    {
        PortNum = 1;
        PortType = xw::PortTypeKA7700;
        return StartSession();
    }

    // The true reading of the sensor in a RomTable row, from the simulation itself.
    double trueReading(int16_t index)
    {
        return adapter->locked([index](sim::SimBus &onBus, emulator::LineDriver &) {
            auto *sensor = dynamic_cast<sim::Thermometer *>(onBus.findDevice(romAt(index)));
            const auto pad = sensor->scratchpad();
            return static_cast<int16_t>(pad[0] | (pad[1] << 8))
                / static_cast<double>(sensor->family() == sim::FamilyKX4136 ? 16 : 2);
        });
    }

    void setFaults(const emulator::Faults &faults)
    {
        adapter->locked([&faults](sim::SimBus &, emulator::LineDriver &line) { line.setFaults(faults); });
    }

private slots:
    void init()
    {
        time = std::make_unique<testsupport::SimulatedTime>();
        clock = time->clock;
        ports.clear();
        OneWireDelay = 800;
    }

    void cleanup()
    {
        time.reset(); // ends the session while the adapter still answers
        adapter.reset();
    }

    void detectsEveryDeviceOfTheDemoBus()
    {
        plugIn(sim::demoConfiguration(clock).ports.at(1).bus);
        QVERIFY(start());
        Lines lines;
        QCOMPARE(DetectSensors(lines), static_cast<int16_t>(0));
        QCOMPARE(static_cast<int>(LastSensor) + 1, static_cast<int>(bus->deviceCount()));
        QCOMPARE(detectedRoms(), romsOf(*bus));
        QVERIFY(!lines.lines.join(u'\n').contains(u"-1"));
    }

    void readsBothFamilies()
    {
        plugIn(sim::demoConfiguration(clock).ports.at(1).bus);
        QVERIFY(start());
        Lines lines;
        QCOMPARE(DetectSensors(lines), static_cast<int16_t>(0));
        std::set<uint8_t> families;
        for (int16_t index = 0; index <= LastSensor; ++index) {
            QVERIFY(ReadTemperature(index));
            QCOMPARE(GetTemperature(), static_cast<float>(trueReading(index)));
            QVERIFY(GetTemperature() != 85.0F);
            families.insert(static_cast<uint8_t>(RomTable[index][0]));
        }
        QCOMPARE(families, (std::set<uint8_t> {sim::FamilyKX4130, sim::FamilyKX4136}));
    }

    void readsASensorWhoseCodeHoldsTheEscapeByte()
    {
        auto onBus = std::make_shared<sim::SimBus>(clock);
        const auto rom = sim::makeRomCode(sim::FamilyKX4136, 0x12E33456);
        QCOMPARE(rom[3], static_cast<uint8_t>(0xE3));
        onBus->addDevice(std::make_shared<sim::Thermometer>(rom, sim::TemperatureCurve::seeded(3)));
        plugIn(onBus);
        QVERIFY(start());
        Lines lines;
        QCOMPARE(DetectSensors(lines), static_cast<int16_t>(0));
        QCOMPARE(romAt(0), rom);
        QVERIFY(ReadTemperature(0));
        QCOMPARE(GetTemperature(), static_cast<float>(trueReading(0)));
    }

    void resolutionWrittenAndCopiedSurvivesANewSession()
    {
        plugIn(sim::demoConfiguration(clock).ports.at(1).bus);
        QVERIFY(start());
        Lines lines;
        QCOMPARE(DetectSensors(lines), static_cast<int16_t>(0));
        int16_t parasite = -1; // the one that forgets its scratchpad when the adapter loses power
        for (int16_t index = 0; index <= LastSensor; ++index) {
            adapter->locked([&](sim::SimBus &onBus, emulator::LineDriver &) {
                auto *sensor = dynamic_cast<sim::Thermometer *>(onBus.findDevice(romAt(index)));
                if (sensor->parasitePowered())
                    parasite = index;
            });
        }
        QVERIFY(parasite >= 0);
        int32_t code = 0;
        QVERIFY(ReadResolution(parasite, code));
        QCOMPARE(code, 1);
        QVERIFY(WriteScratchpad(parasite, 3, 0, 20));
        QVERIFY(CopyScratchpad(parasite));
        QVERIFY(EndSession());
        const uint8_t stored = adapter->locked([parasite](sim::SimBus &onBus, emulator::LineDriver &) {
            return dynamic_cast<sim::Thermometer *>(onBus.findDevice(romAt(parasite)))
                ->eeprom()
                .configuration;
        });
        QCOMPARE(stored, static_cast<uint8_t>(0x5F));

        QVERIFY(start());
        code = 0;
        QVERIFY(ReadResolution(parasite, code));
        QCOMPARE(code, 3);
        QVERIFY(adapter->powerUps() >= 2);
    }

    void scratchpadCrcFault()
    {
        plugIn(sim::demoConfiguration(clock).ports.at(1).bus);
        QVERIFY(start());
        Lines lines;
        QCOMPARE(DetectSensors(lines), static_cast<int16_t>(0));
        QVERIFY(ReadTemperature(0));
        const float before = GetTemperature();
        adapter->locked([](sim::SimBus &onBus, emulator::LineDriver &) {
            onBus.findDevice(romAt(0))->faults().corruptCrc.times(1);
        });
        QVERIFY(!ReadTemperature(0));
        QCOMPARE(GetTemperature(), before);
        QVERIFY(ReadTemperature(0));
    }

    void noAdapterNoSession_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::newRow("no such device") << "missing";
        QTest::newRow("never answers") << "silent";
        QTest::newRow("reset answer of another form") << "reset";
    }
    void noAdapterNoSession()
    {
        QFETCH(QString, situation);
        emulator::Faults faults;
        faults.silent = situation == u"silent";
        if (situation == u"reset")
            faults.resetAnswer = 0x0D;
        auto onBus = sim::demoConfiguration(clock).ports.at(1).bus;
        if (situation == u"missing")
            ports[1] = QStringLiteral("/dev/no-such-ka7700");
        plugIn(onBus, faults);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!start());
        QVERIFY(timer.elapsed() < CallLimitMs);
    }

    void portInUseByAnotherProgram()
    {
        plugIn(sim::demoConfiguration(clock).ports.at(1).bus);
        QVERIFY(start());
        auto other = serial::makeSerialDriver(ports);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(other->XwExtendedStartSession(1, xw::PortTypeKA7700, 0), 0);
        QVERIFY(timer.elapsed() < CallLimitMs);
        Lines lines;
        QCOMPARE(DetectSensors(lines), static_cast<int16_t>(0)); // the first session was not disturbed
    }

    void emptyBusHasNoDevices()
    {
        auto onBus = sim::demoConfiguration(clock).ports.at(1).bus;
        for (std::size_t i = 0; i < onBus->deviceCount(); ++i)
            onBus->device(i).setAttached(false);
        plugIn(onBus);
        QVERIFY(start());
        Lines lines;
        QCOMPARE(DetectSensors(lines), static_cast<int16_t>(1));
        QCOMPARE(lines.lines, QStringList {"Detected KA7700 interface but no 1-wire devices found."});
    }

    void answersStoppingMidwayFailThatCallOnly()
    {
        plugIn(sim::demoConfiguration(clock).ports.at(1).bus);
        QVERIFY(start());
        Lines lines;
        QCOMPARE(DetectSensors(lines), static_cast<int16_t>(0));
        emulator::Faults faults;
        faults.silentAfter = 5; // in the middle of the first match ROM
        setFaults(faults);
        for (int attempt = 0; attempt < 3; ++attempt) {
            QElapsedTimer timer;
            timer.start();
            QVERIFY(!ReadTemperature(0));
            QVERIFY(timer.elapsed() < CallLimitMs);
        }
        setFaults({});
        QVERIFY(ReadTemperature(0));
        QCOMPARE(GetTemperature(), static_cast<float>(trueReading(0)));
    }

    void garbledAnswersFailCallsButReadingsResume()
    {
        plugIn(sim::uniformConfiguration(1, clock).ports.at(1).bus);
        QVERIFY(start());
        Lines lines;
        QCOMPARE(DetectSensors(lines), static_cast<int16_t>(0));
        emulator::Faults faults;
        faults.garbleEvery = 37;
        setFaults(faults);
        int failed = 0;
        int resumed = 0;
        for (int reading = 0; reading < 16; ++reading) {
            QElapsedTimer timer;
            timer.start();
            if (ReadTemperature(0)) {
                QCOMPARE(GetTemperature(), static_cast<float>(trueReading(0)));
                resumed += failed > 0;
            } else {
                ++failed;
            }
            QVERIFY(timer.elapsed() < 2 * CallLimitMs);
        }
        QVERIFY(failed > 0);
        QVERIFY(resumed > 0);
    }

    void strayPulseEndBytes()
    {
        emulator::Faults faults;
        faults.strayPulseEnd = true;
        plugIn(sim::demoConfiguration(clock).ports.at(1).bus, faults);
        QVERIFY(start());
        Lines lines;
        QCOMPARE(DetectSensors(lines), static_cast<int16_t>(0));
        for (int16_t index = 0; index <= LastSensor; ++index) {
            QVERIFY(ReadTemperature(index));
            QCOMPARE(GetTemperature(), static_cast<float>(trueReading(index)));
        }
    }

    void unplugAndReplug()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyKA0"));
        ports[1] = link;
        plugIn(sim::demoConfiguration(clock).ports.at(1).bus);
        QVERIFY(QFile::link(adapter->slavePath(), link));
        QVERIFY(start());
        Lines lines;
        QCOMPARE(DetectSensors(lines), static_cast<int16_t>(0));
        QVERIFY(ReadTemperature(1));

        adapter.reset(); // unplugged: its device node goes away
        for (int call = 0; call < 3; ++call) {
            QElapsedTimer timer;
            timer.start();
            QVERIFY(!ReadTemperature(1));
            QVERIFY(timer.elapsed() < CallLimitMs);
        }

        adapter = std::make_unique<emulator::PtyEmulator>(bus);
        QVERIFY(adapter->open());
        adapter->start();
        QVERIFY(QFile::remove(link));
        QVERIFY(QFile::link(adapter->slavePath(), link));
        QVERIFY(ReadTemperature(1));
        QCOMPARE(GetTemperature(), static_cast<float>(trueReading(1)));
    }

    void higherRateInRealTime_data()
    {
        QTest::addColumn<emulator::Faults>("faults");
        QTest::addColumn<int>("baud"); // where the session ends up
        QTest::newRow("switched") << emulator::Faults {} << 115200;
        emulator::Faults slowLine;
        slowLine.maxBaud = 9600;
        QTest::newRow("the line carries 9600 only") << slowLine << 9600;
        emulator::Faults unbuffered;
        unbuffered.unbuffered = true;
        QTest::newRow("the line driver loses bytes") << unbuffered << 9600;
    }
    void higherRateInRealTime()
    {
        QFETCH(emulator::Faults, faults);
        QFETCH(int, baud);
        plugIn(sim::demoConfiguration(clock).ports.at(1).bus, faults, {0us, 0ms, true}, 115200);
        QVERIFY(start());
        // A lost byte may fail a search, never make it find something else.
        Lines lines;
        int16_t detected = 1;
        for (int attempt = 0; attempt < 3 && detected != 0; ++attempt) {
            detected = DetectSensors(lines);
            if (detected == 0)
                QCOMPARE(detectedRoms(), romsOf(*bus));
        }
        QCOMPARE(detected, static_cast<int16_t>(0));
        for (int16_t index = 0; index <= LastSensor; ++index) {
            QVERIFY(ReadTemperature(index));
            QCOMPARE(GetTemperature(), static_cast<float>(trueReading(index)));
        }
        QCOMPARE(
            adapter->locked([](sim::SimBus &, emulator::LineDriver &line) { return line.baudRate(); }), baud);
        QCOMPARE(adapter->overruns() > 0, faults.unbuffered);
    }

    // Skip ROM and one convert for the demo bus, its 9-bit part powered from the bus, then a reset and
    // one block (match ROM, read scratchpad) per sensor.
    void allAtOnceThroughTheDriver_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("pullUpMs");
        QTest::addColumn<bool>("brownOut"); // the part on the bus keeps its power-on 85
        QTest::newRow("9600, pull-up through the conversion") << 9600 << 750 << false;
        QTest::newRow("115200, pull-up through the conversion") << 115200 << 750 << false;
        QTest::newRow("115200, pull-up ends before the 9-bit conversion") << 115200 << 90 << true;
    }
    void allAtOnceThroughTheDriver()
    {
        QFETCH(int, baud);
        QFETCH(int, pullUpMs);
        QFETCH(bool, brownOut);
        plugIn(sim::demoConfiguration(clock).ports.at(1).bus, {}, {0us, 0ms, true}, baud);
        QVERIFY(start());
        Lines lines;
        QCOMPARE(DetectSensors(lines), static_cast<int16_t>(0));
        QVERIFY(XWBUSLIB::XwTouchReset(SessionHandle));
        QCOMPARE(XWBUSLIB::XwTouchByte(SessionHandle, 0xCC), static_cast<int16_t>(0xCC));
        QCOMPARE(XWBUSLIB::XwOneWireLevel(SessionHandle, 0, 1, 2), static_cast<int16_t>(1));
        QCOMPARE(XWBUSLIB::XwTouchByte(SessionHandle, 0x44), static_cast<int16_t>(0x44));
        clock->advance(std::chrono::milliseconds(pullUpMs));
        QCOMPARE(XWBUSLIB::XwOneWireLevel(SessionHandle, 0, 0, 0), static_cast<int16_t>(1));
        clock->advance(1s);
        for (int16_t index = 0; index <= LastSensor; ++index) {
            std::array<uint8_t, 19> out {0x55};
            const onewire::RomCode rom = romAt(index);
            std::copy(rom.begin(), rom.end(), out.begin() + 1);
            out[9] = 0xBE;
            std::fill(out.begin() + 10, out.end(), 0xFF);
            std::array<uint8_t, 19> in {};
            QVERIFY(XWBUSLIB::XwTouchReset(SessionHandle));
            QCOMPARE(
                XWBUSLIB::XwBlock(SessionHandle, out.data(), in.data(), static_cast<int16_t>(out.size())),
                static_cast<int16_t>(1));
            QCOMPARE(onewire::crc8(std::span<const uint8_t>(in.data() + 10, 9)), static_cast<uint8_t>(0));
            const double reading
                = static_cast<int16_t>(in[10] | (in[11] << 8)) / (rom[0] == sim::FamilyKX4136 ? 16.0 : 2.0);
            QCOMPARE(reading, trueReading(index));
            const bool onBus = adapter->locked([&rom](sim::SimBus &simBus, emulator::LineDriver &) {
                return dynamic_cast<sim::Thermometer *>(simBus.findDevice(rom))->parasitePowered();
            });
            QCOMPARE(reading == 85.0, onBus && brownOut);
        }
        QCOMPARE(adapter->overruns(), 0);
    }

    void realTimeBytesAndSlots_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<QStringList>("chunks"); // each written once the answers before it are in
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("leastUs"); // ten bit times a byte, 70 us a slot, 1.1 ms a reset
        QTest::addColumn<int>("overruns");
        const serialtest::SearchPass pass1 = serialtest::TwoDevicePasses[0];
        QTest::newRow("client A's search pass streamed at 9600")
            << 9600 << QStringList {"C5", serialtest::searchRequest(pass1.request)}
            << QStringList {"CD", "F0 " + pass1.answer} << 3184 + 23764 << 0;
        QTest::newRow("resets one by one at 115200")
            << 115200 << QStringList(20, "C5") << QStringList(20, "CD") << 20 * (87 + 1100 + 87) << 0;
        QTest::newRow("search bytes one by one at 115200")
            << 115200 << QStringList {"C5", "E1 F0", "E3 B5 E1 00"} + QStringList(15, "00")
            << QStringList {"CD", "F0"} + pass1.answer.split(u' ')
            << (87 + 1100 + 87) + (174 + 560 + 87) + 16 * (87 + 840 + 87) << 0;
        QTest::newRow("a third byte while one is held at 115200")
            << 115200 << QStringList {"E1 FF FF FF"} << QStringList {"FF FF"} << 87 + 560 + 560 + 87 << 1;
    }
    void realTimeBytesAndSlots()
    {
        QFETCH(int, baud);
        QFETCH(QStringList, chunks);
        QFETCH(QStringList, answers);
        QFETCH(int, leastUs);
        QFETCH(int, overruns);
        auto onBus = std::make_shared<sim::SimBus>(clock);
        for (const QString &code : {serialtest::RomB, serialtest::RomA}) {
            const QByteArray bytes = QByteArray::fromHex(code.toLatin1());
            onewire::RomCode rom {};
            std::copy(bytes.cbegin(), bytes.cend(), rom.begin());
            onBus->addDevice(std::make_shared<sim::Device>(rom));
        }
        emulator::PtyEmulator emulated(onBus, {}, {0us, 0ms, true});
        QVERIFY(emulated.open());
        emulated.start();
        serial::QtPort port;
        QCOMPARE(port.open(emulated.slavePath()), serial::OpenResult::Opened);
        QVERIFY(port.write(QByteArray::fromHex("C1")));
        if (baud != 9600) {
            QVERIFY(port.write(QByteArray::fromHex("77")));
            port.pause(20ms);
            port.setBaudRate(baud);
            port.pause(5ms);
            port.clearInput();
        }
        QElapsedTimer timer;
        timer.start();
        QByteArray got;
        for (qsizetype i = 0; i < chunks.size(); ++i) {
            QVERIFY(port.write(QByteArray::fromHex(chunks[i].toLatin1())));
            const auto wanted = static_cast<int>(QByteArray::fromHex(answers[i].toLatin1()).size());
            got += port.read(wanted, serial::Port::Clock::now() + 1s);
        }
        const auto elapsedUs = timer.nsecsElapsed() / 1000;
        QCOMPARE(got, QByteArray::fromHex(answers.join(u' ').toLatin1()));
        QVERIFY2(elapsedUs >= leastUs && elapsedUs < 3 * leastUs + 500000,
            qPrintable(QStringLiteral("%1 us").arg(elapsedUs)));
        QVERIFY(port.read(1, serial::Port::Clock::now() + 50ms).isEmpty());
        QCOMPARE(emulated.overruns(), overruns);
    }

    void emulatorProgram()
    {
        QProcess program;
        program.start(QStringLiteral(KA7700_EMULATOR), {QStringLiteral("--sensors"), QStringLiteral("2")});
        QVERIFY(program.waitForReadyRead(5000));
        const QString path = QString::fromLocal8Bit(program.readLine()).trimmed();
        QVERIFY(path.startsWith(u'/'));
        {
            auto driver = serial::makeSerialDriver({{1, path}});
            const int32_t session = driver->XwExtendedStartSession(1, xw::PortTypeKA7700, 0);
            QVERIFY(session > 0);
            std::vector<uint8_t> state(xw::StateBufferSize);
            QCOMPARE(driver->XwFirst(session, state.data()), static_cast<int16_t>(1));
            QCOMPARE(driver->XwNext(session, state.data()), static_cast<int16_t>(1));
            QCOMPARE(driver->XwNext(session, state.data()), static_cast<int16_t>(0));
            QCOMPARE(driver->XwEndSession(session), static_cast<int16_t>(1));
        }
        program.terminate();
        QVERIFY(program.waitForFinished(3000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestEmulator)
#include "tst_emulator.moc"
