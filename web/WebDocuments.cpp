// The run as the web server keeps it, and the JSON API's documents.
#include "web/WebDocuments.h"

#include "logging/Alarms.h"
#include "logging/SensorsFile.h"
#include "logging/TextFormats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace web {

void WebRun::start(const logging::RunRecord &record)
{
    state = RunState::Running;
    run = record;
    last.reset();
    cycles = 0;
    readings = QList<qint64>(record.roms.size(), 0);
    failed = readings;
    chart.clear();
    chart.beginRun({record.roms});
}

void WebRun::add(const logging::CycleRecord &cycle)
{
    last = cycle;
    ++cycles;
    for (const logging::SensorReading &sensor : cycle.sensors) {
        if (sensor.index < 0 || sensor.index >= readings.size())
            continue;
        ++(sensor.celsius ? readings : failed)[sensor.index];
    }
    chart.appendCycle(cycle);
}

QByteArray runStateWord(RunState state)
{
    switch (state) {
    case RunState::NotStarted:
        return "not started";
    case RunState::Running:
        return "running";
    case RunState::Stopped:
        return "stopped";
    }
    return {};
}

QString shownName(const logging::SensorSettings &settings, int index)
{
    return settings.name.isEmpty() ? QStringLiteral("Sensor #%1").arg(index) : settings.name;
}

namespace {

QJsonValue nameValue(const QString &name)
{
    return name.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(name);
}

// A float reading as the short decimal it stands for (21.3, not 21.299999237).
QJsonValue celsiusValue(const std::optional<float> &celsius)
{
    if (!celsius)
        return QJsonValue::Null;
    return std::round(static_cast<double>(*celsius) * 10000.0) / 10000.0;
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

QByteArray readingsJson(const WebRun &run)
{
    QJsonArray sensors;
    if (run.last) {
        for (const logging::SensorReading &sensor : run.last->sensors)
            sensors.append(QJsonObject {{"index", sensor.index}, {"rom", logging::romKey(sensor.rom)},
                {"name", nameValue(sensor.settings.name)}, {"reading", celsiusValue(sensor.celsius)},
                {"alarm", logging::alarmStateWord(sensor.alarm)}});
    }
    return compact({{"state", QString::fromLatin1(runStateWord(run.state))}, {"cycle", run.cycles},
        {"time", run.last ? QJsonValue(logging::isoTimeText(run.last->when)) : QJsonValue(QJsonValue::Null)},
        {"sensors", sensors}});
}

QByteArray runJson(const WebRun &run)
{
    QJsonArray sensors;
    for (qsizetype i = 0; i < run.run.roms.size(); ++i)
        sensors.append(QJsonObject {{"index", static_cast<int>(i)}, {"rom", logging::romKey(run.run.roms[i])},
            {"name", nameValue(run.run.settings.value(i).name)}});
    const int32_t periodMs = run.last ? run.last->periodMs : run.run.intervalMs;
    return compact({{"state", QString::fromLatin1(runStateWord(run.state))}, {"cycles", run.cycles},
        {"intervalSeconds", run.run.intervalMs / 1000.0}, {"periodSeconds", periodMs / 1000.0},
        {"sensors", sensors}});
}

} // namespace web
