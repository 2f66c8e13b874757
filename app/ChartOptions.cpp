// The options --chart and --plot, with --output and --size: a log file's chart in a window or a PNG.
#include "app/ChartOptions.h"

#include "app/OptionValues.h"

#include <QFile>
#include <QFileInfo>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace app {

namespace {

// The same file under any name: through a link, or another path.
bool sameFile(const QString &one, const QString &other)
{
#ifdef Q_OS_UNIX
    struct stat first
    {
    };
    struct stat second
    {
    };
    return ::stat(QFile::encodeName(one).constData(), &first) == 0
        && ::stat(QFile::encodeName(other).constData(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
#else
    const QString canonical = QFileInfo(one).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(other).canonicalFilePath();
#endif
}

} // namespace

QString readChartOptions(const QCommandLineParser &parser, const ChartOptions &o, CommandLineOptions &options)
{
    if (parser.isSet(o.chart))
        options.chartPath = parser.values(o.chart).last();
    if (parser.isSet(o.plot))
        options.plotPath = parser.values(o.plot).last();
    if (options.chartPath && options.plotPath)
        return QStringLiteral("--chart and --plot exclude each other.");
    for (const auto &[name, path] : {std::pair {o.chart.names().first(), options.chartPath},
             std::pair {o.plot.names().first(), options.plotPath}})
        if (const QString error = path ? specialFileError(name, *path) : QString(); !error.isEmpty())
            return error;
    if ((options.chartPath || options.plotPath) && options.console)
        return QStringLiteral("--%1 and --console exclude each other.")
            .arg(options.chartPath ? QLatin1String("chart") : QLatin1String("plot"));
    if (!options.plotPath) {
        for (const QCommandLineOption &setting : {o.output, o.size})
            if (parser.isSet(setting))
                return QStringLiteral("--%1 needs --plot.").arg(setting.names().first());
        return {};
    }
    if (!parser.isSet(o.output) || parser.values(o.output).last().isEmpty())
        return QStringLiteral("--plot needs --output PNG.");
    options.plotOutput = parser.values(o.output).last();
    if (const QString error = specialFileError(o.output.names().first(), options.plotOutput);
        !error.isEmpty())
        return error;
    if (sameFile(*options.plotPath, options.plotOutput))
        return QStringLiteral("--output names the log file itself: '%1'.").arg(options.plotOutput);
    if (parser.isSet(o.size)) {
        const QString size = parser.values(o.size).last();
        const QStringList parts = size.split(QLatin1Char('x'));
        const auto width = parseNumber(parts.value(0), 100, 10000);
        const auto height = parseNumber(parts.value(1), 100, 10000);
        if (parts.size() != 2 || !width || !height)
            return QStringLiteral("--size takes WxH, each from 100 to 10000, not '%1'.").arg(size);
        options.plotSize = QSize(*width, *height);
    }
    return {};
}

} // namespace app
