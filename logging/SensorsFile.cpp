// The sensors file: a name and alarm limits per ROM code, read at START and by the chart, written by the
// window.
#include "logging/SensorsFile.h"

#include "bus/modTable.h"
#include "logging/FileAccess.h"
#include "logging/TextFormats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <cmath>

namespace logging {

namespace {

// A file a person edits by hand is small; anything larger is not one.
constexpr qint64 MaxFileBytes = 1024 * 1024;

const QString NameKey = QStringLiteral("name");
const QString LowKey = QStringLiteral("low");
const QString HighKey = QStringLiteral("high");
const QString HysteresisKey = QStringLiteral("hysteresis");

bool isComment(const QString &trimmed)
{
    return trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')) || trimmed.startsWith(QLatin1Char(';'));
}

// The key of a "[KEY]" line; none for any other line.
std::optional<QString> groupKey(const QString &trimmed)
{
    if (trimmed.size() < 2 || !trimmed.startsWith(QLatin1Char('[')) || !trimmed.endsWith(QLatin1Char(']')))
        return std::nullopt;
    return trimmed.mid(1, trimmed.size() - 2).trimmed();
}

// Degrees with a dot, whatever the user's language.
std::optional<double> celsiusFromText(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString celsiusText(double value)
{
    return QLocale::c().toString(value, 'g', 10);
}

// One "key=value" line into the settings; empty, or what is wrong with it.
QString readKey(const QString &key, const QString &value, SensorSettings &settings)
{
    if (key == NameKey) {
        settings.name = value;
        return {};
    }
    const bool known = key == LowKey || key == HighKey || key == HysteresisKey;
    if (!known)
        return QStringLiteral("unknown key \"%1\" (name, low, high and hysteresis are known)").arg(key);
    const std::optional<double> number = celsiusFromText(value);
    if (!number)
        return QStringLiteral("\"%1\" is not a number of degrees with a dot").arg(value);
    if (key == LowKey)
        settings.limits.low = number;
    else if (key == HighKey)
        settings.limits.high = number;
    else if (*number < 0)
        return QStringLiteral("the hysteresis cannot be negative");
    else
        settings.limits.hysteresis = *number;
    return {};
}

QString lineError(const QString &path, int line, const QString &what)
{
    return QStringLiteral("%1, line %2: %3").arg(QDir::toNativeSeparators(path)).arg(line).arg(what);
}

// A line break would end the name and make the rest a line of its own, even a group.
QString oneLine(QString text)
{
    return text.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '))
        .trimmed();
}

// The owned lines of one group, in the order a new group writes them.
QStringList keyLines(const SensorSettings &settings)
{
    QStringList lines;
    if (const QString name = oneLine(settings.name); !name.isEmpty())
        lines << NameKey + QLatin1Char('=') + name;
    if (settings.limits.low)
        lines << LowKey + QLatin1Char('=') + celsiusText(*settings.limits.low);
    if (settings.limits.high)
        lines << HighKey + QLatin1Char('=') + celsiusText(*settings.limits.high);
    if (settings.limits.hysteresis != SensorLimits().hysteresis)
        lines << HysteresisKey + QLatin1Char('=') + celsiusText(settings.limits.hysteresis);
    return lines;
}

bool isOwnedKeyLine(const QString &trimmed)
{
    const QString key = trimmed.section(QLatin1Char('='), 0, 0).trimmed();
    return trimmed.contains(QLatin1Char('='))
        && (key == NameKey || key == LowKey || key == HighKey || key == HysteresisKey);
}

} // namespace

QString defaultSensorsFilePath()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString config = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    const QString base = QDir::isAbsolutePath(config) ? config : homeFolder() + QStringLiteral("/.config");
#else
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
    return QDir::cleanPath(base + QStringLiteral("/kx4136-logger/sensors.ini"));
}

base::Result<SensorTable> readSensorsFile(const QString &path)
{
    SensorTable sensors;
    QFile file(path);
    if (!QFileInfo::exists(path))
        return sensors;
    if (QFileInfo(path).size() > MaxFileBytes || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return base::Failure {QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path),
            file.error() != QFileDevice::NoError ? file.errorString()
                                                 : QStringLiteral("not a sensors file"))};
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    SensorSettings *current = nullptr;
    for (int i = 0; i < lines.size(); ++i) {
        const QString trimmed = lines[i].trimmed();
        if (isComment(trimmed))
            continue;
        QString wrong;
        if (const std::optional<QString> key = groupKey(trimmed)) {
            const std::optional<RomCode> rom = romFromKey(*key);
            if (!rom)
                wrong
                    = QStringLiteral("\"%1\" is not a ROM code of 16 hex digits with a right CRC").arg(*key);
            else
                current = &sensors[*rom];
        } else if (!trimmed.contains(QLatin1Char('='))) {
            wrong = QStringLiteral("\"%1\" is neither [ROM code] nor key=value").arg(trimmed);
        } else if (!current) {
            wrong = QStringLiteral("a key before the first [ROM code]");
        } else {
            wrong = readKey(trimmed.section(QLatin1Char('='), 0, 0).trimmed(),
                trimmed.section(QLatin1Char('='), 1).trimmed(), *current);
            const SensorLimits &limits = current->limits;
            if (wrong.isEmpty() && limits.low && limits.high && *limits.low > *limits.high)
                wrong = QStringLiteral("low %1 is above high %2")
                            .arg(celsiusText(*limits.low), celsiusText(*limits.high));
        }
        if (!wrong.isEmpty())
            return base::Failure {lineError(path, i + 1, wrong)};
    }
    return sensors;
}

