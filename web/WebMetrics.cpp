// /metrics: the run in the monitoring text exposition format 0.0.4, in base units.
#include "web/WebDocuments.h"

#include "logging/SensorsFile.h"

namespace web {

namespace {

QByteArray escaped(const QString &value)
{
    QByteArray text = value.toUtf8();
    text.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
    return text;
}

void family(QByteArray &out, const char *name, const char *type, const char *help)
{
    out += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

void sample(QByteArray &out, const char *name, const QByteArray &labels, double value)
{
    out += name;
    if (!labels.isEmpty())
        out += '{' + labels + '}';
    out += ' ' + QByteArray::number(value, 'g', 12) + '\n';
}

// The labels of sensor i: its ROM code, its index and, when the sensors file names it, its name.
QByteArray sensorLabels(const WebRun &run, qsizetype i)
{
    QByteArray labels = "rom=\"" + logging::romKey(run.run.roms[i]).toLatin1() + "\",index=\""
        + QByteArray::number(i) + '"';
    const QString name = run.run.settings.value(i).name;
    if (!name.isEmpty())
        labels += ",name=\"" + escaped(name) + '"';
    return labels;
}

} // namespace

QByteArray metricsText(const WebRun &run)
{
    QByteArray out;
    family(out, "kx4136_temperature_celsius", "gauge",
        "The sensor's reading in the last cycle; absent when that read failed.");
    if (run.last) {
        for (const logging::SensorReading &sensor : run.last->sensors)
            if (sensor.celsius && sensor.index >= 0 && sensor.index < run.run.roms.size())
                sample(out, "kx4136_temperature_celsius", sensorLabels(run, sensor.index),
                    static_cast<double>(*sensor.celsius));
    }
    family(out, "kx4136_readings_total", "counter", "Readings the sensor gave in this run.");
    for (qsizetype i = 0; i < run.readings.size(); ++i)
        sample(out, "kx4136_readings_total", sensorLabels(run, i), static_cast<double>(run.readings[i]));
    family(out, "kx4136_failed_readings_total", "counter", "Reads of the sensor that failed in this run.");
    for (qsizetype i = 0; i < run.failed.size(); ++i)
        sample(out, "kx4136_failed_readings_total", sensorLabels(run, i), static_cast<double>(run.failed[i]));
    family(out, "kx4136_cycles_total", "counter", "Reading cycles of this run.");
    sample(out, "kx4136_cycles_total", {}, static_cast<double>(run.cycles));
    if (run.last) {
        family(
            out, "kx4136_last_cycle_timestamp_seconds", "gauge", "When the last cycle ended, in Unix time.");
        sample(out, "kx4136_last_cycle_timestamp_seconds", {},
            static_cast<double>(run.last->when.toMSecsSinceEpoch()) / 1000.0);
        family(
            out, "kx4136_last_cycle_duration_seconds", "gauge", "How long the last cycle's bus work took.");
        sample(out, "kx4136_last_cycle_duration_seconds", {}, run.last->durationMs / 1000.0);
        family(out, "kx4136_reading_period_seconds", "gauge",
            "How often readings really come: the interval, or the longest cycle when longer.");
        sample(out, "kx4136_reading_period_seconds", {}, run.last->periodMs / 1000.0);
    }
    family(out, "kx4136_run_state", "gauge", "1 for the run's state, 0 for the others.");
    for (const RunState state : {RunState::NotStarted, RunState::Running, RunState::Stopped})
        sample(out, "kx4136_run_state", "state=\"" + runStateWord(state) + '"', run.state == state ? 1 : 0);
    return out;
}

} // namespace web
