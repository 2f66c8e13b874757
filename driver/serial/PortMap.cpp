// Which serial device stands behind COM port n.
#include "driver/serial/PortMap.h"

namespace serial {

QString devicePath(const PortMap &map, int16_t portNum)
{
    if (const auto it = map.find(portNum); it != map.end())
        return it->second;
    if (portNum < 1)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNum);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNum - 1);
#endif
}

std::optional<std::pair<int16_t, QString>> parseComMapping(QStringView text)
{
    const auto equals = text.indexOf(u'=');
    if (equals < 1 || equals == text.size() - 1)
        return std::nullopt;
    bool ok = false;
    const int number = text.first(equals).toInt(&ok);
    if (!ok || number < 1 || number > 32767)
        return std::nullopt;
    return std::pair {static_cast<int16_t>(number), text.sliced(equals + 1).toString()};
}

} // namespace serial
