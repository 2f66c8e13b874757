// The per-user port map: "n=DEVICE" lines naming the serial device behind COM port n.
#pragma once

#include "driver/serial/PortMap.h"

#include <QString>
#include <QStringView>

namespace serial {

struct PortsFile
{
    PortMap ports;
    // Empty, or the first line that cannot be read: "<path>, line N: <what is wrong>".
    QString error;
};

// The lines of a ports file named `path`: "n=DEVICE" as --com takes it, blank lines, and comments that
// start with # or ;. Blanks around the number and the device do not count. With an error, `ports` is empty.
PortsFile parsePortsFile(const QString &path, QStringView text);
// A missing file maps nothing, without an error.
PortsFile readPortsFile(const QString &path);

} // namespace serial
