// The chart: log files read back, the column reduction, following the run, the time window, the axes'
// labels, and the PNG's exit statuses.
#include "chart/AxisTicks.h"
#include "chart/ChartLimits.h"
#include "chart/ChartWindow.h"
#include "chart/LogReading.h"
#include "chart/ReadingsChart.h"
#include "chart/TimeWindow.h"
#include "logging/TextFormats.h"

#include <QApplication>
#include <QCategoryAxis>
#include <QFileDialog>
#include <QGraphicsLayout>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>

using logging::RomCode;

namespace {

const RomCode RomA {0x28, 0xB4, 0x84, 0xD7, 0x0F, 0x4F, 0x4C, 0xAF};
const RomCode RomB {0x28, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
const RomCode RomC {0x22, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70};
const QDateTime Start(QDate(2026, 3, 2), QTime(10, 0));

// The data as text: one row per cycle, "?" for a gap; a run's break is a row of gaps.
QStringList rows(const chart::ChartData &data)
{
    QStringList rows;
    for (qint64 c = 0; c < data.cycleCount(); ++c) {
        QStringList values;
        for (qsizetype s = 0; s < data.sensorCount(); ++s) {
            const float v = data.value(s, c);
            values << (std::isnan(v) ? QStringLiteral("?") : QString::number(v));
        }
        rows << values.join(QLatin1Char(' '));
    }
    return rows;
}

QByteArray header(const QList<RomCode> &roms)
{
    return logging::logHeaderLine(roms).toUtf8();
}

QByteArray data(int second, const QList<logging::Reading> &readings)
{
    return logging::logDataLine(Start.addSecs(second), readings).toUtf8();
}

QString writeLog(const QString &path, const QByteArrayList &lines, const QByteArray &end = "\r\n")
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(lines.join(end) + end);
    return path;
}

// A cycle of sensor A alone, as the run tells it.
logging::CycleRecord cycleOfA(
    qint64 msecs, std::optional<float> celsius, const logging::SensorSettings &settings = {})
{
    return {QDateTime::fromMSecsSinceEpoch(msecs), {{0, RomA, celsius, settings}}};
}

// A run per sensor, each sensor new, with one cycle.
QByteArrayList runsOfNewSensors(int runs)
{
    QByteArrayList lines;
    for (int r = 0; r < runs; ++r)
        lines << header({{0x28, static_cast<uint8_t>(r), static_cast<uint8_t>(r >> 8), 3, 4, 5, 6, 7}})
              << data(r, {20.0F});
    return lines;
}

} // namespace

class TstChart : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void readLog_data();
    void readLog();
    void missingFile();
    void sensorCap();
    void cancelStopsReading();
    void repeatedHourKeepsItsInstants();
    void timeLabelsBySpan_data();
    void timeLabelsBySpan();
    void repeatedHourLabelsDiffer();
    void celsiusLabels_data();
    void celsiusLabels();
    void timeWindow_data();
    void timeWindow();
    void narrowestWindow();
    void logFileDialogDoesNotWait();
    void reductionKeepsExtremes_data();
    void reductionKeepsExtremes();
    void followsRecords();
    void limitsInView_data();
    void limitsInView();
    void plot_data();
    void plot();

private:
    QTemporaryDir m_dir;
};

