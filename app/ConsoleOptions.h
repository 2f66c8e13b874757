// The options of the run without a window: --console and its settings.
#pragma once

#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace app {

struct ConsoleOptions
{
    ConsoleOptions();

    QCommandLineOption console;
    QCommandLineOption port;
    QCommandLineOption interval;
    QCommandLineOption delay;
    QCommandLineOption log;
    QCommandLineOption noLog;
    QCommandLineOption cycles;

    QList<QCommandLineOption> all() const { return {console, port, interval, delay, log, noLog, cycles}; }
    QList<QCommandLineOption> settings() const { return {port, interval, delay, log, noLog, cycles}; }
};

// Reads them into `options`; the failure text, or empty. A repeated option: the last wins.
QString readConsoleOptions(
    const QCommandLineParser &parser, const ConsoleOptions &o, CommandLineOptions &options);

} // namespace app
