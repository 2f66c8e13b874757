// The options --set-resolution and --alarm-command, and how --cycles 0 goes with them.
#pragma once

#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace app {

struct AlarmAndWriteOptions
{
    QCommandLineOption setResolution {QStringLiteral("set-resolution"),
        QStringLiteral(
            "Console: after START, write resolution BITS (9 to 12) into sensor INDEX as \"Write to "
            "sensor\" does, keeping its alarm bytes; may be repeated. With --cycles 0 the "
            "run ends after the writes."),
        QStringLiteral("INDEX=BITS")};
    QCommandLineOption alarmCommand {QStringLiteral("alarm-command"),
        QStringLiteral("Run CMD on each change of a sensor's alarm state, with KX4136_ROM, KX4136_NAME, "
                       "KX4136_STATE, KX4136_READING, KX4136_LIMIT and KX4136_TIME in its environment; "
                       "not through a shell (write sh -c '...' for one)."),
        QStringLiteral("CMD")};

    QList<QCommandLineOption> all() const { return {setResolution, alarmCommand}; }
};

// Reads both into `options`, whose console settings are read already; the failure text, or empty.
QString readAlarmAndWriteOptions(
    const QCommandLineParser &parser, const AlarmAndWriteOptions &o, CommandLineOptions &options);

} // namespace app