void TstChart::readLog_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<qint64>("unreadable");

    QLocale::setDefault(QLocale::c());
    const QByteArrayList twoCycles {header({RomA, RomB}), data(0, {1.5F, 2.25F}), data(1, {1.75F, {}})};
    QTest::newRow("LF") << "C" << twoCycles << QByteArray("\n") << QStringList {"1.5 2.25", "1.75 ?"} << 0LL;
    QTest::newRow("CR LF") << "C" << twoCycles << QByteArray("\r\n") << QStringList {"1.5 2.25", "1.75 ?"}
                           << 0LL;
    // B keeps its line from run to run at another index; A leaves, C joins.
    QTest::newRow("runs") << "C"
                          << QByteArrayList {header({RomA, RomB}), data(0, {1.0F, 2.0F}),
                                 header({RomB, RomC}), data(5, {3.0F, -4.5F}), data(6, {{}, -4.0F})}
                          << QByteArray("\r\n") << QStringList {"1 2 ?", "? ? ?", "? 3 -4.5", "? ? -4"}
                          << 0LL;
    QTest::newRow("cut, foreign, headless")
        << "C"
        << QByteArrayList {data(0, {9.0F}), header({RomA}), data(1, {1.0F}), data(2, {2.0F}).chopped(2),
               "Other program: 12.5", data(3, {1.0F, 2.0F}), data(4, {3.0F})}
        << QByteArray("\r\n") << QStringList {"1", "3"} << 4LL;
    QTest::newRow("header longer than the program writes")
        << "C"
        << QByteArrayList {header(QList<RomCode>(200, RomA)), data(0, QList<logging::Reading>(200, 1.0F))}
        << QByteArray("\r\n") << QStringList {} << 2LL;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QTest::newRow("comma") << "de_DE" << QByteArrayList {header({RomA}), data(0, {-1.25F})}
                           << QByteArray("\r\n") << QStringList {"-1.25"} << 0LL;
    // A file written in one locale and read in another: nothing is taken for a wrong value.
    QTest::newRow("other locale") << "C" << QByteArrayList {header({RomA}), data(0, {-1.25F})}
                                  << QByteArray("\r\n") << QStringList {} << 1LL;
    QLocale::setDefault(QLocale::c());
}

void TstChart::readLog()
{
    QFETCH(QString, locale);
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArray, end);
    QFETCH(QStringList, expected);
    QFETCH(qint64, unreadable);
    QLocale::setDefault(QLocale(locale));
    const chart::LogReading read
        = chart::readLogFile(writeLog(m_dir.filePath(QStringLiteral("read.log")), lines, end));
    QVERIFY(read.error.isEmpty());
    QCOMPARE(rows(read.data), expected);
    QCOMPARE(read.unreadable, unreadable);
}

void TstChart::missingFile()
{
    const QString path = m_dir.filePath(QStringLiteral("none.log"));
    const chart::LogReading read = chart::readLogFile(path);
    QVERIFY(read.error.contains(path));
    QVERIFY(read.error.contains(QStringLiteral("No such file")));
}

// Sensors past the cap are counted and told.
void TstChart::sensorCap()
{
    const chart::LogReading read = chart::readLogFile(writeLog(
        m_dir.filePath(QStringLiteral("cap.log")), runsOfNewSensors(chart::ChartData::MaxSensors + 6)));
    QCOMPARE(read.data.sensorCount(), chart::ChartData::MaxSensors);
    QCOMPARE(chart::leftOutText(read.data),
        QStringLiteral("Only the first 64 sensors are shown: 6 more are not."));
}

// Once asked to stop, the reader stops within a megabyte or two, even inside a line.
void TstChart::cancelStopsReading()
{
    qint64 lastSeen = 0;
    const chart::LogReading read = chart::readLogFile(
        writeLog(m_dir.filePath(QStringLiteral("cancel.log")), {header({RomA}), QByteArray(8 << 20, ' ')}),
        {}, [&](qint64 done, qint64) {
            lastSeen = done;
            return done < (1 << 20);
        });
    QVERIFY(read.cancelled);
    QVERIFY(lastSeen < (3 << 20));
}

