// The log file: header and data lines, appended one at a time, kept in memory while the file cannot be
// written.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

namespace logging {

// The log path both the window and the console run start with.
QString DefaultLogPath();

// "KX4136", then one tab-separated field of eight hex ROM bytes per sensor 0 to LastSensor.
QString LogHeaderLine();
// The date-time text, then one tab-separated reading text per sensor.
QString LogDataLine(const QString &dateTimeText, const QStringList &readingTexts);

struct AppendResult
{
    bool ok = false;
    QString reason; // why the file could not be written; empty when ok
    qsizetype written = 0; // how many of the lines reached the file, from the first
};

// Opens the file for appending (creating it), writes each encoded line with CR LF, closes it again.
AppendResult appendToFile(const QString &path, const std::deque<QByteArray> &encodedLines);

class LogFile
{
public:
    // A week of one line per second.
    static constexpr qsizetype DefaultKeptLimit = 7 * 24 * 60 * 60;
    // Where the first failure and the recovery are told (the device list).
    using Report = std::function<void(const QString &line)>;

    explicit LogFile(Report report, qsizetype keptLimit = DefaultKeptLimit);
    // Kept lines get one last try when the program ends; nobody is left to tell of the outcome.
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    // Appends one line; lines kept earlier for the same path go first, in order.
    void AppendLogLine(const QString &path, const QString &line);

    qsizetype keptCount() const { return kept_; }

private:
    // A file that could not be written, with the lines kept for it.
    struct PathLines
    {
        QString path;
        std::deque<QByteArray> lines;
        qsizetype keptWritten = 0; // kept lines written since the failure began
        qsizetype dropped = 0;
    };

    PathLines *failingFor(const QString &path);
    PathLines &linesFor(const QString &path);
    void dropOldest();

    Report report_;
    qsizetype keptLimit_;
    // By first failure, so the front holds the oldest lines. Each file's failure is told once and
    // its recovery once, whatever the others do.
    QList<PathLines> failing_;
    qsizetype kept_ = 0;
};

} // namespace logging
