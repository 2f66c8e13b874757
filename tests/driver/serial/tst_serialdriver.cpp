// The serial driver through the Xw operations on scripted ports: searches byte for byte, sessions,
// the COM port map, and random answers that must neither crash nor hang it.
#include "ScriptedPort.h"
#include "common/AdapterTraces.h"
#include "driver/onewire/RomCode.h"
#include "driver/serial/Ka7700.h"
#include "driver/serial/SerialDriver.h"
#include "driver/serial/SerialLink.h"

#include <QTest>
#include <random>

using namespace serialtest;

namespace {

constexpr int16_t Port = 1;

struct DriverRig
{
    explicit DriverRig(const QString &trace)
        : port(scriptedState(trace, &script))
        , driver(serial::makeSerialDriver({{Port, QStringLiteral("/dev/ttyKA0")}},
              [state = port] { return std::make_unique<ScriptedPort>(state); }))
    { }

    std::shared_ptr<Script> script;
    std::shared_ptr<PortState> port;
    std::shared_ptr<xw::XwDriver> driver;
};

QString searchPasses(const QList<SearchPass> &passes)
{
    QString trace;
    for (const SearchPass &pass : passes)
        trace += QStringLiteral("> C5 < CD > E1 F0 < F0 > E3 B5 E1 %1 E3 A5 < %2 ")
                     .arg(pass.request, pass.answer);
    return trace;
}

QStringList romsFound(xw::XwDriver &driver, int32_t session)
{
    std::vector<uint8_t> state(xw::StateBufferSize);
    QStringList roms;
    int16_t found = driver.XwFirst(session, state.data());
    for (; found == 1; found = driver.XwNext(session, state.data())) {
        int16_t rom[9] {};
        if (driver.XwRom(session, state.data(), rom) != 1)
            break;
        QByteArray code;
        for (int i = 0; i < 8; ++i)
            code += static_cast<char>(rom[i]);
        roms += hex(code);
    }
    return found < 0 ? roms << QStringLiteral("failed") : roms;
}

QByteArray randomBytes(std::mt19937 &random, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += static_cast<char>(random() & 0xFF);
    return bytes;
}

// Mostly the right kind of answer with bits flipped, sometimes noise or silence.
QByteArray fuzzedAnswer(std::mt19937 &random, const QByteArray &written)
{
    static const QByteArray setup = QByteArray::fromHex(SetupRequest.toLatin1());
    if (written == setup && random() % 8 != 0)
        return QByteArray::fromHex(SetupAnswer.toLatin1());
    switch (random() % 5) {
    case 0:
        return randomBytes(random, static_cast<int>(random() % (written.size() + 3)));
    case 1:
        return {};
    default: {
        QByteArray answer = written;
        for (char &byte : answer)
            if (random() % 6 == 0)
                byte = static_cast<char>(byte ^ (1 << (random() % 8)));
        if (random() % 4 == 0)
            answer.chop(1);
        if (random() % 4 == 0)
            answer += static_cast<char>(random() & 0xFF);
        return answer;
    }
    }
}

} // namespace

class TestSerialDriver : public QObject
{
    Q_OBJECT

private slots:
    void searchTraces_data()
    {
        QTest::addColumn<QString>("passes");
        QTest::addColumn<QStringList>("roms");
        // A disturbed pass is made again on an adapter set up afresh.
        QTest::newRow("two devices, a reset answer garbled") << QStringLiteral("> C5 < 8D ") + Resync
                + StartUp + searchPasses(TwoDevicePasses) << QStringList {RomB, RomA};
        // The second pass turns the 1 way at bit 12; the 0-way fork at bit 8 must still be taken after.
        QTest::newRow("three devices, forks at 8 and 12")
            << searchPasses(ThreeDevicePasses) << QStringList {RomB, RomC, RomA};
        const QString nobody = searchPasses({{zeroBytes(16), QStringLiteral("FF ").repeated(16).trimmed()}})
            + Resync + StartUp;
        QTest::newRow("nobody answers the search, three times")
            << nobody + nobody + nobody.left(nobody.indexOf(Resync)) << QStringList {"failed"};
        QTest::newRow("empty bus") << QStringLiteral("> C5 < CF") << QStringList {};
    }
    void searchTraces()
    {
        QFETCH(QString, passes);
        QFETCH(QStringList, roms);
        DriverRig rig(StartUp + QStringLiteral("> C5 < CD ") + passes);
        const int32_t session = rig.driver->XwExtendedStartSession(Port, xw::PortTypeKA7700, 0);
        QVERIFY(session > 0);
        QCOMPARE(rig.driver->XwSetup(session), static_cast<int16_t>(1));
        QCOMPARE(romsFound(*rig.driver, session), roms);
        QVERIFY2(rig.script->finished(), qPrintable(rig.script->mismatch()));
    }

    void sessionOnASilentPortFailsAndReleasesIt()
    {
        DriverRig rig(StartUp.left(StartUp.indexOf(u'<')));
        QCOMPARE(rig.driver->XwExtendedStartSession(Port, xw::PortTypeKA7700, 0), 0);
        QVERIFY(!rig.port->open);
        QCOMPARE(rig.port->opens, 1);
    }

