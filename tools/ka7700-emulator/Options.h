// The emulator's command line: the bus to carry, its timing and the faults to play.
#pragma once

#include "base/Result.h"
#include "tools/ka7700-emulator/LineDriver.h"
#include "tools/ka7700-emulator/PtyEmulator.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace emulator {

struct Options
{
    std::optional<int> sensors; // none: the demo bus
    Timing timing;
    Faults faults;
    bool noPresence = false; // every device unplugged
    bool shorted = false;
    // Devices (by their place on the bus, from 0) whose every read or reset goes wrong.
    std::optional<int> badCrc; // a wrong CRC byte
    std::optional<int> stuck; // never pulls the line low: every byte reads FF
    std::optional<int> deaf; // misses every reset, and so every transaction
    bool help = false; // -h, --help: print usage() and run nothing
};

// Reads the arguments after the program name; they fail with the one line that tells what is wrong.
base::Result<Options> parseOptions(const QStringList &arguments);
QString usage();

// The bus the options ask for, on the given clock.
std::shared_ptr<sim::SimBus> makeBus(const Options &options, std::shared_ptr<const sim::Clock> clock);

} // namespace emulator
