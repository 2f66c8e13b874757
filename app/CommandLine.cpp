// Parses the command line; --simulate takes an optional value, which the parser alone cannot express.
#include "app/CommandLine.h"

#include <QCommandLineParser>

namespace {

constexpr int maxSimulatedSensors = 40;
constexpr int maxComPort = 255;
constexpr int badUsage = 2;

const char helpText[]
    = "Usage: kx4136-logger [options]\n"
      "Logs temperatures from KX4136 and KX4130 1-Wire thermometers on a KA7700 serial adapter.\n"
      "\n"
      "Options:\n"
      "  --simulate[=N]   Use a simulated bus on COM port 1 instead of the adapter: three\n"
      "                   demo sensors, or N KX4136 sensors (N from 1 to 40).\n"
      "                   \"--simulate N\" is read as \"--simulate=N\".\n"
      "  --com N=DEVICE   Use the serial device DEVICE for COM port N (1 to 255); may be\n"
      "                   repeated. Unmapped ports use COMn on Windows, /dev/ttyS<n-1>\n"
      "                   elsewhere.\n"
      "  -h, --help       Show this help and exit.\n"
      "  -v, --version    Show the version and exit.\n";

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
            && !arguments[i + 1].startsWith(QLatin1Char('-'))) {
            values << arguments[++i];
            rest << argument;
        } else {
            rest << argument;
        }
    }
    return rest;
}

bool parseNumber(const QString &text, int lowest, int highest, int &number)
{
    bool ok = false;
    number = text.toInt(&ok, 10);
    return ok && number >= lowest && number <= highest;
}

} // namespace

CommandLineResult parseCommandLine(const QStringList &arguments)
{
    QStringList simulateValues;
    const QStringList rest = splitSimulate(arguments, simulateValues);

    QCommandLineParser parser;
    const QCommandLineOption simulate(QStringLiteral("simulate"));
    const QCommandLineOption com(QStringLiteral("com"), QString(), QStringLiteral("N=DEVICE"));
    const QCommandLineOption help(QStringList {QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList {QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({simulate, com, help, version});
    if (!parser.parse(rest))
        return fail(parser.errorText() + QStringLiteral(" Try --help."));
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("Unexpected argument '%1'. Try --help.")
                        .arg(parser.positionalArguments().first()));
    if (parser.isSet(help))
        return print(QString::fromLatin1(helpText));
    if (parser.isSet(version))
        return print(QStringLiteral("kx4136-logger %1\n").arg(QStringLiteral(KX_VERSION)));

    CommandLineResult result;
    const auto simulateCount = parser.optionNames().count(QStringLiteral("simulate"));
    if (simulateCount > 1)
        return fail(QStringLiteral("--simulate is given more than once."));
    result.options.simulate = simulateCount == 1;
    if (!simulateValues.isEmpty()
        && !parseNumber(simulateValues.first(), 1, maxSimulatedSensors, result.options.simulatedSensors))
        return fail(QStringLiteral("--simulate takes a sensor count from 1 to %1, not '%2'.")
                        .arg(maxSimulatedSensors)
                        .arg(simulateValues.first()));

    for (const QString &mapping : parser.values(com)) {
        const auto equals = mapping.indexOf(QLatin1Char('='));
        int port = 0;
        if (equals < 0 || !parseNumber(mapping.left(equals), 1, maxComPort, port)
            || equals + 1 == mapping.size())
            return fail(QStringLiteral("--com takes N=DEVICE with N from 1 to %1, not '%2'.")
                            .arg(maxComPort)
                            .arg(mapping));
        if (result.options.comPorts.count(int16_t(port)) != 0)
            return fail(QStringLiteral("--com names COM port %1 more than once.").arg(port));
        result.options.comPorts[int16_t(port)] = mapping.mid(equals + 1);
    }
    return result;
}
