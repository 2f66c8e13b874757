// The serial devices present, for the line that says how to map one to a COM port.
#pragma once

#include <QList>
#include <QString>
#include <cstdint>

namespace serial {

struct SerialDevice
{
    QString path; // "/dev/ttyUSB0"
    QString byId; // its lasting name under serial/by-id; empty when it has none
};

// The USB serial devices in `devFolder` ("/dev"): ttyUSB*, ttyACM* and whatever serial/by-id names,
// in the order of their paths. The ttyS nodes are left out: they exist whether a port is fitted or not.
QList<SerialDevice> serialDevicesPresent(const QString &devFolder);

// What to do when COM port n stands for no adapter: the devices present and how to map one to it, with
// a line of the ports file or with --com.
QString mappingHint(int16_t portNum, const QString &devFolder, const QString &portsFile);

} // namespace serial
