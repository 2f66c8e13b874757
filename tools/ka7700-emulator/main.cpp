// ka7700-emulator: a KA7700 adapter with simulated thermometers behind a pseudo-terminal.
#include "tools/ka7700-emulator/Options.h"
#include "tools/ka7700-emulator/PtyEmulator.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> stopRequested {false};

void requestStop(int)
{
    stopRequested = true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    const auto options = emulator::parseOptions(arguments);
    if (!options) {
        std::fprintf(
            stderr, "ka7700-emulator: %s\n%s", qPrintable(options.failure()), qPrintable(emulator::usage()));
        return 2;
    }
    if (options->help) {
        std::fputs(qPrintable(emulator::usage()), stdout);
        return 0;
    }

    emulator::PtyEmulator adapter(
        emulator::makeBus(*options, std::make_shared<sim::SteadyClock>()), options->faults, options->timing);
    if (!adapter.open()) {
        std::fprintf(stderr, "ka7700-emulator: %s\n", qPrintable(adapter.errorString()));
        return 1;
    }
    struct sigaction action
    {
    };
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::printf("%s\n", qPrintable(adapter.slavePath()));
    std::fflush(stdout);
    adapter.run(stopRequested);
    return 0;
}
