// The driver contract: one set of cases through the Xw operations, run on the simulated driver and on the
// serial driver over the emulated adapter, each on a bus described by the emulator's own options.
#include "driver/onewire/Crc8.h"
#include "driver/serial/SerialDriver.h"
#include "driver/sim/RomCodes.h"
#include "driver/sim/SimulatedDriver.h"
#include "tools/ka7700-emulator/Options.h"

#include <QTest>
#include <set>

namespace {

enum class Kind { Simulated, Serial };

} // namespace

Q_DECLARE_METATYPE(Kind)

namespace {

constexpr int16_t Port = 1;
constexpr int16_t OtherPortType = 2;

// A driver on COM port 1 in front of the bus; the serial one through a pseudo-terminal.
struct Rig
{
    Rig(Kind kind, const QString &arguments)
    {
        const auto options = emulator::parseOptions(arguments.split(u' ', Qt::SkipEmptyParts));
        QVERIFY2(options, qPrintable(options.failure()));
        bus = emulator::makeBus(*options, clock);
        for (std::size_t i = 0; i < bus->deviceCount(); ++i)
            roms.insert(bus->device(i).romCode());
        if (kind == Kind::Simulated) {
            sim::SimConfiguration configuration {clock, {}};
            configuration.ports[Port].bus = bus;
            driver = std::make_shared<sim::SimulatedDriver>(configuration);
            return;
        }
        adapter = std::make_unique<emulator::PtyEmulator>(bus);
        if (adapter->open())
            adapter->start();
        driver = serial::makeSerialDriver({{Port, adapter->slavePath()}});
    }

    int32_t start() { return driver->XwExtendedStartSession(Port, xw::PortTypeKA7700, 0); }

    // Sets the current device; true when XwAccess then selects it.
    bool access(int32_t session, const onewire::RomCode &rom)
    {
        std::array<int16_t, 9> cells {};
        std::copy(rom.begin(), rom.end(), cells.begin());
        return driver->XwRom(session, state.data(), cells.data()) == 1
            && driver->XwAccess(session, state.data()) == 1;
    }

    std::shared_ptr<sim::ManualClock> clock = std::make_shared<sim::ManualClock>();
    std::shared_ptr<sim::SimBus> bus; // the emulator's thread owns it once the adapter runs
    std::set<onewire::RomCode> roms; // of every device on the bus, answering or not
    std::unique_ptr<emulator::PtyEmulator> adapter;
    std::shared_ptr<xw::XwDriver> driver; // goes first, ending its session while the adapter answers
    std::vector<uint8_t> state = std::vector<uint8_t>(xw::StateBufferSize);
};

const std::pair<const char *, Kind> Drivers[] {{"simulated", Kind::Simulated}, {"serial", Kind::Serial}};

void addDrivers()
{
    QTest::addColumn<Kind>("kind");
    for (const auto &[name, kind] : Drivers)
        QTest::newRow(name) << kind;
}

void addBuses()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<bool>("ready"); // a session starts and XwSetup gives 1
    QTest::addColumn<bool>("presence"); // and the devices on the bus take part
    QTest::addColumn<int>("searchEnd"); // what XwFirst/XwNext give after the last device
    for (const auto &[name, kind] : Drivers) {
        const auto row
            = [name](const char *bus) -> QTestData & { return QTest::addRow("%s, %s", name, bus); };
        row("empty bus") << kind << "--sensors 0" << true << false << 0;
        row("one device") << kind << "--sensors 1" << true << true << 0;
        row("32 devices") << kind << "--sensors 32" << true << true << 0;
        row("a short") << kind << "--short" << false << false << -1;
        row("reset without presence") << kind << "--no-presence" << true << false << 0;
    }
}

} // namespace

class TestDriverContract : public QObject
{
    Q_OBJECT

private slots:
    void sessions_data() { addDrivers(); }
    void sessions()
    {
        QFETCH(Kind, kind);
        Rig rig(kind, QStringLiteral("--sensors 1"));
        QCOMPARE(rig.driver->XwExtendedStartSession(Port, OtherPortType, 0), 0);
        const int32_t session = rig.start();
        QVERIFY(session > 0);
        QCOMPARE(rig.start(), 0);
        QCOMPARE(rig.driver->lastStartFailure().reason, xw::StartFailure::Reason::InUse);
        QCOMPARE(rig.driver->XwEndSession(session), static_cast<int16_t>(1));

        // An ended session fails every operation.
        std::array<int16_t, 9> cells {};
        std::array<uint8_t, 1> block {0xFF};
        uint8_t *state = rig.state.data();
        QCOMPARE(rig.driver->XwSetup(session), static_cast<int16_t>(0));
        QVERIFY(rig.driver->XwFirst(session, state) != 1);
        QVERIFY(rig.driver->XwNext(session, state) != 1);
        QVERIFY(rig.driver->XwRom(session, state, cells.data()) != 1);
        QVERIFY(rig.driver->XwAccess(session, state) != 1);
        QVERIFY(rig.driver->XwTouchByte(session, 0xFF) < 0);
        QCOMPARE(rig.driver->XwTouchReset(session), static_cast<int16_t>(0));
        QVERIFY(rig.driver->XwOneWireLevel(session, 0, 1, 2) != 1);
        QCOMPARE(rig.driver->XwBlock(session, block.data(), block.data(), 1), static_cast<int16_t>(0));
        QCOMPARE(rig.driver->XwEndSession(session), static_cast<int16_t>(0));

        const int32_t again = rig.start();
        QVERIFY(again > 0 && again != session);
        QCOMPARE(rig.driver->XwSetup(again), static_cast<int16_t>(1));
    }

