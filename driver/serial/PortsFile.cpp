// Reads the per-user port map.
#include "driver/serial/PortsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace serial {

namespace {

QString lineError(const QString &path, qsizetype line, const QString &what)
{
    return QStringLiteral("%1, line %2: %3").arg(QDir::toNativeSeparators(path)).arg(line).arg(what);
}

} // namespace

PortsFile parsePortsFile(const QString &path, QStringView text)
{
    PortsFile file;
    const auto lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringView line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        const auto equals = line.indexOf(u'=');
        const QString mapping = equals < 0
            ? line.toString()
            : line.first(equals).trimmed().toString() + u'=' + line.sliced(equals + 1).trimmed().toString();
        const auto parsed = parseComMapping(mapping);
        if (!parsed)
            return {{},
                lineError(
                    path, i + 1, QStringLiteral("\"%1\" is not N=DEVICE with N from 1 to 32767.").arg(line))};
        if (!file.ports.emplace(*parsed).second)
            return {{},
                lineError(path, i + 1, QStringLiteral("COM port %1 is mapped twice.").arg(parsed->first))};
    }
    return file;
}

PortsFile readPortsFile(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.exists())
        return {};
    // A FIFO or a device could hold START for ever.
    if (!QFileInfo(path).isFile())
        return {{}, QStringLiteral("%1: not a regular file.").arg(QDir::toNativeSeparators(path))};
    if (!file.open(QIODevice::ReadOnly))
        return {{}, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString())};
    return parsePortsFile(path, QString::fromUtf8(file.readAll()));
}

} // namespace serial
