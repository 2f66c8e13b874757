// Byte traces of the KA7700 adapter that the serial, emulator and contract tests share: hex texts, bytes
// apart.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace serialtest {

// The parameter writes with the detection checks, and the adapter's answer to them.
inline const QString SetupRequest = QStringLiteral("17 45 5B 0F 91");
inline const QString SetupAnswer = QStringLiteral("16 44 5A 00 93");

// In the form Script reads: break, timing byte, the setup block, and a reset that finds devices.
inline const QString StartUp = QStringLiteral("! > C1 %1 < %2 > C5 < CD ").arg(SetupRequest, SetupAnswer);
// What comes before the start-up once a call has failed: leave data mode, end a pulse, accelerator off.
inline const QString Resync = QStringLiteral("> E3 F1 A5 ");
// The start-up when the adapter may be at another rate: a 00 at 4800 baud after the break.
inline const QString StartUpAnyRate
    = QString(StartUp).replace(QStringLiteral("! >"), QStringLiteral("! > 00"));
// The switch to 115200 with its checks; the answer to the rate write is lost in the change.
inline const QString To115200 = QStringLiteral("> 77 0F < 06 > C5 < CD ");

// The devices of the search traces, in the order the search finds them.
inline const QString RomB = QStringLiteral("28 0C 0D 0E 0F 00 00 C5");
inline const QString RomC = QStringLiteral("28 3C 2C 1B 0A 00 00 91");
inline const QString RomA = QStringLiteral("28 3D 2C 1B 0A 00 00 A6");

// One pass of the accelerated search after a reset: data mode, search ROM, accelerator on, the 16
// request bytes, accelerator off. The answer echoes F0, then 16 bytes of id bits and discrepancies.
inline QString searchRequest(const QString &directions)
{
    return QStringLiteral("E1 F0 E3 B5 E1 %1 E3 A5").arg(directions);
}

struct SearchPass
{
    QString request; // the directions, 16 bytes
    QString answer;
};

inline QString zeroBytes(int count)
{
    return QStringLiteral("00 ").repeated(count).trimmed();
}

// The passes on a bus of RomB and RomA, and on one of RomB, RomC and RomA.
inline const QList<SearchPass> TwoDevicePasses {
    {zeroBytes(16), QStringLiteral("80 08 A1 00 A2 00 A8 00 AA 00 00 00 00 00 22 A0")},
    {QStringLiteral("80 08 02 ") + zeroBytes(13),
        QStringLiteral("80 08 A3 0A A0 08 8A 02 88 00 00 00 00 00 28 88")},
};
inline const QList<SearchPass> ThreeDevicePasses {
    {zeroBytes(16), QStringLiteral("80 08 A1 01 A2 00 A8 00 AA 00 00 00 00 00 22 A0")},
    {QStringLiteral("80 08 A0 02 ") + zeroBytes(12),
        QStringLiteral("80 08 A1 0B A0 08 8A 02 88 00 00 00 00 00 02 82")},
    TwoDevicePasses[1],
};

// A run of data-mode bytes as one call per byte: each byte (with a leading E1, or doubled when it is E3)
// is followed by its answer.
inline QString dataCalls(const QString &sent, const QString &answers)
{
    const QStringList bytes = sent.split(u' ', Qt::SkipEmptyParts);
    const QStringList answered = answers.split(u' ', Qt::SkipEmptyParts);
    QString trace;
    QString chunk;
    qsizetype next = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        chunk += bytes[i] + u' ';
        if (bytes[i] == u"E1" && i == 0)
            continue;
        if (bytes[i] == u"E3" && i + 1 < bytes.size() && bytes[i + 1] == u"E3")
            chunk += bytes[++i] + u' ';
        trace += QStringLiteral("> %1< %2 ").arg(chunk, answered.value(next++));
        chunk.clear();
    }
    return trace;
}

} // namespace serialtest