// At the end of summer time the hour from 02:00 is written twice: each line keeps its own instant.
void TstChart::repeatedHourKeepsItsInstants()
{
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    QList<qint64> written;
    QByteArrayList lines {header({RomA})};
    for (int half = 0; half < 6; ++half) {
        const QDateTime when = QDateTime(QDate(2026, 10, 24), QTime(23, 30), Qt::UTC).addSecs(half * 1800);
        written << when.toMSecsSinceEpoch();
        lines << logging::logDataLine(when.toLocalTime(), {20.0F + static_cast<float>(half)}).toUtf8();
    }
    const chart::LogReading read
        = chart::readLogFile(writeLog(m_dir.filePath(QStringLiteral("dst.log")), lines));
    QList<qint64> times;
    for (qint64 c = 0; c < read.data.cycleCount(); ++c)
        times << read.data.time(c);
    zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
    QCOMPARE(times, written);
}

void TstChart::timeLabelsBySpan_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<QString>("label");
    QTest::newRow("months: months") << 150 << "Mar 2026";
    QTest::newRow("years: half years") << 730 << "Jul 2026";
}

void TstChart::timeLabelsBySpan()
{
    QFETCH(int, days);
    QFETCH(QString, label);
    chart::ChartData data;
    data.beginRun({{RomA}});
    const QDateTime start(QDate(2026, 1, 2), QTime(0, 0));
    for (int hours = 0; hours <= days * 24; hours += 6)
        data.appendCycle(cycleOfA(start.addSecs(hours * 3600).toMSecsSinceEpoch(), 20.0F));
    chart::ReadingsChart readings(data);
    readings.setGeometry(QRectF(0, 0, 800, 400));
    readings.layout()->activate();
    const QStringList labels
        = qobject_cast<QCategoryAxis *>(readings.axes(Qt::Horizontal).front())->categoriesLabels();
    QVERIFY2(labels.contains(label), qPrintable(labels.join(", ")));
}

// The hour the end of summer time repeats: its ticks keep a label each.
void TstChart::repeatedHourLabelsDiffer()
{
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    const qint64 first = QDateTime(QDate(2026, 10, 25), QTime(0, 30), Qt::UTC).toMSecsSinceEpoch();
    const QStringList labels = chart::timeLabels({first, first + 3600 * 1000}, QStringLiteral("HH:mm"));
    zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
    QCOMPARE(labels.size(), 2);
    QVERIFY(labels[0] != labels[1]);
    QCOMPARE(labels[1].left(5), labels[0]);
}

void TstChart::celsiusLabels_data()
{
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<int>("decimals");
    QTest::newRow("wide: whole degrees") << 0.0 << 30.0 << 0;
    QTest::newRow("four degrees: halves") << 20.0 << 24.0 << 1;
    QTest::newRow("two degrees: quarters") << 20.0 << 22.0 << 2;
    QTest::newRow("flat: hundredths") << 20.0 << 20.0 << 2;
}

// The readings stand inside the axis, and its labels carry the decimals their step needs, no more.
void TstChart::celsiusLabels()
{
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(int, decimals);
    const chart::CelsiusAxis axis = chart::celsiusAxis(low, high, 400);
    QVERIFY(axis.bottom < low && axis.top > high);
    QCOMPARE(axis.decimals, decimals);
    const double step = (axis.top - axis.bottom) / (axis.ticks - 1);
    QCOMPARE(QString::number(step, 'f', decimals).toDouble(), step);
}

void TstChart::timeWindow_data()
{
    // Over data from 0 to 100 s, starting from the whole range or from 25 to 75 s.
    QTest::addColumn<bool>("zoomedFirst");
    QTest::addColumn<QString>("action");
    QTest::addColumn<double>("a"); // zoom: factor, pan: fraction, last: ms, show: from
    QTest::addColumn<double>("b"); // zoom: where across the view, show: to
    QTest::addColumn<QString>("shown"); // in s, or "whole" while following
    QTest::newRow("zoom in about the pointer") << false << "zoom" << 0.5 << 0.25 << "12.5 62.5";
    QTest::newRow("zoom out past the start") << true << "zoom" << 1.8 << 1.0 << "0 90";
    QTest::newRow("zoom out wider than the data") << true << "zoom" << 3.0 << 0.5 << "whole";
    QTest::newRow("pan past the start") << true << "pan" << 1.0 << 0.0 << "0 50";
    QTest::newRow("pan past the end") << true << "pan" << -1.0 << 0.0 << "50 100";
    QTest::newRow("pan the whole range") << false << "pan" << 0.5 << 0.0 << "whole";
    QTest::newRow("window wider than the data") << true << "show" << -50000.0 << 200000.0 << "whole";
    QTest::newRow("the last part") << false << "last" << 10000.0 << 0.0 << "90 100";
    QTest::newRow("more than all") << true << "last" << 1e6 << 0.0 << "whole";
}

