// Parses the command line; --simulate takes an optional value, which the parser alone cannot express.
#include "app/CommandLine.h"

#include "app/AlarmAndWriteOptions.h"
#include "app/ChartOptions.h"
#include "app/DriverChoice.h"
#include "app/FormatOption.h"
#include "driver/serial/Ka7700.h"
#include "driver/serial/PortMap.h"
#include "driver/sim/SimulatedDriver.h"
#include "logging/FileAccess.h"
#include "logging/LogFile.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <algorithm>
#include <limits>

namespace {

constexpr int maxComPort = 255;
constexpr int badUsage = 2;

CommandLineResult fail(const QString &message)
{
    CommandLineResult result;
    result.action = CommandLineResult::Action::Fail;
    result.text = message;
    result.exitCode = badUsage;
    return result;
}

CommandLineResult print(const QString &text)
{
    CommandLineResult result;
    result.action = CommandLineResult::Action::Print;
    result.text = text;
    return result;
}

// A word that starts with a dash but goes on with a digit is a (wrong) count, not an option.
bool isOption(const QString &argument)
{
    return argument.startsWith(QLatin1Char('-')) && !(argument.size() > 1 && argument[1].isDigit());
}

// Takes the --simulate forms out of the arguments, leaving a bare --simulate for the parser to count.
// A value is "--simulate=N" or, since the program takes no other arguments, the word after "--simulate".
QStringList splitSimulate(const QStringList &arguments, QStringList &values)
{
    QStringList rest {arguments.value(0)};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--")) {
            rest << arguments.mid(i);
            break;
        }
        if (argument.startsWith(QLatin1String("--simulate="))) {
            values << argument.mid(argument.indexOf(QLatin1Char('=')) + 1);
            rest << QStringLiteral("--simulate");
        } else if (argument == QLatin1String("--simulate") && i + 1 < arguments.size()
            && !isOption(arguments[i + 1])) {
            values << arguments[++i];
            rest << argument;
        } else {
            rest << argument;
        }
    }
    return rest;
}

// "~/KX4136_log.txt" rather than the full path of whoever asked for the help.
QString homeShort(const QString &path)
{
    const QString home = logging::homeFolder();
    return !home.isEmpty() && path.startsWith(home + u'/') ? u'~' + path.mid(home.size()) : path;
}

struct ConsoleOptions
{
    QCommandLineOption console {QStringLiteral("console"),
        QStringLiteral("Run without a window: start at once, print the devices and every reading cycle, "
                       "stop on SIGINT or SIGTERM.")};
    QCommandLineOption port {QStringLiteral("port"),
        QStringLiteral("Console: COM port number, 1 to %1 (default 1).").arg(maxComPort),
        QStringLiteral("N")};
    QCommandLineOption interval {QStringLiteral("interval"),
        QStringLiteral("Console: reading interval in seconds (default 5), with a dot as decimal separator "
                       "in any language: 1.5, not 1,5."),
        QStringLiteral("S")};
    QCommandLineOption delay {QStringLiteral("delay"),
        QStringLiteral("Console: 1-wire delay in milliseconds (default 500), also with a dot."),
        QStringLiteral("MS")};
    QCommandLineOption log {QStringLiteral("log"),
        QStringLiteral("Console: log file (default %1, %2 with --simulate).")
            .arg(homeShort(logging::defaultLogPath(logging::LogBus::Adapter)),
                homeShort(logging::defaultLogPath(logging::LogBus::Simulated))),
        QStringLiteral("PATH")};
    QCommandLineOption noLog {
        QStringLiteral("no-log"), QStringLiteral("Console: do not write the log file.")};
    QCommandLineOption cycles {QStringLiteral("cycles"),
        QStringLiteral("Console: stop after N reading cycles; 0 ends after START, with no reading and no "
                       "log (default: until stopped)."),
        QStringLiteral("N")};

    QList<QCommandLineOption> all() const { return {console, port, interval, delay, log, noLog, cycles}; }
    QList<QCommandLineOption> settings() const { return {port, interval, delay, log, noLog, cycles}; }
};

