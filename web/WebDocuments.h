// What the web server knows of the run, and the documents made from it: the JSON API and the metrics text.
#pragma once

#include "chart/ChartData.h"
#include "logging/Readings.h"

#include <QByteArray>
#include <QList>
#include <optional>

namespace web {

enum class RunState { NotStarted, Running, Stopped };

// A copy of the records as the listener was told them; the server reads nothing else.
struct WebRun
{
    RunState state = RunState::NotStarted;
    logging::RunRecord run;
    std::optional<logging::CycleRecord> last;
    qint64 cycles = 0;
    // Per sensor index of the run: readings read and failed.
    QList<qint64> readings;
    QList<qint64> failed;
    // The run's chart: this run's cycles only.
    chart::ChartData chart;

    void start(const logging::RunRecord &record);
    void add(const logging::CycleRecord &cycle);
};

// "not started", "running", "stopped".
QByteArray runStateWord(RunState state);
// The sensor's name from the sensors file, or "Sensor #i".
QString shownName(const logging::SensorSettings &settings, int index);

// /api/readings: the last cycle (time ISO 8601 with offset, per sensor index, ROM, name, reading, alarm).
QByteArray readingsJson(const WebRun &run);
// /api/run: the state, the sensors, the interval and the real period.
QByteArray runJson(const WebRun &run);
// /metrics: the text exposition format 0.0.4.
QByteArray metricsText(const WebRun &run);

} // namespace web