void TstChart::timeWindow()
{
    QFETCH(bool, zoomedFirst);
    QFETCH(QString, action);
    QFETCH(double, a);
    QFETCH(double, b);
    QFETCH(QString, shown);
    const chart::TimeRange whole {0, 100000};
    chart::TimeWindow window;
    if (zoomedFirst)
        window.show(25000, 75000, whole);
    const chart::TimeRange drawn = window.shown(whole);
    if (action == QLatin1String("zoom"))
        window.zoom(a, b, drawn, whole);
    else if (action == QLatin1String("pan"))
        window.pan(a, drawn, whole);
    else if (action == QLatin1String("last"))
        window.showLast(static_cast<qint64>(a), whole);
    else
        window.show(static_cast<qint64>(a), static_cast<qint64>(b), whole);
    const auto [from, to] = window.shown(whole);
    QCOMPARE(window.following() ? QStringLiteral("whole")
                                : QStringLiteral("%1 %2")
                                      .arg(static_cast<double>(from) / 1000)
                                      .arg(static_cast<double>(to) / 1000),
        shown);
}

// Zooming in stops at a window that still holds the time under the pointer.
void TstChart::narrowestWindow()
{
    const chart::TimeRange whole {0, 100000};
    chart::TimeWindow window;
    window.zoom(1e-9, 0.3, whole, whole);
    const chart::TimeRange narrowest = window.shown(whole);
    QVERIFY(narrowest.first < 30000 && narrowest.second > 30000);
    window.zoom(0.5, 0.5, narrowest, whole);
    QCOMPARE(window.shown(whole), narrowest);
}