QString writeSensorSettings(const QString &path, const RomCode &rom, const SensorSettings &settings)
{
    QStringList lines;
    QFile current(path);
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly | QIODevice::Text))
            return current.errorString();
        lines = QString::fromUtf8(current.readAll()).split(QLatin1Char('\n'));
        current.close();
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
    }
    // The group's own key lines go; its comments and any other lines stay where they are.
    const QString key = romKey(rom);
    qsizetype at = -1;
    bool inGroup = false;
    for (qsizetype i = 0; i < lines.size();) {
        const QString trimmed = lines[i].trimmed();
        if (const std::optional<QString> group = groupKey(trimmed)) {
            inGroup = group->compare(key, Qt::CaseInsensitive) == 0;
            if (inGroup) {
                lines.removeAt(i);
                at = i;
                continue;
            }
        } else if (inGroup && isOwnedKeyLine(trimmed)) {
            lines.removeAt(i);
            continue;
        }
        ++i;
    }
    const QStringList owned = keyLines(settings);
    if (!owned.isEmpty()) {
        if (at < 0) {
            if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
                lines << QString();
            at = lines.size();
        }
        lines.insert(at, QLatin1Char('[') + key + QLatin1Char(']'));
        for (qsizetype i = 0; i < owned.size(); ++i)
            lines.insert(at + 1 + i, owned[i]);
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return file.errorString();
    file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    if (!file.commit())
        return file.errorString();
    return {};
}

QString romKey(const RomCode &rom)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(rom.data()), rom.size()).toHex())
        .toUpper();
}

std::optional<RomCode> romFromKey(const QString &key)
{
    if (key.size() != 16)
        return std::nullopt;
    const QByteArray bytes = QByteArray::fromHex(key.toLatin1());
    bool hex = true;
    for (const QChar c : key)
        hex = hex && c.unicode() < 128 && isxdigit(c.unicode()) != 0;
    if (!hex || bytes.size() != 8)
        return std::nullopt;
    RomCode rom {};
    uint8_t crc = 0;
    for (int i = 0; i < 8; ++i) {
        rom[static_cast<size_t>(i)] = static_cast<uint8_t>(bytes[i]);
        crc = modTable::CrcTable(static_cast<int16_t>(crc ^ rom[static_cast<size_t>(i)]));
    }
    // Over all eight bytes, the CRC of a right code comes to zero.
    if (crc != 0)
        return std::nullopt;
    return rom;
}

QString sensorDisplayName(const QString &name, const RomCode &rom)
{
    return name.isEmpty() ? romCodeText(rom) : QStringLiteral("%1 (%2)").arg(name, romCodeText(rom));
}

} // namespace logging
