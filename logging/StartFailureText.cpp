// The line that tells the user why a session could not start.
#include "logging/StartFailureText.h"

#include <QFileInfo>

namespace logging {

namespace {

QString permissionHint(const QString &device)
{
    // The group that owns the device is the one to join; root owning it says nothing useful.
    const QString group = device.isEmpty() ? QString() : QFileInfo(device).group();
    if (group.isEmpty() || group == QLatin1String("root"))
        return QStringLiteral("permission denied; your user must be in the group that may use serial ports "
                              "(\"dialout\" on Debian), then log in again");
    return QStringLiteral("permission denied; add your user to the group \"%1\" that owns it, then log in "
                          "again")
        .arg(group);
}

QString reasonText(const xw::StartFailure &failure)
{
    using Reason = xw::StartFailure::Reason;
    switch (failure.reason) {
    case Reason::None:
    case Reason::Unknown:
        break;
    case Reason::NoSuchPort:
        return QStringLiteral("no such port");
    case Reason::NoSuchDevice:
        return QStringLiteral("no such device");
    case Reason::PermissionDenied:
        return permissionHint(failure.device);
    case Reason::InUse:
        return QStringLiteral("in use by another program");
    case Reason::NotSerial:
        return QStringLiteral("not a serial port");
    case Reason::NoAdapter:
        return QStringLiteral("no adapter answering");
    case Reason::ShortedBus:
        return QStringLiteral("1-wire bus shorted");
    case Reason::BadPortMap:
        return failure.detail;
    }
    return QStringLiteral("the driver does not say why");
}

} // namespace

QString startFailureLine(int16_t portNum, const xw::StartFailure &failure)
{
    const QString port = failure.device.isEmpty()
        ? QStringLiteral("COM port %1").arg(portNum)
        : QStringLiteral("COM port %1 (%2)").arg(portNum).arg(failure.device);
    QString line = QStringLiteral("%1: %2").arg(port, reasonText(failure));
    // The file's message ends as a sentence already.
    if (failure.reason == xw::StartFailure::Reason::BadPortMap)
        return line;
    line += u'.';
    return failure.detail.isEmpty() ? line : line + u' ' + failure.detail;
}

} // namespace logging
