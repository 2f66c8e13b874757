// The KA7700 link against scripted adapters: the observed traces byte for byte, checks and recovery.
#include "ScriptedPort.h"
#include "common/AdapterTraces.h"
#include "driver/serial/SerialLink.h"

#include <QTest>

using namespace serialtest;
using onewire::BusLevel;
using onewire::ResetResult;

Q_DECLARE_METATYPE(serial::OpenResult)
Q_DECLARE_METATYPE(xw::StartFailure::Reason)

namespace {

struct Rig
{
    explicit Rig(const QString &trace, int baud = 9600)
        : port(scriptedState(trace, &script))
        , link(std::make_unique<ScriptedPort>(port), QStringLiteral("/dev/ttyKA0"), baud)
    { }

    std::shared_ptr<Script> script;
    std::shared_ptr<PortState> port;
    serial::SerialLink link;
};

QByteArray bytes(const QString &hexText)
{
    return QByteArray::fromHex(hexText.toLatin1());
}

// Sends `sent` one touchByte at a time and gives what came back, -1 for a failed byte.
QList<int> touchAll(serial::SerialLink &link, const QByteArray &sent)
{
    QList<int> got;
    for (const char byte : sent) {
        const auto answer = link.touchByte(static_cast<uint8_t>(byte));
        got += answer ? static_cast<int>(*answer) : -1;
    }
    return got;
}

QList<int> listOf(const QByteArray &values)
{
    QList<int> list;
    for (const char value : values)
        list += static_cast<int>(static_cast<uint8_t>(value));
    return list;
}

const QString ConvertPulledUp
    = QStringLiteral("> E3 3F 85 85 95 85 85 85 95 87 < 3E 84 84 97 84 84 84 97 84 ");

} // namespace

