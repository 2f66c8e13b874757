// The options of the bus: --simulate, --com, --baud, --convert-all and --sensors.
#include "app/DriverOptions.h"

#include "app/DriverChoice.h"
#include "app/OptionValues.h"
#include "driver/serial/Ka7700.h"
#include "driver/serial/PortMap.h"
#include "driver/sim/SimulatedDriver.h"

#include <algorithm>

namespace app {

namespace {

// A word that starts with a dash but goes on with a digit is a (wrong) count, not an option.
bool isOption(const QString &argument)
{
    return argument.startsWith(QLatin1Char('-')) && !(argument.size() > 1 && argument[1].isDigit());
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

QString readSimulate(
    const QCommandLineParser &parser, const QStringList &simulateValues, CommandLineOptions &options)
{
    const auto simulateCount = parser.optionNames().count(QStringLiteral("simulate"));
    if (simulateCount > 1)
        return QStringLiteral("--simulate is given more than once.");
    options.simulate = simulateCount == 1;
    if (simulateValues.isEmpty())
        return QString();
    const auto count = parseNumber(simulateValues.first(), 1, sim::MaxSimulatedSensors);
    if (!count)
        return QStringLiteral("--simulate takes a sensor count from 1 to %1, not '%2'.")
            .arg(sim::MaxSimulatedSensors)
            .arg(simulateValues.first());
    options.simulatedSensors = *count;
    return QString();
}

QString readComPorts(const QCommandLineParser &parser, const DriverOptions &o, CommandLineOptions &options)
{
    for (const QString &mapping : parser.values(o.com)) {
        const auto parsed = serial::parseComMapping(mapping);
        if (!parsed || parsed->first > MaxComPort)
            return QStringLiteral("--com takes N=DEVICE with N from 1 to %1, not '%2'.")
                .arg(MaxComPort)
                .arg(mapping);
        if (options.comPorts.count(parsed->first) != 0)
            return QStringLiteral("--com names COM port %1 more than once.").arg(parsed->first);
        options.comPorts.insert(*parsed);
    }
    return QString();
}

} // namespace

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

// The parser sees a bare --simulate only, so the value forms are told in the description.
DriverOptions::DriverOptions()
    : simulate(QStringLiteral("simulate"),
        QStringLiteral("Use a simulated bus on COM port 1 instead of the adapter: three demo sensors, or N "
                       "KX4136 sensors (N from 1 to %1) as --simulate=N or --simulate N.")
            .arg(sim::MaxSimulatedSensors))
    , com(QStringLiteral("com"),
          QStringLiteral(
              "Use the serial device DEVICE for COM port N (1 to %1); may be repeated. Ports it does not "
              "map are looked up in %2 (N=DEVICE lines, read at every START), else use COMn on Windows, "
              "/dev/ttyS<n-1> elsewhere.")
              .arg(MaxComPort)
              .arg(homeShort(defaultPortsFilePath())),
          QStringLiteral("N=DEVICE"))
    , baud(QStringLiteral("baud"),
          QStringLiteral(
              "Switch the adapter to RATE once found: %1 (default 115200); a rate that fails falls "
              "back to 9600.")
              .arg(adapterRatesText()),
          QStringLiteral("RATE"))
    , convertAll(QStringLiteral("convert-all"),
          QStringLiteral("Convert all sensors at once: one conversion for the whole bus, then one read per "
                         "sensor, instead of a conversion per sensor (window and console)."))
    , sensors(QStringLiteral("sensors"),
          QStringLiteral(
              "Read the sensors' names and alarm limits from FILE (window, console, --chart, --plot); "
              "default $XDG_CONFIG_HOME/kx4136-logger/sensors.ini."),
          QStringLiteral("FILE"))
{ }

QString readDriverOptions(const QCommandLineParser &parser, const DriverOptions &o,
    const QStringList &simulateValues, CommandLineOptions &options)
{
    if (QString error = readSimulate(parser, simulateValues, options); !error.isEmpty())
        return error;
    if (QString error = readComPorts(parser, o, options); !error.isEmpty())
        return error;
    if (parser.isSet(o.baud)) {
        const QString rate = parser.values(o.baud).last();
        const auto &rates = serial::ka7700::AdapterRates;
        bool number = false;
        options.baud = rate.toInt(&number);
        if (!number || std::find(rates.begin(), rates.end(), options.baud) == rates.end())
            return QStringLiteral("--baud takes %1, not '%2'.").arg(adapterRatesText(), rate);
    }
    options.convertAll = parser.isSet(o.convertAll);
    if (parser.isSet(o.sensors)) {
        options.sensorsPath = parser.values(o.sensors).last();
        return specialFileError(o.sensors.names().first(), options.sensorsPath);
    }
    return QString();
}

} // namespace app
