// The emulator's command line: the bus to carry, its timing and the faults to play.
#include "tools/ka7700-emulator/Options.h"

#include "driver/serial/Ka7700.h"
#include "driver/sim/SimulatedDriver.h"

#include <QCommandLineParser>

namespace emulator {

namespace {

using serial::ka7700::AdapterRates;
using sim::MaxSimulatedSensors;

constexpr int DemoDevices = 3;

// The options with their help texts, and a parser that knows them.
struct Definitions
{
    QCommandLineOption sensors {QStringLiteral("sensors"),
        QStringLiteral("Carry N KX4136 (0 to %1) instead of the demo bus of two KX4136 and one KX4130.")
            .arg(MaxSimulatedSensors),
        QStringLiteral("N")};
    QCommandLineOption byteTime {QStringLiteral("byte-time-us"),
        QStringLiteral("Take T microseconds for each byte on either line (default 0; 1042 is 9600 baud)."),
        QStringLiteral("T")};
    QCommandLineOption realTime {QStringLiteral("real-time"),
        QStringLiteral("Keep true time: each byte ten bit times at the adapter's rate, 1-Wire time for "
                       "each command (slot 70 us, reset 1.1 ms), one byte held while it works, more lost.")};
    QCommandLineOption latency {QStringLiteral("latency-ms"),
        QStringLiteral("Add L milliseconds before every answer, as a USB-serial bridge does (default 0)."),
        QStringLiteral("L")};
    QCommandLineOption silent {QStringLiteral("silent"), QStringLiteral("Never answer.")};
    QCommandLineOption silentAfter {QStringLiteral("silent-after"),
        QStringLiteral("Answer N bytes after power-up, then nothing."), QStringLiteral("N")};
    QCommandLineOption garbleEvery {QStringLiteral("garble-every"),
        QStringLiteral("Flip a bit in every Nth answer byte."), QStringLiteral("N")};
    QCommandLineOption resetAnswer {QStringLiteral("reset-answer"),
        QStringLiteral("Answer every reset with the byte HH (hexadecimal)."), QStringLiteral("HH")};
    QCommandLineOption pulseEnd {QStringLiteral("pulse-end"),
        QStringLiteral("End every pulse with the byte HH (hexadecimal)."), QStringLiteral("HH")};
    QCommandLineOption strayPulseEnd {
        QStringLiteral("stray-pulse-end"), QStringLiteral("Send every pulse-end byte twice.")};
    QCommandLineOption maxBaud {QStringLiteral("max-baud"),
        QStringLiteral("Carry nothing faster than RATE (9600, 19200, 57600 or 115200), as a poor "
                       "USB-serial bridge: bytes sent faster are lost."),
        QStringLiteral("RATE")};
    QCommandLineOption noHeldByte {QStringLiteral("no-held-byte"),
        QStringLiteral("With --real-time: lose every byte that arrives while the line driver works, "
                       "instead of holding one.")};
    QCommandLineOption badCrc {QStringLiteral("bad-crc"),
        QStringLiteral("Give device I (from 0, in the bus's order, not the search's) a wrong CRC byte "
                       "in every read."),
        QStringLiteral("I")};
    QCommandLineOption stuck {QStringLiteral("stuck"),
        QStringLiteral("Make device I never pull the line low: every byte it sends reads FF."),
        QStringLiteral("I")};
    QCommandLineOption deaf {QStringLiteral("deaf"),
        QStringLiteral("Make device I miss every reset, and so every transaction."), QStringLiteral("I")};
    QCommandLineOption noPresence {
        QStringLiteral("no-presence"), QStringLiteral("Unplug every device: resets find no presence pulse.")};
    QCommandLineOption shorted {QStringLiteral("short"), QStringLiteral("Hold the 1-Wire bus low.")};
    QCommandLineOption help {QStringList {QStringLiteral("h"), QStringLiteral("help")},
        QStringLiteral("Show this help and exit.")};
    QCommandLineParser parser;

