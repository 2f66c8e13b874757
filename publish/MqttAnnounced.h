// The sensors announced to a broker, remembered in the state folder across runs of the program.
#pragma once

#include "logging/Readings.h"
#include "publish/MqttDiscovery.h"
#include "publish/MqttOptions.h"

#include <QString>
#include <set>

namespace publish {

// "<state folder>/mqtt-announced-<broker>-<port>-<bus>.txt"; empty without a state folder.
QString announcedFilePath(const MqttSettings &settings, const BusDevice &bus);
// The ROM codes in the file, one per line; a missing file, or a line that is no ROM code, adds none.
std::set<logging::RomCode> readAnnounced(const QString &path);
// Replaces the file atomically; empty on success, else why it could not be written.
QString writeAnnounced(const QString &path, const std::set<logging::RomCode> &roms);

} // namespace publish
