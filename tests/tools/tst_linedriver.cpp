// The emulator's line driver fed bytes directly: the observed traces byte for byte, its state and faults.
#include "common/AdapterTraces.h"
#include "driver/sim/RomCodes.h"
#include "driver/sim/SimBus.h"
#include "tools/ka7700-emulator/LineDriver.h"
#include "tools/ka7700-emulator/SerialTiming.h"

#include <QTest>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(emulator::Faults)

namespace {

onewire::RomCode rom(const QString &hexText)
{
    const QByteArray bytes = QByteArray::fromHex(hexText.toLatin1());
    onewire::RomCode code {};
    std::copy(bytes.cbegin(), bytes.cend(), code.begin());
    return code;
}

const onewire::RomCode RomA = rom(serialtest::RomA);
const onewire::RomCode RomWithEscape = rom(QStringLiteral("285634E3120000DD"));

struct Rig
{
    explicit Rig(emulator::Faults faults = {})
        : bus(std::make_shared<sim::SimBus>(clock))
        , line(*bus, faults)
    { }

    // Answers as upper-case hex, bytes apart.
    QString send(const QString &hexText, int baud = 9600)
    {
        return QString::fromLatin1(
            line.receive(QByteArray::fromHex(hexText.toLatin1()), baud).toHex(' ').toUpper());
    }
    QString poll() { return QString::fromLatin1(line.poll().toHex(' ').toUpper()); }
    // Past the timing byte that follows power-up.
    Rig &calibrated()
    {
        send(QStringLiteral("C1"));
        return *this;
    }
    std::shared_ptr<sim::Thermometer> thermometer(const onewire::RomCode &code, bool parasite)
    {
        auto device = std::make_shared<sim::Thermometer>(code, sim::TemperatureCurve::seeded(5));
        device->setParasitePowered(parasite);
        bus->addDevice(device);
        return device;
    }

    std::shared_ptr<sim::ManualClock> clock = std::make_shared<sim::ManualClock>(10s);
    std::shared_ptr<sim::SimBus> bus;
    emulator::LineDriver line;
};

QString hexOf(const onewire::RomCode &code)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(code.data()), 8).toHex(' ').toUpper());
}

} // namespace

class TestLineDriver : public QObject
{
    Q_OBJECT

private slots:
    // Data bytes at 115200 baud (a frame 86.8 us), each 560 us of 1-Wire work and answered by one byte.
    void serialTimingHoldsOneByte_data()
    {
        QTest::addColumn<QList<int>>("readAtUs"); // when the emulator reads each byte
        QTest::addColumn<bool>("holds");
        QTest::addColumn<QString>("taken"); // T taken, L lost
        QTest::addColumn<int>("lastAnswerUs"); // when the last answer has left, rounded up
        QTest::newRow("spaced wider than the work") << QList<int> {0, 700, 1400} << true << "TTT" << 2134;
        QTest::newRow("two at once: the second held") << QList<int> {0, 0} << true << "TT" << 1294;
        QTest::newRow("three at once: the third lost") << QList<int> {0, 0, 0} << true << "TTL" << 1294;
        QTest::newRow("the third once the second is worked on")
            << QList<int> {0, 0, 700} << true << "TTT" << 1854;
        QTest::newRow("no place to hold: the second lost") << QList<int> {0, 0} << false << "TL" << 734;
    }
    void serialTimingHoldsOneByte()
    {
        QFETCH(QList<int>, readAtUs);
        QFETCH(bool, holds);
        QFETCH(QString, taken);
        QFETCH(int, lastAnswerUs);
        emulator::SerialTiming timing({0us, 0ms, true});
        const emulator::SerialTiming::Clock::time_point t0 {};
        QString got;
        for (const int at : readAtUs) {
            const auto start = timing.take(t0 + std::chrono::microseconds(at), 115200, holds);
            got += start ? u'T' : u'L';
            if (start)
                timing.worked(*start, 560us, QByteArray(1, 'a'), 115200);
        }
        QCOMPARE(got, taken);
        const auto answers = taken.count(u'T');
        QCOMPARE(timing.takeDue(t0 + std::chrono::microseconds(lastAnswerUs - 1)).size(), answers - 1);
        QCOMPARE(timing.takeDue(t0 + std::chrono::microseconds(lastAnswerUs)).size(), 1);
        QVERIFY(!timing.nextDue());
    }

    void timingByteIsOnlyMeasured()
    {
        Rig rig;
        rig.bus->addDevice(std::make_shared<sim::Device>(RomA));
        QCOMPARE(rig.send(QStringLiteral("C5")), QString());
        QCOMPARE(rig.send(QStringLiteral("C5")), QStringLiteral("CD"));
        rig.line.masterReset();
        QCOMPARE(rig.send(QStringLiteral("C5 C5")), QStringLiteral("CD"));
    }

