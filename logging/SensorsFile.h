// The sensors file: a name and alarm limits per ROM code, read at START and by the chart, written by the
// window.
#pragma once

#include "base/Result.h"
#include "logging/Readings.h"

#include <QString>
#include <map>
#include <optional>

namespace logging {

using SensorTable = std::map<RomCode, SensorSettings>;

// $XDG_CONFIG_HOME/kx4136-logger/sensors.ini, ~/.config by default; the per-user settings folder on Windows.
QString defaultSensorsFilePath();

// A missing file is no names and no limits, and no failure. A file that cannot be read fails with its
// first such line: "<path>, line N: <what is wrong>".
base::Result<SensorTable> readSensorsFile(const QString &path);
// Sets one sensor's group (no name and no limits removes it), keeping every other line and comment, and
// replaces the file atomically. Empty on success, else why the file could not be written.
QString writeSensorSettings(const QString &path, const RomCode &rom, const SensorSettings &settings);

// 16 upper-case hex digits, family code first: the file's group names and the MQTT topics' spelling.
QString romKey(const RomCode &rom);
// The ROM code of a key, when it has 16 hex digits and its CRC-8 is right.
std::optional<RomCode> romFromKey(const QString &key);

// "Freezer (28 B4 84 D7 0F 4F 4C AF)"; the ROM code text alone for a sensor without a name.
QString sensorDisplayName(const QString &name, const RomCode &rom);

} // namespace logging
