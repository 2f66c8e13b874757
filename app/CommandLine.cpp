// Parses the command line: every option group reads its own options, in the order --help lists them.
#include "app/CommandLine.h"

#include "app/AlarmAndWriteOptions.h"
#include "app/ChartOptions.h"
#include "app/ConsoleOptions.h"
#include "app/DriverOptions.h"
#include "app/FormatOption.h"
#include "app/MqttOptions.h"

#include <QCommandLineParser>

namespace app {

namespace {

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

QString readMqtt(const QCommandLineParser &parser, CommandLineOptions &options)
{
    auto mqtt = readMqttOptions(parser);
    if (!mqtt)
        return mqtt.failure();
    options.mqtt = *std::move(mqtt);
    if (options.mqtt)
        options.mqtt->simulatedBus = options.simulate;
    return QString();
}

// Read after the chart options, which it excludes.
QString readHttp(
    const QCommandLineParser &parser, const QCommandLineOption &http, CommandLineOptions &options)
{
    if (!parser.isSet(http))
        return QString();
    const auto endpoint = parseHttpEndpoint(parser.values(http).last());
    if (!endpoint)
        return endpoint.failure();
    options.http = *endpoint;
    if (options.chartPath || options.plotPath)
        return QStringLiteral("--http serves a run: not with --chart or --plot.");
    return QString();
}

// Every option of the program, in the order --help lists them.
struct AllOptions
{
    DriverOptions driver;
    ConsoleOptions console;
    QCommandLineOption format = formatOption();
    QCommandLineOption http = httpOption();
    ChartOptions chart;
    AlarmAndWriteOptions alarmAndWrite;
    QCommandLineOption help {QStringList {QStringLiteral("h"), QStringLiteral("help")},
        QStringLiteral("Show this help and exit.")};
    QCommandLineOption version {QStringList {QStringLiteral("v"), QStringLiteral("version")},
        QStringLiteral("Show the version and exit.")};

    void addTo(QCommandLineParser &parser) const
    {
        parser.addOptions(driver.all());
        parser.addOptions(console.all());
        parser.addOption(format);
        addMqttOptions(parser);
        parser.addOption(http);
        parser.addOptions(chart.all());
        parser.addOptions(alarmAndWrite.all());
        parser.addOptions({help, version});
    }

    // The failure text of the first group that fails, or empty.
    QString read(const QCommandLineParser &parser, const QStringList &simulateValues,
        CommandLineOptions &options) const
    {
        if (QString error = readDriverOptions(parser, driver, simulateValues, options); !error.isEmpty())
            return error;
        if (QString error = readConsoleOptions(parser, console, options); !error.isEmpty())
            return error;
        if (QString error = readFormatOption(parser, format, options); !error.isEmpty())
            return error;
        if (QString error = readMqtt(parser, options); !error.isEmpty())
            return error;
        if (QString error = readChartOptions(parser, chart, options); !error.isEmpty())
            return error;
        if (QString error = readAlarmAndWriteOptions(parser, alarmAndWrite, options); !error.isEmpty())
            return error;
        return readHttp(parser, http, options);
    }
};

} // namespace

CommandLineResult parseCommandLine(const QStringList &arguments)
{
    QStringList simulateValues;
    const QStringList rest = splitSimulate(arguments, simulateValues);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Logs temperatures from KX4136 and KX4130 1-Wire thermometers\non a KA7700 serial adapter."));
    const AllOptions options;
    options.addTo(parser);
    if (!parser.parse(rest))
        return fail(parser.errorText() + QStringLiteral(" Try --help."));
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("Unexpected argument '%1'. Try --help.")
                        .arg(parser.positionalArguments().first()));
    if (parser.isSet(options.help)) {
        // The parser names the program by the path it was started with.
        QString text = parser.helpText();
        return print(text.replace(
            0, text.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: kx4136-logger [options]")));
    }
    if (parser.isSet(options.version))
        return print(QStringLiteral("kx4136-logger %1\n").arg(QStringLiteral(KX_VERSION)));

    CommandLineResult result;
    if (const QString error = options.read(parser, simulateValues, result.options); !error.isEmpty())
        return fail(error);
    return result;
}

} // namespace app
