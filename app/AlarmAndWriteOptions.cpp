// Reads --set-resolution and --alarm-command.
#include "app/AlarmAndWriteOptions.h"

#include "app/AlarmCommand.h"

namespace app {

QString readAlarmAndWriteOptions(
    const QCommandLineParser &parser, const AlarmAndWriteOptions &o, CommandLineOptions &options)
{
    if (parser.isSet(o.alarmCommand)) {
        options.alarmCommand = parser.values(o.alarmCommand).last();
        if (!AlarmCommand::splitCommand(options.alarmCommand))
            return QStringLiteral("--alarm-command takes a program and its arguments (with every quote "
                                  "closed), not '%1'.")
                .arg(options.alarmCommand);
    }
    if (!parser.isSet(o.setResolution))
        return QString();
    if (!options.console)
        return QStringLiteral("--set-resolution needs --console.");
    for (const QString &value : parser.values(o.setResolution)) {
        const auto write = parseResolutionWrite(value);
        if (!write)
            return QStringLiteral("--set-resolution takes INDEX=BITS, INDEX from 0 to 31 and BITS from 9 to "
                                  "12, not '%1'.")
                .arg(value);
        options.resolutionWrites.append(*write);
    }
    return QString();
}

} // namespace app
