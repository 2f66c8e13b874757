// Which serial device stands behind COM port n.
#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>

namespace serial {

// COM port number → device path, from the command line's --com n=DEVICE; unlisted ports use the default.
using PortMap = std::map<int16_t, QString>;

// The device of COM port n: the mapped one, else COMn on Windows and /dev/ttyS<n-1> elsewhere.
// Empty for a port number below 1 without a mapping.
QString devicePath(const PortMap &map, int16_t portNum);

// Reads "n=DEVICE" (n from 1 to 32767, DEVICE not empty); nothing for anything else.
std::optional<std::pair<int16_t, QString>> parseComMapping(QStringView text);

} // namespace serial