    void resetAndSearch_data() { addBuses(); }
    void resetAndSearch()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, arguments);
        QFETCH(bool, ready);
        QFETCH(bool, presence);
        QFETCH(int, searchEnd);
        Rig rig(kind, arguments);
        const int32_t session = rig.start();
        QCOMPARE(session > 0 && rig.driver->XwSetup(session) == 1, ready);
        // A short is told apart from an empty bus, at the start or at the set-up, whichever meets it.
        if (!ready)
            QCOMPARE(rig.driver->lastStartFailure().reason, xw::StartFailure::Reason::ShortedBus);
        if (session <= 0)
            return;
        QCOMPARE(rig.driver->XwTouchReset(session) != 0, presence);

        std::set<onewire::RomCode> found;
        int16_t more = rig.driver->XwFirst(session, rig.state.data());
        for (; more == 1 && found.size() <= rig.roms.size();
             more = rig.driver->XwNext(session, rig.state.data())) {
            std::array<int16_t, 9> cells {};
            QCOMPARE(rig.driver->XwRom(session, rig.state.data(), cells.data()), static_cast<int16_t>(1));
            onewire::RomCode rom {};
            std::copy(cells.begin(), cells.begin() + 8, rom.begin());
            QVERIFY(found.insert(rom).second);
        }
        QCOMPARE(more, static_cast<int16_t>(searchEnd));
        QCOMPARE(found, presence ? rig.roms : std::set<onewire::RomCode> {});
    }

    // Match ROM, read scratchpad byte by byte and as a block, and a convert under the armed pull-up, on
    // every device of the bus (or on a code nobody has).
    void addressedTransactions_data() { addBuses(); }
    void addressedTransactions()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, arguments);
        QFETCH(bool, ready);
        QFETCH(bool, presence);
        Rig rig(kind, arguments);
        const int32_t session = rig.start();
        QVERIFY(session > 0 || !ready);
        if (session <= 0)
            return;
        auto codes = rig.roms;
        if (codes.empty())
            codes.insert(sim::generatedRomCode(sim::FamilyKX4136, 1));
        for (const onewire::RomCode &rom : codes) {
            QCOMPARE(rig.access(session, rom), presence);
            if (!presence)
                continue;
            QCOMPARE(rig.driver->XwTouchByte(session, 0xBE), static_cast<int16_t>(0xBE));
            std::array<uint8_t, 9> pad {};
            for (uint8_t &byte : pad)
                byte = static_cast<uint8_t>(rig.driver->XwTouchByte(session, 0xFF));
            QCOMPARE(onewire::crc8(pad), static_cast<uint8_t>(0));

            std::array<uint8_t, 19> out {0x55};
            std::copy(rom.begin(), rom.end(), out.begin() + 1);
            out[9] = 0xBE;
            std::fill(out.begin() + 10, out.end(), 0xFF);
            std::array<uint8_t, 19> in {};
            QCOMPARE(rig.driver->XwTouchReset(session), static_cast<int16_t>(1));
            QCOMPARE(rig.driver->XwBlock(session, out.data(), in.data(), static_cast<int16_t>(out.size())),
                static_cast<int16_t>(1));
            QVERIFY(std::equal(pad.begin(), pad.end(), in.begin() + 10));

            QVERIFY(rig.access(session, rom));
            QCOMPARE(rig.driver->XwOneWireLevel(session, 0, 1, 2), static_cast<int16_t>(1));
            QCOMPARE(rig.driver->XwTouchByte(session, 0x44), static_cast<int16_t>(0x44));
            QCOMPARE(rig.driver->XwOneWireLevel(session, 0, 0, 0), static_cast<int16_t>(1));
        }
        QCOMPARE(rig.driver->XwEndSession(session), static_cast<int16_t>(1));
    }
};

QTEST_GUILESS_MAIN(TestDriverContract)
#include "tst_drivercontract.moc"
