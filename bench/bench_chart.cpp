// The chart's costs: a redraw over 32 sensors and 600,000 cycles (about a week at one cycle a second),
// reading a 100 MB log file, and reading hostile logs (a huge line of blanks, thousands of runs each with
// a sensor of its own).
#include "chart/ChartData.h"
#include "chart/LogReading.h"
#include "chart/ReadingsChart.h"
#include "logging/TextFormats.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>

namespace {

constexpr int Sensors = 32;

QList<logging::RomCode> roms()
{
    QList<logging::RomCode> list;
    for (int s = 0; s < Sensors; ++s)
        list.append(
            {0x28, static_cast<uint8_t>(s), 0x11, 0x22, 0x33, 0x44, 0x55, static_cast<uint8_t>(0xA0 + s)});
    return list;
}

// A slow wave per sensor with noise, and now and then a failed read.
QList<std::optional<float>> cycleReadings(QRandomGenerator &random, qint64 cycle)
{
    QList<std::optional<float>> readings;
    for (int s = 0; s < Sensors; ++s) {
        if (random.bounded(1000) == 0) {
            readings.append(std::nullopt);
            continue;
        }
        const double wave = 5 * std::sin(static_cast<double>(cycle) / (3000.0 + 100 * s));
        readings.append(static_cast<float>(20 + s * 0.5 + wave + random.bounded(0.25)));
    }
    return readings;
}

// A cycle as the run tells it.
logging::CycleRecord cycleRecord(qint64 msecs, const QList<std::optional<float>> &readings)
{
    static const QList<logging::RomCode> all = roms();
    logging::CycleRecord record {QDateTime::fromMSecsSinceEpoch(msecs), {}};
    for (int s = 0; s < Sensors; ++s)
        record.sensors.append({s, all[s], readings[s]});
    return record;
}

const chart::ChartData &bigData(qint64 cycles)
{
    static chart::ChartData data;
    if (data.cycleCount() != cycles) {
        data.clear();
        QRandomGenerator random(7);
        data.beginRun({roms()});
        const qint64 start = QDateTime(QDate(2026, 1, 5), QTime(0, 0)).toMSecsSinceEpoch();
        for (qint64 c = 0; c < cycles; ++c)
            data.appendCycle(cycleRecord(start + c * 1000, cycleReadings(random, c)));
    }
    return data;
}

void BM_Reduce(benchmark::State &state)
{
    const chart::ChartData &data = bigData(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(data.reduce(data.firstTime(), data.lastTime(), 1100));
}
BENCHMARK(BM_Reduce)->Arg(600000)->Unit(benchmark::kMillisecond);

// What a new cycle or a zoom costs: the reduction, the axes and the lines painted at 1200x600.
void BM_Redraw(benchmark::State &state)
{
    const chart::ChartData &data = bigData(state.range(0));
    QGraphicsScene scene;
    auto *chart = new chart::ReadingsChart(data);
    scene.addItem(chart);
    chart->setGeometry(QRectF(0, 0, 1200, 600));
    chart->layout()->activate();
    QImage image(1200, 600, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        chart->refresh();
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter);
    }
}
BENCHMARK(BM_Redraw)->Arg(600000)->Unit(benchmark::kMillisecond);

// A log file of about N MB: 32 sensors, one line per second.
void BM_ReadLog(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.log"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            state.SkipWithError("cannot write the log file");
        QRandomGenerator random(7);
        file.write((logging::logHeaderLine(roms()) + QStringLiteral("\r\n")).toUtf8());
        QDateTime when(QDate(2026, 1, 5), QTime(0, 0));
        for (qint64 c = 0; file.size() < state.range(0) * 1024 * 1024; ++c)
            file.write(
                (logging::logDataLine(when.addSecs(c), cycleReadings(random, c)) + QStringLiteral("\r\n"))
                    .toUtf8());
    }
    for (auto _ : state) {
        const chart::LogReading read = chart::readLogFile(path);
        state.counters["lines"] = static_cast<double>(read.dataLines);
        state.counters["unreadable"] = static_cast<double>(read.unreadable);
    }
    state.counters["MB"] = static_cast<double>(QFile(path).size()) / (1024 * 1024);
}
BENCHMARK(BM_ReadLog)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReadLog)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(1);

// Hostile logs: range 0 is a line of N MB of blanks between two good lines; otherwise N runs of one
// cycle, each with a new sensor. Reading must stay linear, and the kept sensors capped.
void BM_ReadHostileLog(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hostile.log"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            state.SkipWithError("cannot write the log file");
        const QDateTime when(QDate(2026, 1, 5), QTime(0, 0));
        const auto line
            = [&file](const QString &text) { file.write((text + QStringLiteral("\r\n")).toUtf8()); };
        if (state.range(0) == 0) {
            line(logging::logHeaderLine(roms()));
            file.write(QByteArray(state.range(1) * 1024 * 1024, ' ') + "\r\n");
            line(logging::logDataLine(when, QList<logging::Reading>(Sensors, 20.0F)));
        }
        for (qint64 run = 0; state.range(0) == 1 && run < state.range(1); ++run) {
            const logging::RomCode rom {0x28, static_cast<uint8_t>(run), static_cast<uint8_t>(run >> 8),
                static_cast<uint8_t>(run >> 16), 1, 2, 3, 4};
            line(logging::logHeaderLine({rom}));
            line(logging::logDataLine(when.addSecs(run), {20.0F}));
        }
    }
    for (auto _ : state) {
        const chart::LogReading read = chart::readLogFile(path);
        state.counters["lines"] = static_cast<double>(read.dataLines);
        state.counters["unreadable"] = static_cast<double>(read.unreadable);
        state.counters["shown"] = static_cast<double>(read.data.sensorCount());
        state.counters["left_out"] = static_cast<double>(read.data.leftOutCount());
    }
    state.counters["MB"] = static_cast<double>(QFile(path).size()) / (1024 * 1024);
}
BENCHMARK(BM_ReadHostileLog)->Args({0, 1})->Args({0, 64})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReadHostileLog)
    ->Args({1, 10000})
    ->Args({1, 30000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
