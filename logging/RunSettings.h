// The settings a run takes over at START, read once from the window's fields.
#pragma once

#include "logging/MainView.h"

#include <QString>
#include <cstdint>

namespace logging {

struct RunSettings
{
    int16_t port = 0; // Text2: the COM port
    int32_t intervalMs = 0; // Text3: the reading interval
    int16_t oneWireDelay = 0; // Text4: the conversion wait in ms
    bool log = false; // Check1
    QString logPath; // Text5
    bool convertAll = false; // "Convert all sensors at once"

    // The log file the run writes; empty when it logs nothing.
    QString ownLog() const { return log ? logPath : QString(); }
};

// Reads the fields into `settings`, the numbers in the locale the view's fields are typed in. Gives the
// message naming the first wrong field, and then takes only the log choice: what is kept for that file
// is still this START's own. Empty when everything was taken.
QString readRunSettings(const MainView &view, RunSettings &settings);

} // namespace logging
