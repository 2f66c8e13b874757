// A log file the program wrote, read back into chart data: every run, every data line, in linear time.
#pragma once

#include "chart/ChartData.h"
#include "logging/SensorsFile.h"

#include <QString>
#include <functional>

namespace chart {

struct LogReading
{
    ChartData data;
    qint64 dataLines = 0;
    // Lines that were not the program's: another locale, a cut line, another program's line.
    qint64 unreadable = 0;
    // Why the file could not be read at all; empty when it could.
    QString error;
    bool cancelled = false;
};

// Told the bytes read so far and the file's size now and then; returning false cancels.
using ReadProgress = std::function<bool(qint64 done, qint64 total)>;

// The sensors get their names and limits from `sensors`, by ROM code.
LogReading readLogFile(
    const QString &path, const logging::SensorTable &sensors = {}, const ReadProgress &progress = {});

// "3 lines could not be read", or nothing when all could.
QString unreadableText(qint64 lines);
// Why a log file gives no chart: it holds no data line that could be read.
QString noDataLineText(const QString &path);
// The exit status of --chart and --plot for a file that cannot be read, and for one without a data line.
inline constexpr int UnreadableLogStatus = 2;
inline constexpr int NoDataLineStatus = 1;
// How many sensors the chart leaves out, or nothing when it shows all.
QString leftOutText(const ChartData &data);

} // namespace chart
