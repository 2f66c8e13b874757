// The CRC-8 table against a bit-by-bit CRC computed here, the CRC step, and the hexadecimal byte text.
#include "bus/modKX4136.h"
#include "bus/modTable.h"
#include "common/RecordingDriver.h"

#include <QTest>

using namespace modKX4136;
using Bytes8 = std::array<uint8_t, 8>;

class TestCrc : public QObject
{
    Q_OBJECT

private slots:
    void init() { resetModuleState(); }

    void tableMatchesBitwiseCrc()
    {
        for (int16_t index = 0; index < 256; ++index) {
            // x^8 + x^5 + x^4 + 1, least significant bit first: 0x8C.
            int crc = index;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? (crc >> 1) ^ 0x8C : crc >> 1;
            QCOMPARE(modTable::CrcTable(index), static_cast<uint8_t>(crc));
        }
    }

    void tableOutsideItsRangeGivesZero_data()
    {
        QTest::addColumn<int16_t>("index");
        QTest::newRow("-1") << int16_t {-1};
        QTest::newRow("256") << int16_t {256};
        QTest::newRow("lowest") << int16_t {-32768};
        QTest::newRow("highest") << int16_t {32767};
    }

    void tableOutsideItsRangeGivesZero()
    {
        QFETCH(int16_t, index);
        QCOMPARE(modTable::CrcTable(index), uint8_t {0});
    }

    void crcStep_data()
    {
        QTest::addColumn<int16_t>("before");
        QTest::addColumn<int16_t>("value");
        QTest::addColumn<int16_t>("after");
        QTest::newRow("from 0 with 1") << int16_t {0} << int16_t {1} << int16_t {0x5E};
        QTest::newRow("xor of both") << int16_t {0x5E} << int16_t {0x5F} << int16_t {0x5E};
        QTest::newRow("negative read leaves 0") << int16_t {0x12} << int16_t {-1} << int16_t {0};
        QTest::newRow("xor over all 16 bits") << int16_t {0x10} << int16_t {0x110} << int16_t {0};
    }

    void crcStep()
    {
        QFETCH(int16_t, before);
        QFETCH(int16_t, value);
        QFETCH(int16_t, after);
        CrcAcc = before;
        QCOMPARE(Crc8Step(value), static_cast<uint8_t>(after));
        QCOMPARE(CrcAcc, after);
    }

    void foldingConsistentBytesEndsAtZero_data()
    {
        QTest::addColumn<Bytes8>("bytes");
        QTest::newRow("power-on scratchpad") << Bytes8 {0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10};
        QTest::newRow("all zero") << Bytes8 {};
        QTest::newRow("all 0xFF") << Bytes8 {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    }

    void foldingConsistentBytesEndsAtZero()
    {
        QFETCH(Bytes8, bytes);
        const auto nine = testsupport::withCrc(bytes);
        CrcAcc = 0;
        for (int i = 0; i < 8; ++i)
            Crc8Step(nine[i]);
        QCOMPARE(Crc8Step(nine[8]), uint8_t {0});
        CrcAcc = 0;
        for (int i = 0; i < 8; ++i)
            Crc8Step(nine[i]);
        QVERIFY(Crc8Step(static_cast<int16_t>(nine[8] ^ 0x01)) != 0);
    }

    void hexByte_data()
    {
        QTest::addColumn<int16_t>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << int16_t {0} << QStringLiteral("00");
        QTest::newRow("one digit") << int16_t {10} << QStringLiteral("0A");
        QTest::newRow("upper case") << int16_t {171} << QStringLiteral("AB");
        QTest::newRow("255") << int16_t {255} << QStringLiteral("FF");
        QTest::newRow("256 keeps all digits") << int16_t {256} << QStringLiteral("100");
        QTest::newRow("largest") << int16_t {32767} << QStringLiteral("7FFF");
        QTest::newRow("-1 as two's complement") << int16_t {-1} << QStringLiteral("FFFF");
        QTest::newRow("-256") << int16_t {-256} << QStringLiteral("FF00");
        QTest::newRow("lowest") << int16_t {-32768} << QStringLiteral("8000");
    }

    void hexByte()
    {
        QFETCH(int16_t, value);
        QFETCH(QString, text);
        QCOMPARE(HexByte(value), text);
    }
};

QTEST_GUILESS_MAIN(TestCrc)
#include "tst_crc.moc"