// The dialog opens without a loop of its own; the file chosen in it opens in a chart window.
void TstChart::logFileDialogDoesNotWait()
{
    QWidget parent;
    const QString path = writeLog(m_dir.filePath(QStringLiteral("chosen.log")), runsOfNewSensors(2));
    QTimer::singleShot(1000, &parent, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    chart::ChartWindow::chooseLogFile(&parent, m_dir.path());
    auto *dialog = parent.findChild<QFileDialog *>();
    QVERIFY(dialog && dialog->isVisible());
    dialog->selectFile(path);
    static_cast<QDialog *>(dialog)->accept();
    QTRY_VERIFY(
        parent.findChild<chart::ChartWindow *>() && parent.findChild<chart::ChartWindow *>()->isVisible());
}

void TstChart::reductionKeepsExtremes_data()
{
    QTest::addColumn<int>("cycles");
    QTest::addColumn<int>("gapEvery");
    QTest::newRow("dense") << 200000 << 0;
    QTest::newRow("dense with gaps") << 200000 << 97;
    QTest::newRow("sparse") << 150 << 7;
}

void TstChart::reductionKeepsExtremes()
{
    QFETCH(int, cycles);
    QFETCH(int, gapEvery);
    constexpr int columns = 300;
    chart::ChartData data;
    data.beginRun({{RomA}});
    QRandomGenerator random(1);
    for (int c = 0; c < cycles; ++c) {
        const bool gap = gapEvery != 0 && c % gapEvery == 0;
        // Rare spikes, one reading wide, must survive.
        const float value = random.bounded(500) == 0 ? 80.0F + static_cast<float>(random.bounded(20))
                                                     : 20.0F + static_cast<float>(random.bounded(1.0));
        data.appendCycle(cycleOfA(c * 1000LL, gap ? std::nullopt : std::optional<float>(value)));
    }
    const qint64 to = data.lastTime();
    const std::vector<chart::ReducedLine> lines = data.reduce(0, to, columns);
    const std::vector<QPointF> &points = lines.front().points;
    QVERIFY(points.size() <= static_cast<std::size_t>(6 * columns + 6));
    const double columnMs = static_cast<double>(to) / columns;
    // Every column's lowest and highest reading is drawn, or one beyond it, at most a column away.
    for (int col = 0; col < columns; ++col) {
        float low = INFINITY;
        float high = -INFINITY;
        for (qint64 c = static_cast<qint64>(std::ceil(col * columnMs / 1000));
             c < cycles && static_cast<double>(c * 1000) < (col + 1) * columnMs; ++c) {
            const float v = data.value(0, c);
            if (!std::isnan(v)) {
                low = std::min(low, v);
                high = std::max(high, v);
            }
        }
        for (const float wanted : {low, high}) {
            if (std::isinf(wanted))
                continue;
            const bool drawn = std::any_of(points.begin(), points.end(), [&](const QPointF &p) {
                return (wanted == low ? p.y() <= wanted : p.y() >= wanted)
                    && std::abs(p.x() - (col + 0.5) * columnMs) <= 1.5 * columnMs;
            });
            QVERIFY2(drawn, qPrintable(QStringLiteral("column %1 lost %2").arg(col).arg(wanted)));
        }
    }
    // Where every cycle has a column of its own, a line joins neighbouring cycles only, never across a gap.
    for (std::size_t p = 1; cycles < columns && p < points.size(); ++p)
        if (!std::isnan(points[p].y()) && !std::isnan(points[p - 1].y()))
            QCOMPARE(points[p].x() - points[p - 1].x(), 1000.0);
}

void TstChart::followsRecords()
{
    chart::ChartWindow window;
    window.resize(800, 500);
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("KX4136 chart"));
    const auto cycle = [&](int second, const QList<std::pair<RomCode, std::optional<float>>> &readings) {
        logging::CycleRecord record {Start.addSecs(second), {}};
        for (const auto &[rom, celsius] : readings)
            record.sensors.append({static_cast<int>(record.sensors.size()), rom, celsius});
        window.cycleEnded(record);
    };
    window.runStarted({{RomA, RomB}, 1000, {{QStringLiteral("Freezer"), {}}, {}}});
    QCOMPARE(window.data().sensorName(0), QStringLiteral("Freezer (28 B4 84 D7 0F 4F 4C AF)"));
    for (int s = 0; s < 60; ++s)
        cycle(s,
            {{RomA, 20.0F + static_cast<float>(s)},
                {RomB, s == 30 ? std::nullopt : std::optional<float>(5.0F)}});
    // The user looks at an older part: new cycles leave the view where it is.
    window.chart()->zoomTime(0.5, window.chart()->plotArea().left());
    QVERIFY(!window.chart()->following());
    const auto looked = window.chart()->timeRange();
    window.runStarted({{RomB}});
    cycle(100, {{RomB, 6.0F}});
    QCOMPARE(window.chart()->timeRange(), looked);
    window.chart()->showWhole();
    QVERIFY(window.chart()->following());
    QVERIFY(window.chart()->timeRange().second >= Start.addSecs(100).toMSecsSinceEpoch());

    const chart::ChartData &data = window.data();
    QCOMPARE(data.sensorCount(), 2);
    QCOMPARE(data.sensorName(1), QStringLiteral("Sensor #0 (28 01 02 03 04 05 06 07)"));
    QCOMPARE(data.sensorName(0), QStringLiteral("Sensor #0 (28 B4 84 D7 0F 4F 4C AF)")); // the cycles' own
    QCOMPARE(rows(data).mid(29, 3), (QStringList {"49 5", "50 ?", "51 5"}));
    QCOMPARE(rows(data).mid(60), (QStringList {"? ?", "? 6"}));
}

