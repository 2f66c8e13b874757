// The options --chart and --plot, with --output and --size: a log file's chart in a window or a PNG.
#pragma once

#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace app {

struct ChartOptions
{
    QCommandLineOption chart {QStringLiteral("chart"),
        QStringLiteral("Open the log file FILE in the chart window, every run in it."),
        QStringLiteral("FILE")};
    QCommandLineOption plot {QStringLiteral("plot"),
        QStringLiteral("Render the chart of the log file FILE to the PNG named by --output and exit; needs "
                       "no display."),
        QStringLiteral("FILE")};
    QCommandLineOption output {
        QStringLiteral("output"), QStringLiteral("Plot: the PNG file to write."), QStringLiteral("PNG")};
    QCommandLineOption size {QStringLiteral("size"),
        QStringLiteral("Plot: the PNG's size in pixels (default 1200x600)."), QStringLiteral("WxH")};

    QList<QCommandLineOption> all() const { return {chart, plot, output, size}; }
};

// Reads them into `options`, whose console setting is read already; the failure text, or empty.
QString readChartOptions(
    const QCommandLineParser &parser, const ChartOptions &o, CommandLineOptions &options);

} // namespace app
