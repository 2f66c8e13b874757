// The emulator's command line and the bus it builds from it.
#include "driver/onewire/Crc8.h"
#include "driver/sim/Clock.h"
#include "tools/ka7700-emulator/Options.h"

#include <QTest>

class TestEmulatorOptions : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("sensors"); // -1: the demo bus
        QTest::addColumn<int>("byteTimeUs");
        QTest::addColumn<int>("latencyMs");
        QTest::addColumn<int>("resetAnswer"); // -1: not forced
        QTest::addColumn<int>("pulseEnd"); // -1: not forced
        QTest::newRow("nothing: the demo bus") << "" << true << -1 << 0 << 0 << -1 << -1;
        QTest::newRow("sensors") << "--sensors 32" << true << 32 << 0 << 0 << -1 << -1;
        QTest::newRow("no sensors") << "--sensors 0" << true << 0 << 0 << 0 << -1 << -1;
        QTest::newRow("too many sensors") << "--sensors 41" << false << 0 << 0 << 0 << -1 << -1;
        QTest::newRow("sensors without a count") << "--sensors" << false << 0 << 0 << 0 << -1 << -1;
        QTest::newRow("timing") << "--byte-time-us 1042 --latency-ms 16" << true << -1 << 1042 << 16 << -1
                                << -1;
        QTest::newRow("real time") << "--real-time --latency-ms 1" << true << -1 << 0 << 1 << -1 << -1;
        QTest::newRow("negative latency") << "--latency-ms -1" << false << 0 << 0 << 0 << -1 << -1;
        QTest::newRow("forced answers in hex")
            << "--reset-answer CF --pulse-end 0" << true << -1 << 0 << 0 << 0xCF << 0;
        QTest::newRow("answer beyond a byte") << "--reset-answer 1CD" << false << 0 << 0 << 0 << -1 << -1;
        QTest::newRow("unknown option") << "--turbo" << false << 0 << 0 << 0 << -1 << -1;
    }
    void parse()
    {
        QFETCH(QString, arguments);
        QFETCH(bool, valid);
        QFETCH(int, sensors);
        QFETCH(int, byteTimeUs);
        QFETCH(int, latencyMs);
        QFETCH(int, resetAnswer);
        QFETCH(int, pulseEnd);
        const auto options = emulator::parseOptions(arguments.split(u' ', Qt::SkipEmptyParts));
        QCOMPARE(bool(options), valid);
        QCOMPARE(options.failure().isEmpty(), valid);
        if (!options)
            return;
        QCOMPARE(options->sensors.value_or(-1), sensors);
        QCOMPARE(static_cast<int>(options->timing.byteTime.count()), byteTimeUs);
        QCOMPARE(static_cast<int>(options->timing.latency.count()), latencyMs);
        QCOMPARE(options->timing.realTime, arguments.contains(u"--real-time"));
        QCOMPARE(
            options->faults.resetAnswer ? static_cast<int>(*options->faults.resetAnswer) : -1, resetAnswer);
        QCOMPARE(options->faults.pulseEnd ? static_cast<int>(*options->faults.pulseEnd) : -1, pulseEnd);
    }

    void faultFlags()
    {
        const auto options = emulator::parseOptions(
            QStringLiteral("--silent --silent-after 7 --garble-every 3 --stray-pulse-end").split(u' '));
        QVERIFY(options);
        QVERIFY(options->faults.silent);
        QCOMPARE(options->faults.silentAfter, std::optional(7));
        QCOMPARE(options->faults.garbleEvery, std::optional(3));
        QVERIFY(options->faults.strayPulseEnd);
        QVERIFY(!emulator::parseOptions({QStringLiteral("--garble-every"), QStringLiteral("0")}));
    }

    void lineFaults_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("maxBaud");
        QTest::addColumn<bool>("unbuffered");
        QTest::newRow("line up to 19200") << "--max-baud 19200" << true << 19200 << false;
        QTest::newRow("rate the adapter lacks") << "--max-baud 38400" << false << 0 << false;
        QTest::newRow("no held byte") << "--real-time --no-held-byte" << true << 0 << true;
        QTest::newRow("no held byte in stepped time") << "--no-held-byte" << false << 0 << false;
        QTest::newRow("device beyond the demo bus") << "--bad-crc 3" << false << 0 << false;
        QTest::newRow("device on an empty bus") << "--sensors 0 --deaf 0" << false << 0 << false;
    }
    void lineFaults()
    {
        QFETCH(QString, arguments);
        QFETCH(bool, valid);
        QFETCH(int, maxBaud);
        QFETCH(bool, unbuffered);
        const auto options = emulator::parseOptions(arguments.split(u' '));
        QCOMPARE(bool(options), valid);
        QCOMPARE(options.failure().isEmpty(), valid);
        if (!options)
            return;
        QCOMPARE(options->faults.maxBaud.value_or(0), maxBaud); // 0: any rate
        QCOMPARE(options->faults.unbuffered, unbuffered);
    }

    void deviceFaults()
    {
        const auto options
            = emulator::parseOptions(QStringLiteral("--bad-crc 2 --stuck 1 --deaf 0").split(u' '));
        QVERIFY(options);
        const auto bus = emulator::makeBus(*options, std::make_shared<sim::ManualClock>());
        // Each device's presence pulse, then its scratchpad read by its code: all FF, or its CRC verdict.
        const auto seen = [&bus](std::size_t device) {
            const bool presence = bus->device(device).reset(bus->clock().now());
            bus->reset();
            bus->touchByte(0x55);
            for (const uint8_t byte : bus->device(device).romCode())
                bus->touchByte(byte);
            bus->touchByte(0xBE);
            std::array<uint8_t, 9> pad {};
            for (uint8_t &byte : pad)
                byte = bus->touchByte(0xFF);
            const bool allFF = std::all_of(pad.begin(), pad.end(), [](uint8_t b) { return b == 0xFF; });
            return QList<bool> {presence, allFF, onewire::crc8(pad) == 0};
        };
        QCOMPARE(seen(0), (QList<bool> {false, true, false})); // deaf
        QCOMPARE(seen(1), (QList<bool> {true, true, false})); // stuck
        QCOMPARE(seen(2), (QList<bool> {true, false, false})); // bad CRC
    }

    void help()
    {
        const auto options = emulator::parseOptions({QStringLiteral("-h")});
        QVERIFY(options && options->help);
        const QString text = emulator::usage();
        QVERIFY(text.startsWith(u"Usage: ka7700-emulator [options]\n"));
        for (const QString &line : text.split(u'\n'))
            QVERIFY2(line.size() <= 80, qPrintable(line));
    }

    void buses_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("kx4136");
        QTest::addColumn<int>("kx4130");
        QTest::addColumn<onewire::ResetResult>("reset");
        QTest::newRow("demo") << "" << 2 << 1 << onewire::ResetResult::Presence;
        QTest::newRow("five sensors") << "--sensors 5" << 5 << 0 << onewire::ResetResult::Presence;
        QTest::newRow("empty") << "--sensors 0" << 0 << 0 << onewire::ResetResult::NoPresence;
        QTest::newRow("unplugged sensors") << "--no-presence" << 2 << 1 << onewire::ResetResult::NoPresence;
        QTest::newRow("shorted") << "--short" << 2 << 1 << onewire::ResetResult::Short;
    }
    void buses()
    {
        QFETCH(QString, arguments);
        QFETCH(int, kx4136);
        QFETCH(int, kx4130);
        QFETCH(onewire::ResetResult, reset);
        const auto options = emulator::parseOptions(arguments.split(u' ', Qt::SkipEmptyParts));
        QVERIFY(options);
        const auto bus = emulator::makeBus(*options, std::make_shared<sim::ManualClock>());
        int families[2] = {0, 0};
        for (std::size_t i = 0; i < bus->deviceCount(); ++i) {
            const auto *sensor = bus->thermometer(i);
            QVERIFY(sensor);
            ++families[sensor->family() == sim::FamilyKX4136 ? 0 : 1];
        }
        QCOMPARE(families[0], kx4136);
        QCOMPARE(families[1], kx4130);
        QCOMPARE(bus->reset(), reset);
    }
};

QTEST_GUILESS_MAIN(TestEmulatorOptions)
#include "tst_emulatoroptions.moc"
