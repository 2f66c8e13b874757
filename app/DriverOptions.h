// The options of the bus: --simulate, --com, --baud, --convert-all and --sensors.
#pragma once

#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace app {

// Takes the --simulate forms out of the arguments into `values`, leaving a bare --simulate for the parser
// to count: --simulate takes an optional value, which the parser alone cannot express.
QStringList splitSimulate(const QStringList &arguments, QStringList &values);

struct DriverOptions
{
    DriverOptions();

    QCommandLineOption simulate;
    QCommandLineOption com;
    QCommandLineOption baud;
    QCommandLineOption convertAll;
    QCommandLineOption sensors;

    QList<QCommandLineOption> all() const { return {simulate, com, baud, convertAll, sensors}; }
};

// Reads them into `options`, with the values splitSimulate() took; the failure text, or empty.
QString readDriverOptions(const QCommandLineParser &parser, const DriverOptions &o,
    const QStringList &simulateValues, CommandLineOptions &options);

} // namespace app