class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void openChecksTheAdapter_data()
    {
        QTest::addColumn<QString>("setupAnswer");
        QTest::addColumn<QString>("resetAnswer");
        QTest::addColumn<bool>("opens");
        const QString good = SetupAnswer;
        QTest::newRow("devices present") << good << "CD" << true;
        QTest::newRow("empty bus") << good << "CF" << true;
        QTest::newRow("shorted bus") << good << "CC" << true;
        QTest::newRow("earlier revision") << good << "C9" << true;
        QTest::newRow("parameter echoes wrong") << "14 46 58 00 93"
                                                << "CD" << false;
        QTest::newRow("another baud rate") << "16 44 5A 02 93"
                                           << "CD" << false;
        QTest::newRow("baud answer upper bit") << "16 44 5A 10 93"
                                               << "CD" << false;
        QTest::newRow("probe echo bit 4 flipped") << "16 44 5A 00 83"
                                                  << "CD" << false;
        QTest::newRow("probe bits disagree") << "16 44 5A 00 92"
                                             << "CD" << false;
        QTest::newRow("one answer missing") << "16 44 5A 00"
                                            << "CD" << false;
        QTest::newRow("one answer too many") << "16 44 5A 00 93 93"
                                             << "CD" << false;
        QTest::newRow("reset answer of another form") << good << "0D" << false;
        QTest::newRow("no reset answer") << good << "" << false;
        QTest::newRow("silent") << ""
                                << "" << false;
    }
    void openChecksTheAdapter()
    {
        QFETCH(QString, setupAnswer);
        QFETCH(QString, resetAnswer);
        QFETCH(bool, opens);
        Rig rig(QStringLiteral("! > C1 %1 < %2 > C5 < %3").arg(SetupRequest, setupAnswer, resetAnswer));
        QCOMPARE(rig.link.open(), opens);
        QCOMPARE(rig.port->open, opens);
        if (opens) {
            QVERIFY2(rig.script->finished(), qPrintable(rig.script->mismatch()));
        } else {
            QCOMPARE(rig.port->breaks, 3); // a fresh master reset for each attempt
            QVERIFY(rig.port->waited < std::chrono::seconds(1));
        }
    }

    void openFailsWithoutAPort_data()
    {
        using Reason = xw::StartFailure::Reason;
        QTest::addColumn<serial::OpenResult>("result");
        QTest::addColumn<Reason>("reason");
        QTest::newRow("no such device") << serial::OpenResult::NoSuchDevice << Reason::NoSuchDevice;
        QTest::newRow("permission denied")
            << serial::OpenResult::PermissionDenied << Reason::PermissionDenied;
        QTest::newRow("in use") << serial::OpenResult::InUse << Reason::InUse;
        QTest::newRow("not a serial line") << serial::OpenResult::Failed << Reason::NotSerial;
    }
    void openFailsWithoutAPort()
    {
        QFETCH(serial::OpenResult, result);
        QFETCH(xw::StartFailure::Reason, reason);
        Rig rig(StartUp);
        rig.port->openResult = result;
        QVERIFY(!rig.link.open());
        QCOMPARE(rig.link.openFailure(), reason);
        QVERIFY(rig.port->sent.isEmpty());
        QCOMPARE(rig.link.reset(), ResetResult::IoError);
    }

    void readAllTraceIsSentByteForByte()
    {
        const QString trace = StartUp + QStringLiteral("> C5 < CD ")
            + dataCalls("E1 55 " + RomB, "55 " + RomB) + ConvertPulledUp
            + QStringLiteral("> F1 < EC > C5 < CD ") + dataCalls("E1 55 " + RomB, "55 " + RomB)
            + dataCalls(QStringLiteral("BE FF FF FF FF FF FF FF FF FF"),
                QStringLiteral("BE CC FF 4B 46 7F FF 0C 10 2A"))
            + QStringLiteral("> E3 C5 < CD ") + dataCalls("E1 55 " + RomA, "55 " + RomA) + ConvertPulledUp
            + QStringLiteral("> F1 < EC > C5 < CD ") + dataCalls("E1 55 " + RomA, "55 " + RomA)
            + dataCalls(QStringLiteral("BE FF FF FF FF FF FF FF FF FF"),
                QStringLiteral("BE 58 01 4B 46 7F FF 0C 10 C2"));
        Rig rig(trace);
        QVERIFY(rig.link.open());
        const QByteArray nineReads(9, static_cast<char>(0xFF));
        const QList<QByteArray> scratchpads {
            bytes(QStringLiteral("CCFF4B467FFF0C102A")), bytes(QStringLiteral("58014B467FFF0C10C2"))};
        const QList<QByteArray> roms {bytes(RomB), bytes(RomA)};
        for (int sensor = 0; sensor < 2; ++sensor) {
            const QByteArray match = QByteArray(1, static_cast<char>(0x55)) + roms[sensor];
            QCOMPARE(rig.link.reset(), ResetResult::Presence);
            QCOMPARE(touchAll(rig.link, match), listOf(match));
            QVERIFY(rig.link.setLevel(BusLevel::StrongPullUpAfterNextByte));
            QCOMPARE(rig.link.touchByte(0x44), std::optional<uint8_t>(0x44));
            QVERIFY(rig.link.setLevel(BusLevel::Normal));
            QCOMPARE(rig.link.reset(), ResetResult::Presence);
            QCOMPARE(touchAll(rig.link, match), listOf(match));
            QCOMPARE(rig.link.touchByte(0xBE), std::optional<uint8_t>(0xBE));
            QCOMPARE(touchAll(rig.link, nineReads), listOf(scratchpads[sensor]));
        }
        QVERIFY2(rig.script->finished(), qPrintable(rig.script->mismatch()));
    }

    void blockGoesAsOneRequest_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("rom");
        QTest::addColumn<QString>("sentRom"); // escaped
        QTest::addColumn<QString>("scratchpad"); // empty: the adapter stops answering after two bytes
        const QString rom = RomA;
        const QString escaped = QStringLiteral("28 56 34 E3 12 00 00 DD");
        const QString pad = QStringLiteral("58 01 4B 46 7F FF 0C 10 C2");
        QTest::newRow("9600") << 9600 << rom << rom << pad;
        QTest::newRow("9600, escape byte in the code")
            << 9600 << escaped << "28 56 34 E3 E3 12 00 00 DD" << pad;
        QTest::newRow("115200") << 115200 << rom << rom << pad;
        QTest::newRow("115200, escape byte in the code")
            << 115200 << escaped << "28 56 34 E3 E3 12 00 00 DD" << pad;
        QTest::newRow("9600, answers stop") << 9600 << rom << rom << QString();
        QTest::newRow("115200, answers stop") << 115200 << rom << rom << QString();
    }
    void blockGoesAsOneRequest()
    {
        QFETCH(int, baud);
        QFETCH(QString, rom);
        QFETCH(QString, sentRom);
        QFETCH(QString, scratchpad);
        const QString reads = QStringLiteral(" FF").repeated(9);
        const QString sent = QStringLiteral("E1 55 %1 BE%2").arg(sentRom, reads);
        const QString answers = scratchpad.isEmpty() ? QStringLiteral("55 28")
                                                     : QStringLiteral("55 %1 BE %2").arg(rom, scratchpad);
        // At 9600 baud the answers come only once the whole block has gone, so a link that waited for
        // any of them fails; faster, no byte goes before the answer to the one two places back.
        const QString exchange = baud == 9600
            ? QStringLiteral("> %1 < %2").arg(sent, answers)
            : dataCalls(scratchpad.isEmpty() ? QStringLiteral("E1 55 28") : sent, answers);
        Rig rig(
            StartUp + (baud == 9600 ? QString() : To115200) + QStringLiteral("> C5 < CD ") + exchange, baud);
        QVERIFY(rig.link.open());
        QCOMPARE(rig.link.reset(), ResetResult::Presence);
        const QByteArray out = bytes(QStringLiteral("55") + rom + QStringLiteral("BE") + reads);
        QByteArray in(out.size(), '\0');
        const bool whole = rig.link.touchBlock(
            {reinterpret_cast<const uint8_t *>(out.constData()), static_cast<size_t>(out.size())},
            {reinterpret_cast<uint8_t *>(in.data()), static_cast<size_t>(in.size())});
        QCOMPARE(whole, !scratchpad.isEmpty());
        if (whole) {
            QCOMPARE(in, bytes(QStringLiteral("55") + rom + QStringLiteral("BE") + scratchpad));
            QVERIFY2(rig.script->finished(), qPrintable(rig.script->mismatch()));
        }
    }

    void romWithEscapeByteIsDoubled()
    {
        const QByteArray match = bytes(QStringLiteral("55285634E3120000DD"));
        Rig rig(StartUp + QStringLiteral("> C5 < CD ")
            + dataCalls(QStringLiteral("E1 55 28 56 34 E3 E3 12 00 00 DD"),
                QStringLiteral("55 28 56 34 E3 12 00 00 DD")));
        QVERIFY(rig.link.open());
        QCOMPARE(rig.link.reset(), ResetResult::Presence);
        QCOMPARE(touchAll(rig.link, match), listOf(match));
        QVERIFY2(rig.script->finished(), qPrintable(rig.script->mismatch()));
    }

    void resetResults_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<ResetResult>("result");
        QTest::newRow("presence") << "CD" << ResetResult::Presence;
        QTest::newRow("alarming presence") << "CE" << ResetResult::Presence;
        QTest::newRow("presence, 12 V available") << "ED" << ResetResult::Presence;
        QTest::newRow("no presence") << "CF" << ResetResult::NoPresence;
        QTest::newRow("shorted") << "CC" << ResetResult::Short;
        QTest::newRow("top bits not 11") << "8D" << ResetResult::IoError;
        QTest::newRow("missing") << "" << ResetResult::IoError;
    }
    void resetResults()
    {
        QFETCH(QString, answer);
        QFETCH(ResetResult, result);
        Rig rig(StartUp + QStringLiteral("> C5 < ") + answer);
        QVERIFY(rig.link.open());
        QCOMPARE(rig.link.reset(), result);
    }

    void touchBits_data()
    {
        QTest::addColumn<bool>("fromDataMode");
        QTest::addColumn<bool>("bit");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<int>("level"); // -1: the call fails
        QTest::newRow("write 0") << false << false << "85"
                                 << "84" << 0;
        QTest::newRow("read 1") << false << true << "95"
                                << "97" << 1;
        QTest::newRow("read 0") << false << true << "95"
                                << "94" << 0;
        QTest::newRow("from data mode") << true << true << "E3 95"
                                        << "97" << 1;
        QTest::newRow("echo of another command") << false << true << "95"
                                                 << "87" << -1;
        QTest::newRow("sampled bits disagree") << false << true << "95"
                                               << "96" << -1;
        QTest::newRow("no answer") << false << true << "95"
                                   << "" << -1;
    }
    void touchBits()
    {
        QFETCH(bool, fromDataMode);
        QFETCH(bool, bit);
        QFETCH(QString, sent);
        QFETCH(QString, answer);
        QFETCH(int, level);
        const QString before = fromDataMode ? QStringLiteral("> E1 CC < CC ") : QString();
        Rig rig(StartUp + before + QStringLiteral("> %1 < %2").arg(sent, answer));
        QVERIFY(rig.link.open());
        if (fromDataMode)
            QVERIFY(rig.link.touchByte(0xCC));
        const auto got = rig.link.touchBit(bit);
        QCOMPARE(got ? static_cast<int>(*got) : -1, level);
    }

    void failedCallIsNotRepeatedAndTheAdapterIsBroughtBack()
    {
        // The first reset goes unanswered; the next call starts from a fresh adapter.
        Rig rig(StartUp + QStringLiteral("> C5 ") + Resync + StartUp + QStringLiteral("> C5 < CD"));
        QVERIFY(rig.link.open());
        QCOMPARE(rig.link.reset(), ResetResult::IoError);
        QCOMPARE(rig.port->breaks, 1);
        QCOMPARE(rig.link.reset(), ResetResult::Presence);
        QVERIFY2(rig.script->finished(), qPrintable(rig.script->mismatch()));
    }

    void wrongPulseEndFailsAndEndsThePulseBeforeTheBreak()
    {
        Rig rig(StartUp + ConvertPulledUp.mid(QStringLiteral("> E3 ").size()).prepend(QStringLiteral("> "))
            + QStringLiteral("> F1 < 00 > F1 ") + Resync + StartUp + QStringLiteral("> C5 < CD"));
        QVERIFY(rig.link.open());
        QVERIFY(rig.link.setLevel(BusLevel::StrongPullUpAfterNextByte));
        QCOMPARE(rig.link.touchByte(0x44), std::optional<uint8_t>(0x44));
        QVERIFY(!rig.link.setLevel(BusLevel::Normal));
        QCOMPARE(rig.link.reset(), ResetResult::Presence);
        QVERIFY2(rig.script->finished(), qPrintable(rig.script->mismatch()));
    }

    void pulseEndAnswers_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("EC") << "EC" << true;
        QTest::newRow("E0") << "E0" << true;
        QTest::newRow("ED") << "ED" << true;
        QTest::newRow("repeated") << "EC EC" << true;
        QTest::newRow("00") << "00" << false;
        QTest::newRow("1C") << "1C" << false;
        QTest::newRow("6C") << "6C" << false;
        QTest::newRow("AC") << "AC" << false;
        QTest::newRow("CC") << "CC" << false;
        QTest::newRow("followed by another byte") << "EC CD" << false;
        QTest::newRow("missing") << "" << false;
    }
    void pulseEndAnswers()
    {
        QFETCH(QString, answer);
        QFETCH(bool, accepted);
        Rig rig(StartUp + QStringLiteral("> 3F 85 85 95 85 85 85 95 87 < 3E 84 84 97 84 84 84 97 84 > F1 < ")
            + answer);
        QVERIFY(rig.link.open());
        QVERIFY(rig.link.setLevel(BusLevel::StrongPullUpAfterNextByte));
        QVERIFY(rig.link.touchByte(0x44));
        QCOMPARE(rig.link.setLevel(BusLevel::Normal), accepted);
    }

    void runningPullUpEndsBeforeAnyOtherCommand()
    {
        Rig rig(StartUp + QStringLiteral("> 3F 85 85 95 85 85 85 95 87 < 3E 84 84 97 84 84 84 97 84 ")
            + QStringLiteral("> F1 C5 < EC CD"));
        QVERIFY(rig.link.open());
        QVERIFY(rig.link.setLevel(BusLevel::StrongPullUpAfterNextByte));
        QVERIFY(rig.link.touchByte(0x44));
        QCOMPARE(rig.link.reset(), ResetResult::Presence);
        QVERIFY2(rig.script->finished(), qPrintable(rig.script->mismatch()));
    }

    void strayByteBetweenCallsIsDropped()
    {
        Rig rig(StartUp + QStringLiteral("> 3F 85 85 95 85 85 85 95 87 < 3E 84 84 97 84 84 84 97 84 ")
            + QStringLiteral("> F1 < EC > C5 < CD"));
        QVERIFY(rig.link.open());
        QVERIFY(rig.link.setLevel(BusLevel::StrongPullUpAfterNextByte));
        QVERIFY(rig.link.touchByte(0x44));
        QVERIFY(rig.link.setLevel(BusLevel::Normal));
        rig.port->input += static_cast<char>(0xEC); // a second pulse-end byte, late
        QCOMPARE(rig.link.reset(), ResetResult::Presence);
    }

    void unpluggedAdapterFailsFastAndComesBack()
    {
        Rig rig(StartUp + Resync + StartUp + QStringLiteral("> C5 < CD"));
        QVERIFY(rig.link.open());
        rig.port->lost = true;
        rig.port->openResult = serial::OpenResult::NoSuchDevice;
        QCOMPARE(rig.link.reset(), ResetResult::IoError);
        QVERIFY(!rig.port->open);
        const auto waitedBefore = rig.port->waited;
        QCOMPARE(rig.link.touchByte(0xFF), std::nullopt);
        QCOMPARE(rig.port->waited, waitedBefore);

        rig.port->openResult = serial::OpenResult::Opened;
        QCOMPARE(rig.link.reset(), ResetResult::Presence);
        QCOMPARE(rig.port->opens, 2);
        QVERIFY2(rig.script->finished(), qPrintable(rig.script->mismatch()));
    }

    void rateChangeAndItsFallBacks_data()
    {
        QTest::addColumn<QString>("trace"); // after the start-up
        QTest::addColumn<int>("failedCalls"); // resets that fail before one that works
        QTest::addColumn<int>("baud");
        const QString back = Resync + StartUpAnyRate;
        QTest::newRow("switched") << To115200 + "> C5 < CD" << 0 << 115200;
        QTest::newRow("no answer at the new rate") << "> 77 0F " + back + "> C5 < CD" << 0 << 9600;
        QTest::newRow("wrong read-back") << "> 77 0F < 00 " + back + "> C5 < CD" << 0 << 9600;
        QTest::newRow("no reset answer at the new rate")
            << "> 77 0F < 06 > C5 " + back + "> C5 < CD" << 0 << 9600;
        QTest::newRow("one failed call keeps the rate")
            << To115200 + "> C5 " + back + To115200 + "> C5 < CD" << 1 << 115200;
        QTest::newRow("two failed calls end it")
            << To115200 + "> C5 " + back + To115200 + "> C5 " + back + "> C5 < CD" << 2 << 9600;
        QTest::newRow("no second try in the session")
            << "> 77 0F " + back + "> C5 " + Resync + StartUp + "> C5 < CD" << 1 << 9600;
    }
    void rateChangeAndItsFallBacks()
    {
        QFETCH(QString, trace);
        QFETCH(int, failedCalls);
        QFETCH(int, baud);
        Rig rig(StartUp + trace, 115200);
        QVERIFY(rig.link.open());
        for (int call = 0; call < failedCalls; ++call)
            QCOMPARE(rig.link.reset(), ResetResult::IoError);
        QCOMPARE(rig.link.reset(), ResetResult::Presence);
        QVERIFY2(rig.script->finished(), qPrintable(rig.script->mismatch()));
        QCOMPARE(rig.link.baudRate(), baud);
        QCOMPARE(rig.port->baud, baud);
    }

    void closeLeavesTheBusAtNormalLevel()
    {
        Rig rig(
            StartUp + QStringLiteral("> 3F 85 85 95 85 85 85 95 87 < 3E 84 84 97 84 84 84 97 84 > F1 < EC"));
        QVERIFY(rig.link.open());
        QVERIFY(rig.link.setLevel(BusLevel::StrongPullUpAfterNextByte));
        QVERIFY(rig.link.touchByte(0x44));
        rig.link.close();
        QVERIFY(!rig.port->open);
        QVERIFY2(rig.script->finished(), qPrintable(rig.script->mismatch()));
    }
};

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