    void endingASessionEndsThePullUp()
    {
        DriverRig rig(
            StartUp + QStringLiteral("> 3F 85 85 95 85 85 85 95 87 < 3E 84 84 97 84 84 84 97 84 > F1 < EC"));
        const int32_t session = rig.driver->XwExtendedStartSession(Port, xw::PortTypeKA7700, 0);
        QVERIFY(session > 0);
        rig.driver->XwOneWireLevel(session, 0, 1, 2);
        QCOMPARE(rig.driver->XwTouchByte(session, 0x44), static_cast<int16_t>(0x44));
        QCOMPARE(rig.driver->XwEndSession(session), static_cast<int16_t>(1));
        QVERIFY(!rig.port->open);
        QVERIFY2(rig.script->finished(), qPrintable(rig.script->mismatch()));
    }

    void devicePaths_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("mapped");
        QTest::addColumn<QString>("path");
#ifdef Q_OS_WIN
        QTest::newRow("COM1") << 1 << QString() << "COM1";
        QTest::newRow("COM12") << 12 << QString() << "COM12";
#else
        QTest::newRow("COM1") << 1 << QString() << "/dev/ttyS0";
        QTest::newRow("COM12") << 12 << QString() << "/dev/ttyS11";
#endif
        QTest::newRow("mapped") << 1 << "/dev/ttyUSB0"
                                << "/dev/ttyUSB0";
        QTest::newRow("port 0") << 0 << QString() << QString();
        QTest::newRow("negative port") << -3 << QString() << QString();
        QTest::newRow("negative port mapped") << -3 << "/dev/ttyUSB1"
                                              << "/dev/ttyUSB1";
    }
    void devicePaths()
    {
        QFETCH(int, port);
        QFETCH(QString, mapped);
        QFETCH(QString, path);
        serial::PortMap map;
        if (!mapped.isEmpty())
            map[static_cast<int16_t>(port)] = mapped;
        map[99] = QStringLiteral("/dev/elsewhere");
        QCOMPARE(serial::devicePath(map, static_cast<int16_t>(port)), path);
    }

    void comMappings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port"); // 0: refused
        QTest::addColumn<QString>("device");
        QTest::newRow("usb adapter") << "1=/dev/ttyUSB0" << 1 << "/dev/ttyUSB0";
        QTest::newRow("high port") << "32767=/dev/pts/3" << 32767 << "/dev/pts/3";
        QTest::newRow("equals in the path") << "2=/tmp/a=b" << 2 << "/tmp/a=b";
        QTest::newRow("port 0") << "0=/dev/ttyS0" << 0 << QString();
        QTest::newRow("port too high") << "32768=/dev/ttyS0" << 0 << QString();
        QTest::newRow("no device") << "1=" << 0 << QString();
        QTest::newRow("no port") << "=/dev/ttyS0" << 0 << QString();
        QTest::newRow("no equals") << "/dev/ttyS0" << 0 << QString();
        QTest::newRow("port not a number") << "one=/dev/ttyS0" << 0 << QString();
    }
    void comMappings()
    {
        QFETCH(QString, text);
        QFETCH(int, port);
        QFETCH(QString, device);
        const auto mapping = serial::parseComMapping(text);
        QCOMPARE(mapping.has_value(), port != 0);
        if (mapping) {
            QCOMPARE(static_cast<int>(mapping->first), port);
            QCOMPARE(mapping->second, device);
        }
    }

    void randomAnswersNeitherCrashNorHang_data()
    {
        QTest::addColumn<unsigned>("seed");
        for (unsigned seed : {1U, 7U, 42U, 1234U, 99991U})
            QTest::addRow("seed %u", seed) << seed;
    }
    void randomAnswersNeitherCrashNorHang()
    {
        QFETCH(unsigned, seed);
        std::mt19937 random(seed);
        auto port = std::make_shared<PortState>();
        port->responder = [&random](const QByteArray &written) { return fuzzedAnswer(random, written); };
        serial::SerialLink link(std::make_unique<ScriptedPort>(port), QStringLiteral("/dev/ttyKA0"));
        int opened = 0;
        int succeeded = 0;
        for (int call = 0; call < 1500; ++call) {
            const auto waitedBefore = port->waited;
            bool ok = true;
            switch (random() % 8) {
            case 0:
                ok = link.reset() != onewire::ResetResult::IoError;
                break;
            case 1:
                ok = link.touchBit(random() % 2).has_value();
                break;
            case 2:
            case 3:
                ok = link.touchByte(static_cast<uint8_t>(random() % 2 ? 0xE3 : random() & 0xFF)).has_value();
                break;
            case 4:
                ok = link.setLevel(
                    random() % 2 ? onewire::BusLevel::Normal : onewire::BusLevel::StrongPullUpAfterNextByte);
                break;
            case 5: {
                std::array<bool, 64> directions {};
                for (bool &direction : directions)
                    direction = random() % 2;
                ok = link.searchPass(directions).has_value();
                break;
            }
            default:
                link.close();
                ok = link.open();
                opened += ok;
                break;
            }
            succeeded += ok;
            QVERIFY2(port->waited - waitedBefore < std::chrono::seconds(1),
                qPrintable(QStringLiteral("call %1 waited %2 ms")
                               .arg(call)
                               .arg((port->waited - waitedBefore).count())));
        }
        // The answers must have let the driver get somewhere, or the fuzz only tried the start-up.
        QVERIFY(opened > 0);
        QVERIFY(succeeded > 100);
    }
};

QTEST_GUILESS_MAIN(TestSerialDriver)
#include "tst_serialdriver.moc"