// A failure to report, or nothing when the console options are fine. A repeated option: the last wins.
std::optional<CommandLineResult> readConsoleOptions(
    const QCommandLineParser &parser, const ConsoleOptions &o, CommandLineOptions &options)
{
    options.console = parser.isSet(o.console);
    if (!options.console) {
        for (const QCommandLineOption &setting : o.settings())
            if (parser.isSet(setting))
                return fail(QStringLiteral("--%1 needs --console.").arg(setting.names().first()));
        return std::nullopt;
    }
    if (parser.isSet(o.log) && parser.isSet(o.noLog))
        return fail(QStringLiteral("--log and --no-log exclude each other."));
    if (parser.isSet(o.port)) {
        // Stricter than the window's field, which takes any number and rounds it: a port on the command
        // line is named by its number.
        int port = 0;
        if (!parseNumber(parser.values(o.port).last(), 1, maxComPort, port))
            return fail(QStringLiteral("Wrong COM port number."));
        options.port = QString::number(port);
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
        if (!parseNumber(cycles, 0, std::numeric_limits<int>::max(), options.cycles))
            return fail(QStringLiteral("--cycles takes a count of at least 0, not '%1'.").arg(cycles));
        options.startOnly = options.cycles == 0;
        if (options.startOnly && parser.isSet(o.log))
            return fail(QStringLiteral("--cycles 0 reads nothing, so it writes no log: leave out --log."));
        options.log = options.log && !options.startOnly;
    }
    return std::nullopt;
}

// "9600, 19200, 57600 or 115200"
QString adapterRatesText()
{
    QStringList rates;
    for (const int rate : serial::ka7700::AdapterRates)
        rates << QString::number(rate);
    const QString last = rates.takeLast();
    return rates.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}

} // namespace

