// The emulator's command line: the bus to carry, its timing and the faults to play.
#include "tools/ka7700-emulator/Options.h"

#include "driver/sim/SimulatedDriver.h"

namespace emulator {

namespace {

constexpr int MaxSensors = 40;

std::optional<int> number(const QString &text, int low, int high, int base = 10)
{
    bool ok = false;
    const int value = text.toInt(&ok, base);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace

QString usage()
{
    return QStringLiteral(
        "usage: ka7700-emulator [--sensors N] [--byte-time-us T] [--latency-ms L]\n"
        "                       [--silent] [--silent-after N] [--garble-every N] [--reset-answer HH]\n"
        "                       [--pulse-end HH] [--stray-pulse-end] [--no-presence] [--short]\n"
        "Prints the pseudo-terminal to open, then answers as a KA7700 adapter until SIGINT or SIGTERM.\n"
        "Without --sensors the bus holds two KX4136 and one KX4130; with it, N KX4136 (0 to 40).\n");
}

std::optional<Options> parseOptions(const QStringList &arguments, QString &error)
{
    Options options;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &name = arguments[i];
        const auto value = [&](int low, int high, int base = 10) -> std::optional<int> {
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return number(arguments[++i], low, high, base);
        };
        std::optional<int> given = 0;
        if (name == u"--sensors") {
            given = options.sensors = value(0, MaxSensors);
        } else if (name == u"--byte-time-us") {
            if ((given = value(0, 1000000)))
                options.timing.byteTime = std::chrono::microseconds(*given);
        } else if (name == u"--latency-ms") {
            if ((given = value(0, 10000)))
                options.timing.latency = std::chrono::milliseconds(*given);
        } else if (name == u"--silent-after") {
            if ((given = value(0, 1 << 30)))
                options.faults.silentAfter = *given;
        } else if (name == u"--garble-every") {
            if ((given = value(1, 1 << 30)))
                options.faults.garbleEvery = *given;
        } else if (name == u"--reset-answer") {
            if ((given = value(0, 255, 16)))
                options.faults.resetAnswer = uint8_t(*given);
        } else if (name == u"--pulse-end") {
            if ((given = value(0, 255, 16)))
                options.faults.pulseEnd = uint8_t(*given);
        } else if (name == u"--silent") {
            options.faults.silent = true;
        } else if (name == u"--stray-pulse-end") {
            options.faults.strayPulseEnd = true;
        } else if (name == u"--no-presence") {
            options.noPresence = true;
        } else if (name == u"--short") {
            options.shorted = true;
        } else {
            error = QStringLiteral("unknown option %1").arg(name);
            return std::nullopt;
        }
        if (!given) {
            error = QStringLiteral("%1 needs a valid value").arg(name);
            return std::nullopt;
        }
    }
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
    return bus;
}

} // namespace emulator
