// Writes the console's JSON Lines.
#include "app/JsonLines.h"

#include "logging/Alarms.h"
#include "logging/SensorsFile.h"
#include "logging/TextFormats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace app {

namespace jsonlines {

namespace {

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonValue orNull(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue nameOrNull(const QString &name)
{
    return name.isEmpty() ? QJsonValue() : QJsonValue(name);
}

QJsonObject sensor(int index, const logging::RomCode &rom, const QString &name)
{
    return {{QStringLiteral("index"), index}, {QStringLiteral("rom"), logging::romKey(rom)},
        {QStringLiteral("name"), nameOrNull(name)}};
}

std::optional<double> celsius(const std::optional<float> &reading)
{
    return reading ? std::optional<double>(*reading) : std::nullopt;
}

} // namespace

QString cycleLine(const logging::CycleRecord &cycle)
{
    QJsonArray sensors;
    for (const logging::SensorReading &reading : cycle.sensors) {
        QJsonObject object = sensor(reading.index, reading.rom, reading.settings.name);
        object.insert(QStringLiteral("reading"), orNull(celsius(reading.celsius)));
        object.insert(QStringLiteral("alarm"), logging::alarmStateWord(reading.alarm));
        sensors.append(object);
    }
    return compact({{QStringLiteral("kind"), QStringLiteral("cycle")},
        {QStringLiteral("time"), logging::isoTimeText(cycle.when)}, {QStringLiteral("sensors"), sensors}});
}

QString runLine(const logging::RunRecord &run)
{
    QJsonArray sensors;
    for (int i = 0; i < run.roms.size(); ++i)
        sensors.append(sensor(i, run.roms[i], i < run.settings.size() ? run.settings[i].name : QString()));
    return compact({{QStringLiteral("kind"), QStringLiteral("run")},
        {QStringLiteral("interval"), run.intervalMs / 1000.0}, {QStringLiteral("sensors"), sensors}});
}

QString alarmLine(const logging::AlarmChange &change)
{
    QJsonObject object = sensor(change.index, change.rom, change.name);
    object.insert(QStringLiteral("kind"), QStringLiteral("alarm"));
    object.insert(QStringLiteral("time"), logging::isoTimeText(change.when));
    object.insert(QStringLiteral("state"), logging::alarmStateWord(change.state));
    object.insert(QStringLiteral("previous"), logging::alarmStateWord(change.previous));
    object.insert(QStringLiteral("reading"), orNull(celsius(change.celsius)));
    object.insert(QStringLiteral("limit"), orNull(change.limit));
    return compact(object);
}

QString deviceListLine(const QString &line)
{
    // The device list's sensor line: "Sensor #0 : 28 6A 3F 11 03 00 00 C4 , 12-bit".
    static const QRegularExpression sensorLine(
        QStringLiteral("^Sensor #(\\d+) :((?: [0-9A-F]{2}){8}) , (-?\\d+)-bit$"));
    const QRegularExpressionMatch match = sensorLine.match(line);
    if (!match.hasMatch())
        return messageLine(line);
    const int resolution = match.captured(3).toInt();
    return compact({{QStringLiteral("kind"), QStringLiteral("device")},
        {QStringLiteral("index"), match.captured(1).toInt()},
        {QStringLiteral("rom"), match.captured(2).remove(QLatin1Char(' '))},
        // A resolution that could not be read shows as a number no sensor has.
        {QStringLiteral("resolution"),
            resolution >= 9 && resolution <= 12 ? QJsonValue(resolution) : QJsonValue()},
        {QStringLiteral("text"), line}});
}

QString messageLine(const QString &text)
{
    return compact({{QStringLiteral("kind"), QStringLiteral("message")}, {QStringLiteral("text"), text}});
}

} // namespace jsonlines

} // namespace app
