// The console's output as JSON Lines for scripts: one object per line, ISO 8601 times, numbers with a dot.
#pragma once

#include "logging/Readings.h"

#include <QString>

namespace app {

namespace jsonlines {

// {"kind":"cycle","time":"2024-01-15T18:23:42+01:00","sensors":[{"index":0,"rom":"28...","name":null,
// "reading":21.5,"alarm":"ok"}]}, a failed reading as null.
QString cycleLine(const logging::CycleRecord &cycle);
// {"kind":"run","interval":5,"sensors":[{"index":0,"rom":"28...","name":null}]}: the run START began.
QString runLine(const logging::RunRecord &run);
// {"kind":"alarm","time":...,"index":0,"rom":...,"name":...,"state":"high","previous":"ok","reading":...,
// "limit":...}
QString alarmLine(const logging::AlarmChange &change);
// A line of the device list: {"kind":"device","index":0,"rom":"28...","resolution":12,"text":...} for a
// sensor START found, else {"kind":"message","text":...}.
QString deviceListLine(const QString &line);
// {"kind":"message","text":...}: any other line of the run.
QString messageLine(const QString &text);

} // namespace jsonlines

} // namespace app
