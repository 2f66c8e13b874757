// The option --format: what the console prints on standard output, its text blocks or JSON lines.
#include "app/FormatOption.h"

namespace app {

QCommandLineOption formatOption()
{
    return {QStringLiteral("format"),
        QStringLiteral(
            "Console: what standard output prints, text (default) or json: one JSON object per line."),
        QStringLiteral("FORMAT")};
}

QString readFormatOption(
    const QCommandLineParser &parser, const QCommandLineOption &format, CommandLineOptions &options)
{
    if (!parser.isSet(format))
        return {};
    if (!options.console)
        return QStringLiteral("--format needs --console.");
    const QString value = parser.values(format).last();
    if (value != QLatin1String("text") && value != QLatin1String("json"))
        return QStringLiteral("--format takes text or json, not '%1'.").arg(value);
    options.json = value == QLatin1String("json");
    return {};
}

} // namespace app
