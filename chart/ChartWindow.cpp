// The chart window and the reading of log files behind a progress dialog.
#include "chart/ChartWindow.h"

#include "chart/ChartView.h"
#include "chart/LogReading.h"
#include "chart/ReadingsChart.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace chart {

namespace {
const QString WindowTitle = QStringLiteral("KX4136 chart");
}

ChartWindow::ChartWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("chartWindow"));
    setWindowTitle(WindowTitle);
    m_chart = new ReadingsChart(m_data);
    m_view = new ChartView(m_chart, this);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("chartStatus"));
    m_status->hide();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_status);
    resize(900, 520);
}

ChartWindow::~ChartWindow()
{
    if (m_reader) {
        m_cancel = true;
        m_reader->wait();
        delete m_reader;
    }
}

void ChartWindow::runStarted(const logging::RunRecord &run)
{
    m_data.beginRun(run);
    m_stale = true;
    if (isVisible())
        m_chart->dataChanged();
}

void ChartWindow::cycleEnded(const logging::CycleRecord &cycle)
{
    m_data.appendCycle(cycle);
    m_stale = true;
    // A hidden chart only keeps the readings; it draws them when it is shown.
    if (isVisible()) {
        m_chart->dataChanged();
        m_stale = false;
    }
}

void ChartWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_stale) {
        m_chart->dataChanged();
        m_stale = false;
    }
}

void ChartWindow::showChart()
{
    show();
    raise();
    activateWindow();
}

void ChartWindow::openLogFile(const QString &path)
{
    if (m_reader)
        return;
    m_cancel = false;
    m_done = 0;
    m_total = 0;
    // The sensors file first, so that the records read from the log carry its names and limits.
    const base::Result<logging::SensorTable> sensors
        = m_sensorsFile.isEmpty() ? logging::SensorTable() : logging::readSensorsFile(m_sensorsFile);
    auto read = std::make_shared<LogReading>();
    m_reader = QThread::create([this, read, path, table = sensors.valueOr({})] {
        *read = readLogFile(path, table, [this](qint64 done, qint64 total) {
            m_done = done;
            m_total = total;
            return !m_cancel;
        });
    });
    m_progress = new QProgressDialog(QStringLiteral("Reading %1").arg(QFileInfo(path).fileName()),
        QStringLiteral("Cancel"), 0, 1000, this);
    m_progress->setWindowTitle(WindowTitle);
    m_progress->setWindowModality(Qt::WindowModal);
    m_progress->setMinimumDuration(300);
    auto *poll = new QTimer(m_progress);
    // The dialog itself, not the member: the timer may fire once more between the end and the deletion.
    connect(poll, &QTimer::timeout, m_progress, [this, progress = m_progress] {
        const qint64 total = m_total;
        if (total > 0)
            progress->setValue(static_cast<int>(m_done * 1000 / total));
    });
    poll->start(50);
    connect(m_progress, &QProgressDialog::canceled, this, [this] { m_cancel = true; });
    connect(m_reader, &QThread::finished, this,
        [this, read, path, sensorsError = sensors ? QString() : sensors.failure()] {
            m_reader->deleteLater();
            m_reader = nullptr;
            m_progress->deleteLater();
            m_progress = nullptr;
            logRead(*read, path, sensorsError);
        });
    m_reader->start();
}

void ChartWindow::logRead(LogReading &read, const QString &path, const QString &sensorsError)
{
    if (read.cancelled) {
        emit logOpened(false);
        return;
    }
    QString failure = read.error;
    m_failureStatus = UnreadableLogStatus;
    if (failure.isEmpty() && read.dataLines == 0) {
        failure = noDataLineText(path);
        m_failureStatus = NoDataLineStatus;
    }
    if (!failure.isEmpty()) {
        // Told as failed once closed.
        connect(openMessage(failure), &QMessageBox::finished, this, [this] { emit logOpened(false); });
        return;
    }
    m_data = std::move(read.data);
    // The file's path, and below it what could not be read.
    const QString unreadable = unreadableText(read.unreadable);
    m_status->setText(unreadable.isEmpty() ? path : path + QLatin1Char('\n') + unreadable);
    m_status->show();
    m_chart->showWhole();
    m_chart->dataChanged();
    emit logOpened(true);
    // Over the chart, which has just been shown.
    if (!sensorsError.isEmpty())
        openMessage(sensorsError);
}

QMessageBox *ChartWindow::openMessage(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, WindowTitle, text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

void ChartWindow::chooseLogFile(QWidget *parent, const QString &suggested, const QString &sensorsFile)
{
    // Opened without a loop of its own: one would hold a bus wait open while the user chooses.
    auto *dialog = new QFileDialog(parent, QStringLiteral("Open log file in chart"), suggested,
        QStringLiteral("Log files (*.txt *.log);;All files (*)"));
    dialog->setObjectName(QStringLiteral("logFileDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    connect(dialog, &QFileDialog::fileSelected, parent, [parent, sensorsFile](const QString &path) {
        auto *window = new ChartWindow(parent);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setSensorsFile(sensorsFile);
        // The window appears once the file has been read, and never when it could not be.
        connect(window, &ChartWindow::logOpened, window, [window](bool shown) {
            if (shown)
                window->showChart();
            else
                window->close();
        });
        window->openLogFile(path);
    });
    dialog->open();
}

} // namespace chart