void TstChart::limitsInView_data()
{
    QTest::addColumn<double>("low"); // NaN: none
    QTest::addColumn<double>("high");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("read"); // readings 20 and 22 in view, or none
    QTest::addColumn<QString>("span");
    QTest::addColumn<int>("dashed");
    const double none = qQNaN();
    QTest::newRow("none") << none << none << false << true << "20 22" << 0;
    QTest::newRow("high above the readings") << none << 30.0 << false << true << "20 30" << 1;
    QTest::newRow("both around them") << -5.0 << 30.0 << false << true << "-5 30" << 2;
    QTest::newRow("both among them") << 21.0 << 21.5 << false << true << "20 22" << 2;
    QTest::newRow("line hidden") << -5.0 << 30.0 << true << true << "none" << 0;
    QTest::newRow("no reading in view") << -5.0 << 30.0 << false << false << "none" << 0;
}

void TstChart::limitsInView()
{
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(bool, hidden);
    QFETCH(bool, read);
    QFETCH(QString, span);
    QFETCH(int, dashed);
    logging::SensorSettings settings;
    settings.limits.low = std::isnan(low) ? std::nullopt : std::optional(low);
    settings.limits.high = std::isnan(high) ? std::nullopt : std::optional(high);
    chart::ChartData data;
    data.beginRun({{RomA}, 0, {settings}});
    data.appendCycle(cycleOfA(0, read ? std::optional(20.0F) : std::nullopt, settings));
    data.appendCycle(cycleOfA(1000, read ? std::optional(22.0F) : std::nullopt, settings));
    const std::vector<chart::ReducedLine> reduced = data.reduce(0, 1000, 50);
    const std::vector<chart::LimitLine> lines = chart::limitLines(data, reduced, {hidden});
    const auto found = chart::celsiusSpan(reduced, {hidden}, lines);
    QCOMPARE(
        found ? QStringLiteral("%1 %2").arg(found->first).arg(found->second) : QStringLiteral("none"), span);
    QCOMPARE(static_cast<int>(lines.size()), dashed);
    QCOMPARE(chart::limitsNote(data).isEmpty(), std::isnan(low) && std::isnan(high));
}

void TstChart::plot_data()
{
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    const QByteArrayList good {header({RomA}), data(0, {1.0F}), data(60, {2.0F})};
    QTest::newRow("written") << good << QStringList {"--size", "640x480"} << 0;
    QTest::newRow("no data line") << QByteArrayList {header({RomA}), "junk"} << QStringList {} << 1;
    QTest::newRow("bad size") << good << QStringList {"--size", "640"} << 2;
    QTest::newRow("missing file") << QByteArrayList {} << QStringList {} << 2;
    const QString badSensors = writeLog(m_dir.filePath(QStringLiteral("bad.ini")), {"[28]"});
    QTest::newRow("broken sensors file") << good << QStringList {"--sensors", badSensors} << 2;
}

void TstChart::plot()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    const QString log = m_dir.filePath(QStringLiteral("plot.log"));
    const QString png = m_dir.filePath(QStringLiteral("plot.png"));
    QFile::remove(log);
    QFile::remove(png);
    if (!lines.isEmpty())
        writeLog(log, lines);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(KX_PROGRAM), QStringList {"--plot", log, "--output", png} + options);
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), exitCode);
    QCOMPARE(QImage(png).size(), exitCode == 0 ? QSize(640, 480) : QSize(0, 0));
    QCOMPARE(program.readAllStandardError().contains("kx4136-logger: "), exitCode != 0);
}

QTEST_MAIN(TstChart)
#include "tst_chart.moc"
