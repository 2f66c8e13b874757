// The settings a run takes over at START, read once from the window's fields.
#include "logging/RunSettings.h"

#include "logging/Conversions.h"
#include "logging/FileAccess.h"

namespace logging {

QString readRunSettings(const MainView &view, RunSettings &settings)
{
    settings.log = view.check1State() != 0;
    settings.logPath = view.text(TextField::Text5);
    const QLocale locale = view.numberLocale();
    // Every text is checked before any is taken over, so a wrong one leaves the run's numbers alone.
    const auto delay = oneWireDelayFromText(view.text(TextField::Text4), locale);
    const auto interval = intervalMsFromText(view.text(TextField::Text3), locale);
    const auto port = portNumberFromText(view.text(TextField::Text2), locale);
    // A path the file names cannot hold would be written under another name.
    const bool logPath = !settings.log || fitsFileNameEncoding(settings.logPath);
    if (!delay)
        return QStringLiteral("Wrong 1-wire delay.");
    if (!interval)
        return QStringLiteral("Wrong reading interval.");
    if (!port)
        return QStringLiteral("Wrong COM port number.");
    if (!logPath)
        return QStringLiteral("Wrong log file path.");
    settings.port = *port;
    settings.intervalMs = *interval;
    settings.oneWireDelay = *delay;
    settings.convertAll = view.convertAll();
    return QString();
}

} // namespace logging
