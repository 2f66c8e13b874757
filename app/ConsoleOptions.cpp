// The options of the run without a window: --console and its settings.
#include "app/ConsoleOptions.h"

#include "app/OptionValues.h"
#include "logging/LogPaths.h"

#include <limits>

namespace app {

ConsoleOptions::ConsoleOptions()
    : console(QStringLiteral("console"),
        QStringLiteral("Run without a window: start at once, print the devices and every reading cycle, "
                       "stop on SIGINT or SIGTERM."))
    , port(QStringLiteral("port"),
          QStringLiteral("Console: COM port number, 1 to %1 (default 1).").arg(MaxComPort),
          QStringLiteral("N"))
    , interval(QStringLiteral("interval"),
          QStringLiteral("Console: reading interval in seconds (default 5), with a dot as decimal separator "
                         "in any language: 1.5, not 1,5."),
          QStringLiteral("S"))
    , delay(QStringLiteral("delay"),
          QStringLiteral("Console: 1-wire delay in milliseconds (default 500), also with a dot."),
          QStringLiteral("MS"))
    , log(QStringLiteral("log"),
          QStringLiteral("Console: log file (default %1, %2 with --simulate).")
              .arg(homeShort(logging::defaultLogPath(logging::LogBus::Adapter)),
                  homeShort(logging::defaultLogPath(logging::LogBus::Simulated))),
          QStringLiteral("PATH"))
    , noLog(QStringLiteral("no-log"), QStringLiteral("Console: do not write the log file."))
    , cycles(QStringLiteral("cycles"),
          QStringLiteral("Console: stop after N reading cycles; 0 ends after START, with no reading and no "
                         "log (default: until stopped)."),
          QStringLiteral("N"))
{ }

QString readConsoleOptions(
    const QCommandLineParser &parser, const ConsoleOptions &o, CommandLineOptions &options)
{
    options.console = parser.isSet(o.console);
    if (!options.console) {
        for (const QCommandLineOption &setting : o.settings())
            if (parser.isSet(setting))
                return QStringLiteral("--%1 needs --console.").arg(setting.names().first());
        return QString();
    }
    if (parser.isSet(o.log) && parser.isSet(o.noLog))
        return QStringLiteral("--log and --no-log exclude each other.");
    if (parser.isSet(o.port)) {
        // Stricter than the window's field, which takes any number and rounds it: a port on the command
        // line is named by its number.
        const auto port = parseNumber(parser.values(o.port).last(), 1, MaxComPort);
        if (!port)
            return QStringLiteral("Wrong COM port number.");
        options.port = QString::number(*port);
    }
    if (parser.isSet(o.interval))
        options.interval = parser.values(o.interval).last();
    if (parser.isSet(o.delay))
        options.delay = parser.values(o.delay).last();
    if (parser.isSet(o.log))
        options.logPath = parser.values(o.log).last();
    options.log = !parser.isSet(o.noLog);
    if (parser.isSet(o.cycles)) {
        const QString cycles = parser.values(o.cycles).last();
        const auto count = parseNumber(cycles, 0, std::numeric_limits<int>::max());
        if (!count)
            return QStringLiteral("--cycles takes a count of at least 0, not '%1'.").arg(cycles);
        options.cycles = *count;
        options.startOnly = options.cycles == 0;
        if (options.startOnly && parser.isSet(o.log))
            return QStringLiteral("--cycles 0 reads nothing, so it writes no log: leave out --log.");
        options.log = options.log && !options.startOnly;
    }
    return QString();
}

} // namespace app
