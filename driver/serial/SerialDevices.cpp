// Finds the serial devices present and says how to map one.
#include "driver/serial/SerialDevices.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>

namespace serial {

QList<SerialDevice> serialDevicesPresent(const QString &devFolder)
{
    QList<SerialDevice> devices;
    const QDir dev(devFolder);
    const QStringList kinds {QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")};
    for (const QString &name : dev.entryList(kinds, QDir::System | QDir::Files, QDir::Name))
        devices.append({dev.filePath(name), {}});
    const QDir byId(dev.filePath(QStringLiteral("serial/by-id")));
    for (const QFileInfo &link : byId.entryInfoList(QDir::System | QDir::Files, QDir::Name)) {
        const QString target = QDir::cleanPath(link.symLinkTarget());
        const auto known = std::find_if(devices.begin(), devices.end(),
            [&target](const SerialDevice &device) { return QDir::cleanPath(device.path) == target; });
        if (known != devices.end())
            known->byId = link.filePath();
        else if (!target.isEmpty())
            devices.append({target, link.filePath()});
    }
    std::sort(devices.begin(), devices.end(),
        [](const SerialDevice &a, const SerialDevice &b) { return a.path < b.path; });
    return devices;
}

QString mappingHint(int16_t portNum, const QString &devFolder, const QString &portsFile)
{
    const QList<SerialDevice> devices = serialDevicesPresent(devFolder);
    QStringList names;
    for (const SerialDevice &device : devices)
        names << (device.byId.isEmpty() ? device.path
                                        : QStringLiteral("%1 (%2)").arg(device.path, device.byId));
    // A by-id name stays the same when adapters are plugged in another order.
    const auto lasting = std::find_if(
        devices.begin(), devices.end(), [](const SerialDevice &device) { return !device.byId.isEmpty(); });
    const QString example = lasting != devices.end() ? lasting->byId
        : devices.isEmpty()                          ? QStringLiteral("DEVICE")
                                                     : devices.first().path;
    const QString present = devices.isEmpty()
        ? QStringLiteral("No USB serial device is present.")
        : QStringLiteral("Serial devices present: %1.").arg(names.join(QStringLiteral(", ")));
    return QStringLiteral(
        "%1 To use one as COM port %2, add the line \"%2=%3\" to %4 or start with --com %2=%3.")
        .arg(present)
        .arg(portNum)
        .arg(example, QDir::toNativeSeparators(portsFile));
}

} // namespace serial
