// The chart window: the current run as it goes, or a log file with all its runs.
#pragma once

#include "chart/ChartData.h"
#include "chart/LogReading.h"
#include "logging/Readings.h"

#include <QWidget>
#include <atomic>
#include <memory>

class QLabel;
class QMessageBox;
class QProgressDialog;
class QThread;

namespace chart {

class ChartView;
class ReadingsChart;
struct LogReading;

class ChartWindow : public QWidget, public logging::ReadingsListener
{
    Q_OBJECT

public:
    explicit ChartWindow(QWidget *parent = nullptr);
    ~ChartWindow() override;

    // logging::ReadingsListener: a new run joins the lines by ROM code; each cycle is drawn as it ends.
    void runStarted(const logging::RunRecord &run) override;
    void cycleEnded(const logging::CycleRecord &cycle) override;

    // Shows the window, or raises it when it is open already.
    void showChart();
    // The sensors file whose names and limits a log file's ROM codes get; none by default.
    void setSensorsFile(const QString &path) { m_sensorsFile = path; }
    // Reads a log file in the background behind a progress dialog, then shows it; a failure is told
    // in a message box and leaves the window as it was. A sensors file that cannot be read is told too,
    // and the chart goes without its names and limits.
    void openLogFile(const QString &path);
    // Asks for a log file, starting at `suggested`, and opens it in a new window that closes with
    // `parent`, with the names and limits of the sensors file.
    static void chooseLogFile(QWidget *parent, const QString &suggested, const QString &sensorsFile = {});

    const ChartData &data() const { return m_data; }
    // After a log file could not be opened: the exit status that tells why.
    int failureStatus() const { return m_failureStatus; }
    ReadingsChart *chart() const { return m_chart; }

signals:
    // The log file has been read into the window, or could not be (the message has been shown).
    void logOpened(bool shown);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void logRead(LogReading &read, const QString &path, const QString &sensorsError);
    // Without a loop of its own, which could hold a bus wait open.
    QMessageBox *openMessage(const QString &text);

    ChartData m_data;
    QString m_sensorsFile;
    int m_failureStatus = UnreadableLogStatus;
    ReadingsChart *m_chart = nullptr;
    ChartView *m_view = nullptr;
    QLabel *m_status = nullptr;
    QThread *m_reader = nullptr;
    QProgressDialog *m_progress = nullptr;
    std::atomic<bool> m_cancel {false};
    std::atomic<qint64> m_done {0};
    std::atomic<qint64> m_total {0};
    bool m_stale = false;
};

} // namespace chart