    void configuration_data()
    {
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("answers");
        QTest::newRow("detection block, empty bus") << serialtest::SetupRequest << serialtest::SetupAnswer;
        QTest::newRow("parameter writes") << "3F 29 71"
                                          << "3E 28 70";
        QTest::newRow("power-up values") << "03 05 07 09 0B 0D 0F"
                                         << "00 08 08 00 00 00 00";
        QTest::newRow("write then read") << "17 03 3B 07"
                                         << "16 06 3A 0A";
        QTest::newRow("not a command: bit 0 clear") << "16 C4 C5"
                                                    << "CF";
    }
    void configuration()
    {
        QFETCH(QString, sent);
        QFETCH(QString, answers);
        QCOMPARE(Rig().calibrated().send(sent), answers);
    }

    void resetAnswers_data()
    {
        QTest::addColumn<int>("devices");
        QTest::addColumn<bool>("shorted");
        QTest::addColumn<QString>("answer");
        QTest::newRow("presence") << 1 << false << "CD";
        QTest::newRow("empty bus") << 0 << false << "CF";
        QTest::newRow("shorted") << 1 << true << "CC";
    }
    void resetAnswers()
    {
        QFETCH(int, devices);
        QFETCH(bool, shorted);
        QFETCH(QString, answer);
        Rig rig;
        if (devices)
            rig.bus->addDevice(std::make_shared<sim::Device>(RomA));
        rig.bus->setShorted(shorted);
        QCOMPARE(rig.calibrated().send(QStringLiteral("C5")), answer);
    }

    void acceleratedSearch_data()
    {
        QTest::addColumn<QStringList>("roms");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("answer");
        namespace traces = serialtest;
        const QList<std::pair<QStringList, QList<traces::SearchPass>>> buses {
            {{traces::RomB, traces::RomA}, traces::TwoDevicePasses},
            {{traces::RomB, traces::RomC, traces::RomA}, traces::ThreeDevicePasses}};
        for (const auto &[roms, passes] : buses) {
            for (qsizetype pass = 0; pass < passes.size(); ++pass)
                QTest::addRow("%lld devices, pass %lld", qlonglong(roms.size()), qlonglong(pass + 1))
                    << roms << passes[pass].request << passes[pass].answer;
        }
        QTest::newRow("empty bus latches the error")
            << QStringList {} << traces::zeroBytes(16) << QStringLiteral("FF ").repeated(16).trimmed();
    }
    void acceleratedSearch()
    {
        QFETCH(QStringList, roms);
        QFETCH(QString, request);
        QFETCH(QString, answer);
        Rig rig;
        for (const QString &code : roms)
            rig.bus->addDevice(std::make_shared<sim::Device>(rom(code)));
        const QString reset = roms.isEmpty() ? QStringLiteral("CF") : QStringLiteral("CD");
        QCOMPARE(rig.calibrated().send(QStringLiteral("C5 ") + serialtest::searchRequest(request)),
            reset + QStringLiteral(" F0 ") + answer);
        QVERIFY(!rig.line.acceleratorOn());
    }

    void searchWithPlainDataBytes()
    {
        // Read, read, write triplets packed into data bytes follow one fixed path through the tree.
        Rig rig;
        rig.bus->addDevice(std::make_shared<sim::Device>(RomA));
        QCOMPARE(rig.calibrated().send(
                     QStringLiteral("C5 E1 F0 DB BE 6F DF FF 6F DB BF 6F FF FE 6D FB BE 6D DB B6 "
                                    "6D DB B6 6D FB B7 EF")),
            QStringLiteral("CD F0 92 AA 4A 55 DB 4A 52 AB 4A AD 5A 49 AA 2A 49 92 24 49 92 24 49 6A A5 AA"));
    }

    void escapeSurvivesASplitRead()
    {
        Rig rig;
        auto sensor = rig.thermometer(RomWithEscape, false);
        rig.calibrated();
        QCOMPARE(rig.send(QStringLiteral("C5 E1 55 28 56 34 E3")), QStringLiteral("CD 55 28 56 34"));
        QCOMPARE(rig.send(QStringLiteral("E3 12 00 00 DD BE FF FF FF FF FF FF FF FF FF")),
            QStringLiteral("E3 12 00 00 DD BE ")
                + QString::fromLatin1(
                    QByteArray(reinterpret_cast<const char *>(sensor->scratchpad().data()), 9)
                        .toHex(' ')
                        .toUpper()));
        QCOMPARE(rig.send(QStringLiteral("E3")), QString());
        QCOMPARE(rig.send(QStringLiteral("C5")), QStringLiteral("CD"));
        QCOMPARE(rig.line.mode(), emulator::LineDriver::Mode::Command);
    }

    void modeSwitchesOutOfPlace()
    {
        Rig rig;
        rig.calibrated();
        QCOMPARE(rig.send(QStringLiteral("E3 C5")), QStringLiteral("CF")); // E3 in command mode: nothing
        QCOMPARE(rig.send(QStringLiteral("E1 E1 F1")), QStringLiteral("E1 F1")); // data bytes now
    }

