// Byte traces of the adapter shared by the serial tests, in the form Script reads.
#pragma once

#include <QString>
#include <QStringList>

namespace serialtest {

// Break, timing byte, parameters with the detection checks, and a reset that finds devices.
inline const QString StartUp = QStringLiteral("! > C1 17 45 5B 0F 91 < 16 44 5A 00 93 > C5 < CD ");
// What comes before the start-up once a call has failed: leave data mode, end a pulse, accelerator off.
inline const QString Resync = QStringLiteral("> E3 F1 A5 ");
// The start-up when the adapter may be at another rate: a 00 at 4800 baud after the break.
inline const QString StartUpAnyRate
    = QString(StartUp).replace(QStringLiteral("! >"), QStringLiteral("! > 00"));
// The switch to 115200 with its checks; the answer to the rate write is lost in the change.
inline const QString To115200 = QStringLiteral("> 77 0F < 06 > C5 < CD ");

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
