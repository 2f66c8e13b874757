// A log file's chart as a PNG, with no display needed.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

namespace chart {

struct PngResult
{
    // 0 written; 1 the file holds no readable data line; 2 the file cannot be read or the PNG written.
    int exitCode = 0;
    QString message; // for standard error, when not written; otherwise what was unreadable or left out
};

class ChartData;

// The chart of `data` at `size`: its last `lastMs` milliseconds, or all of it. Needs a QApplication.
QImage renderChart(const ChartData &data, const QSize &size, std::optional<qint64> lastMs = std::nullopt);

// With the names and limits of the sensors file at `sensorsPath` (none when empty); a sensors file that
// cannot be read ends it with status 2 before the log file is read.
PngResult renderLogPng(
    const QString &logPath, const QString &pngPath, const QSize &size, const QString &sensorsPath = {});

} // namespace chart