    Definitions()
    {
        parser.setApplicationDescription(
            QStringLiteral("Prints the pseudo-terminal to open, then answers as a KA7700 adapter\n"
                           "until SIGINT or SIGTERM."));
        parser.addOptions(
            {sensors, byteTime, realTime, latency, silent, silentAfter, garbleEvery, resetAnswer, pulseEnd,
                strayPulseEnd, maxBaud, noHeldByte, noPresence, shorted, badCrc, stuck, deaf, help});
    }
};

// Reads the options that take a number into `options`; the failure text, or empty.
QString readNumbers(const Definitions &d, Options &options)
{
    QString error;
    // The value of a given option when it lies from low to high; the first one that does not is the error.
    const auto number
        = [&](const QCommandLineOption &option, int low, int high, int base = 10) -> std::optional<int> {
        if (!error.isEmpty() || !d.parser.isSet(option))
            return std::nullopt;
        const QString text = d.parser.value(option);
        bool ok = false;
        const int value = text.toInt(&ok, base);
        if (ok && value >= low && value <= high)
            return value;
        error = QStringLiteral("--%1 needs a valid value, not '%2'.").arg(option.names().first(), text);
        return std::nullopt;
    };
    if (const auto given = number(d.sensors, 0, MaxSimulatedSensors))
        options.sensors = given;
    if (const auto given = number(d.byteTime, 0, 1000000))
        options.timing.byteTime = std::chrono::microseconds(*given);
    if (const auto given = number(d.latency, 0, 10000))
        options.timing.latency = std::chrono::milliseconds(*given);
    if (const auto given = number(d.silentAfter, 0, 1 << 30))
        options.faults.silentAfter = *given;
    if (const auto given = number(d.garbleEvery, 1, 1 << 30))
        options.faults.garbleEvery = *given;
    if (const auto given = number(d.resetAnswer, 0, 255, 16))
        options.faults.resetAnswer = static_cast<uint8_t>(*given);
    if (const auto given = number(d.pulseEnd, 0, 255, 16))
        options.faults.pulseEnd = static_cast<uint8_t>(*given);
    if (const auto given = number(d.maxBaud, 0, 115200)) {
        if (std::find(AdapterRates.begin(), AdapterRates.end(), *given) != AdapterRates.end())
            options.faults.maxBaud = *given;
        else
            error = QStringLiteral("--max-baud takes 9600, 19200, 57600 or 115200, not '%1'.").arg(*given);
    }
    const int devices = options.sensors.value_or(DemoDevices);
    options.badCrc = number(d.badCrc, 0, devices - 1);
    options.stuck = number(d.stuck, 0, devices - 1);
    options.deaf = number(d.deaf, 0, devices - 1);
    return error;
}

} // namespace

QString usage()
{
    // The parser names the program by the path it was started with.
    QString text = Definitions().parser.helpText();
    return text.replace(0, text.indexOf(u'\n'), QStringLiteral("Usage: ka7700-emulator [options]"));
}

base::Result<Options> parseOptions(const QStringList &arguments)
{
    Definitions d;
    if (!d.parser.parse(QStringList {QStringLiteral("ka7700-emulator")} + arguments))
        return base::Failure {d.parser.errorText()};
    if (!d.parser.positionalArguments().isEmpty())
        return base::Failure {
            QStringLiteral("Unexpected argument '%1'.").arg(d.parser.positionalArguments().first())};
    Options options;
    options.help = d.parser.isSet(d.help);
    if (const QString error = readNumbers(d, options); !error.isEmpty())
        return base::Failure {error};
    if (d.parser.isSet(d.noHeldByte) && !d.parser.isSet(d.realTime))
        return base::Failure {QStringLiteral("--no-held-byte needs --real-time.")};
    options.faults.unbuffered = d.parser.isSet(d.noHeldByte);
    options.timing.realTime = d.parser.isSet(d.realTime);
    options.faults.silent = d.parser.isSet(d.silent);
    options.faults.strayPulseEnd = d.parser.isSet(d.strayPulseEnd);
    options.noPresence = d.parser.isSet(d.noPresence);
    options.shorted = d.parser.isSet(d.shorted);
    return options;
}

std::shared_ptr<sim::SimBus> makeBus(const Options &options, std::shared_ptr<const sim::Clock> clock)
{
    const auto configuration = options.sensors ? sim::uniformConfiguration(*options.sensors, std::move(clock))
                                               : sim::demoConfiguration(std::move(clock));
    auto bus = configuration.ports.begin()->second.bus;
    for (std::size_t i = 0; i < bus->deviceCount(); ++i)
        bus->device(i).setAttached(!options.noPresence);
    bus->setShorted(options.shorted);
    const std::pair<std::optional<int>, sim::FaultSwitch sim::DeviceFaults::*> deviceFaults[] {
        {options.badCrc, &sim::DeviceFaults::corruptCrc}, {options.stuck, &sim::DeviceFaults::stuckFF},
        {options.deaf, &sim::DeviceFaults::noPresence}};
    for (const auto &[device, fault] : deviceFaults)
        if (device && static_cast<std::size_t>(*device) < bus->deviceCount())
            (bus->device(static_cast<std::size_t>(*device)).faults().*fault).on();
    return bus;
}

} // namespace emulator