CommandLineResult parseCommandLine(const QStringList &arguments)
{
    QStringList simulateValues;
    const QStringList rest = splitSimulate(arguments, simulateValues);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Logs temperatures from KX4136 and KX4130 1-Wire thermometers\non a KA7700 serial adapter."));
    // The parser sees a bare --simulate only, so the value forms are told in the description.
    const QCommandLineOption simulate(QStringLiteral("simulate"),
        QStringLiteral("Use a simulated bus on COM port 1 instead of the adapter: three demo sensors, or N "
                       "KX4136 sensors (N from 1 to %1) as --simulate=N or --simulate N.")
            .arg(sim::MaxSimulatedSensors));
    const QCommandLineOption com(QStringLiteral("com"),
        QStringLiteral(
            "Use the serial device DEVICE for COM port N (1 to %1); may be repeated. Ports it does not "
            "map are looked up in %2 (N=DEVICE lines, read at every START), else use COMn on Windows, "
            "/dev/ttyS<n-1> elsewhere.")
            .arg(maxComPort)
            .arg(homeShort(defaultPortsFilePath())),
        QStringLiteral("N=DEVICE"));
    const QCommandLineOption baud(QStringLiteral("baud"),
        QStringLiteral("Switch the adapter to RATE once found: %1 (default 115200); a rate that fails falls "
                       "back to 9600.")
            .arg(adapterRatesText()),
        QStringLiteral("RATE"));
    const QCommandLineOption convertAll(QStringLiteral("convert-all"),
        QStringLiteral("Convert all sensors at once: one conversion for the whole bus, then one read per "
                       "sensor, instead of a conversion per sensor (window and console)."));
    const QCommandLineOption sensors(QStringLiteral("sensors"),
        QStringLiteral(
            "Read the sensors' names and alarm limits from FILE (window, console, --chart, --plot); "
            "default $XDG_CONFIG_HOME/kx4136-logger/sensors.ini."),
        QStringLiteral("FILE"));
    const QCommandLineOption help(QStringList {QStringLiteral("h"), QStringLiteral("help")},
        QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringList {QStringLiteral("v"), QStringLiteral("version")},
        QStringLiteral("Show the version and exit."));
    const ConsoleOptions console;
    const ChartOptions chart;
    const AlarmAndWriteOptions alarmAndWrite;
    parser.addOptions({simulate, com, baud, convertAll, sensors});
    parser.addOptions(console.all());
    const QCommandLineOption format = formatOption();
    parser.addOption(format);
    publish::addMqttOptions(parser);
    const QCommandLineOption http = httpOption();
    parser.addOption(http);
    parser.addOptions(chart.all());
    parser.addOptions(alarmAndWrite.all());
    parser.addOptions({help, version});
    if (!parser.parse(rest))
        return fail(parser.errorText() + QStringLiteral(" Try --help."));
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("Unexpected argument '%1'. Try --help.")
                        .arg(parser.positionalArguments().first()));
    if (parser.isSet(help)) {
        // The parser names the program by the path it was started with.
        QString text = parser.helpText();
        return print(text.replace(
            0, text.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: kx4136-logger [options]")));
    }
    if (parser.isSet(version))
        return print(QStringLiteral("kx4136-logger %1\n").arg(QStringLiteral(KX_VERSION)));

    CommandLineResult result;
    const auto simulateCount = parser.optionNames().count(QStringLiteral("simulate"));
    if (simulateCount > 1)
        return fail(QStringLiteral("--simulate is given more than once."));
    result.options.simulate = simulateCount == 1;
    if (!simulateValues.isEmpty()
        && !parseNumber(simulateValues.first(), 1, sim::MaxSimulatedSensors, result.options.simulatedSensors))
        return fail(QStringLiteral("--simulate takes a sensor count from 1 to %1, not '%2'.")
                        .arg(sim::MaxSimulatedSensors)
                        .arg(simulateValues.first()));

    for (const QString &mapping : parser.values(com)) {
        const auto parsed = serial::parseComMapping(mapping);
        if (!parsed || parsed->first > maxComPort)
            return fail(QStringLiteral("--com takes N=DEVICE with N from 1 to %1, not '%2'.")
                            .arg(maxComPort)
                            .arg(mapping));
        if (result.options.comPorts.count(parsed->first) != 0)
            return fail(QStringLiteral("--com names COM port %1 more than once.").arg(parsed->first));
        result.options.comPorts.insert(*parsed);
    }
    if (parser.isSet(baud)) {
        const QString rate = parser.values(baud).last();
        const auto &rates = serial::ka7700::AdapterRates;
        bool number = false;
        result.options.baud = rate.toInt(&number);
        if (!number || std::find(rates.begin(), rates.end(), result.options.baud) == rates.end())
            return fail(QStringLiteral("--baud takes %1, not '%2'.").arg(adapterRatesText(), rate));
    }
    result.options.convertAll = parser.isSet(convertAll);
    if (parser.isSet(sensors)) {
        result.options.sensorsPath = parser.values(sensors).last();
        if (const QString error
            = publish::specialFileError(sensors.names().first(), result.options.sensorsPath);
            !error.isEmpty())
            return fail(error);
    }
    if (const auto failed = readConsoleOptions(parser, console, result.options))
        return *failed;
    if (const QString error = readFormatOption(parser, format, result.options); !error.isEmpty())
        return fail(error);
    QString mqttError;
    result.options.mqtt = publish::readMqttOptions(parser, mqttError);
    if (!mqttError.isEmpty())
        return fail(mqttError);
    if (result.options.mqtt)
        result.options.mqtt->simulatedBus = result.options.simulate;
    if (const QString error = readChartOptions(parser, chart, result.options); !error.isEmpty())
        return fail(error);
    if (const QString error = readAlarmAndWriteOptions(parser, alarmAndWrite, result.options);
        !error.isEmpty())
        return fail(error);
    if (parser.isSet(http)) {
        QString httpError;
        result.options.http = parseHttpEndpoint(parser.values(http).last(), httpError);
        if (!result.options.http)
            return fail(httpError);
        if (result.options.chartPath || result.options.plotPath)
            return fail(QStringLiteral("--http serves a run: not with --chart or --plot."));
    }
    return result;
}
