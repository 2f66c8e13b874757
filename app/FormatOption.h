// The option --format: what the console prints on standard output, its text blocks or JSON lines.
#pragma once

#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace app {

QCommandLineOption formatOption();
// Reads it into `options`, whose console setting is read already; the failure text, or empty.
QString readFormatOption(
    const QCommandLineParser &parser, const QCommandLineOption &format, CommandLineOptions &options);

} // namespace app