    void parasiteConversionNeedsThePullUp_data()
    {
        QTest::addColumn<QString>("convert");
        QTest::addColumn<int>("pulledUpMs"); // before F1; -1: no pull-up at all
        QTest::addColumn<bool>("converted");
        QTest::newRow("pull-up after the last bit") << "E3 3F 85 85 95 85 85 85 95 87" << 800 << true;
        QTest::newRow("pull-up ended too soon") << "E3 3F 85 85 95 85 85 85 95 87" << 100 << false;
        QTest::newRow("convert as a data byte") << "44" << -1 << false;
    }
    void parasiteConversionNeedsThePullUp()
    {
        QFETCH(QString, convert);
        QFETCH(int, pulledUpMs);
        QFETCH(bool, converted);
        Rig rig;
        auto sensor = rig.thermometer(RomA, true);
        const QString match = QStringLiteral("C5 E1 55 ") + hexOf(RomA) + u' ';
        rig.calibrated().send(match + convert);
        QCOMPARE(rig.bus->strongPullUp(), pulledUpMs >= 0);
        if (pulledUpMs >= 0) {
            rig.clock->advance(std::chrono::milliseconds(pulledUpMs));
            QCOMPARE(rig.send(QStringLiteral("F1")), QStringLiteral("EC"));
        }
        rig.clock->advance(800ms); // long past any conversion
        QVERIFY(!rig.bus->strongPullUp());
        const QString scratchpad = rig.send(QStringLiteral("E3 ") + match + QStringLiteral("BE FF FF"));
        QCOMPARE(
            scratchpad.endsWith(QStringLiteral("BE 50 05")), !converted); // 85 degrees, the power-on value
    }

    void finitePulseEndsByItself()
    {
        Rig rig;
        rig.calibrated();
        QCOMPARE(
            rig.send(QStringLiteral("31 97")), QStringLiteral("30 97")); // 16.4 ms, then a pulled-up slot
        QVERIFY(rig.line.pulseActive());
        rig.clock->advance(16ms);
        QCOMPARE(rig.poll(), QString());
        rig.clock->advance(1ms);
        QCOMPARE(rig.poll(), QStringLiteral("EC"));
        QVERIFY(!rig.bus->strongPullUp());
        QCOMPARE(rig.send(QStringLiteral("F1")), QString()); // no pulse left to end
    }

    void onlyF1MayInterruptAPulse()
    {
        Rig rig;
        rig.calibrated();
        QCOMPARE(rig.send(QStringLiteral("3F 87 C5 E1")), QStringLiteral("3E 84"));
        QCOMPARE(rig.line.hostErrors(), 2);
        QCOMPARE(rig.send(QStringLiteral("F1 C5")), QStringLiteral("EC CF"));
    }

    void baudRateChange()
    {
        Rig rig;
        rig.calibrated();
        QVERIFY(rig.send(QStringLiteral("73")) != QStringLiteral("72")); // already at 19200
        QCOMPARE(rig.line.baudRate(), 19200);
        QCOMPARE(rig.send(QStringLiteral("0F"), 19200), QStringLiteral("02"));
        QVERIFY(rig.send(QStringLiteral("0F"), 9600) != QStringLiteral("02"));
        QVERIFY(
            rig.send(QStringLiteral("71"), 19200) != QStringLiteral("70")); // back to 9600 before answering
        QCOMPARE(rig.send(QStringLiteral("0F")), QStringLiteral("00"));
    }

    void faults_data()
    {
        QTest::addColumn<emulator::Faults>("faults");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("answers");
        emulator::Faults faults;
        faults.resetAnswer = 0xCF;
        QTest::newRow("reset answer forced") << faults << "C5"
                                             << "CF";
        faults = {};
        faults.pulseEnd = 0x00;
        QTest::newRow("pulse-end byte forced") << faults << "87 F1"
                                               << "84 00";
        faults = {};
        faults.strayPulseEnd = true;
        QTest::newRow("stray pulse-end byte") << faults << "87 F1"
                                              << "84 EC EC";
        faults = {};
        faults.silentAfter = 3;
        QTest::newRow("silent after three answers") << faults << serialtest::SetupRequest << "16 44 5A";
        faults = {};
        faults.garbleEvery = 2;
        QTest::newRow("every second answer garbled")
            << faults << serialtest::SetupRequest << "16 04 5A 40 93";
        faults = {};
        faults.silent = true;
        QTest::newRow("silent") << faults << serialtest::SetupRequest + " C5"
                                << "";
    }
    void faults()
    {
        QFETCH(emulator::Faults, faults);
        QFETCH(QString, sent);
        QFETCH(QString, answers);
        Rig rig(faults);
        rig.bus->addDevice(std::make_shared<sim::Device>(RomA));
        QCOMPARE(rig.calibrated().send(sent), answers);
    }
};

QTEST_GUILESS_MAIN(TestLineDriver)
#include "tst_linedriver.moc"
