// The sensors announced to a broker, remembered in the state folder across runs of the program.
#include "publish/MqttAnnounced.h"

#include "logging/FileAccess.h"
#include "logging/SensorsFile.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

namespace publish {

QString announcedFilePath(const MqttSettings &settings, const BusDevice &bus)
{
    if (settings.stateFolder.isEmpty())
        return QString();
    // An IPv6 address or a host name with odd characters still makes one plain file name.
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    const QString key = QStringLiteral("%1-%2-%3").arg(settings.host).arg(settings.port).arg(busKey(bus));
    return QDir(settings.stateFolder)
        .filePath(
            QStringLiteral("mqtt-announced-%1.txt").arg(QString(key).replace(unsafe, QStringLiteral("_"))));
}

std::set<logging::RomCode> readAnnounced(const QString &path)
{
    std::set<logging::RomCode> roms;
    QFile file;
    // A file planted there by someone else, or one that would hold the program (a FIFO), is not read.
    if (path.isEmpty() || !logging::openPrivateFile(file, path).isEmpty())
        return roms;
    // Bounded: a file that something else has grown is not read to its end.
    for (int i = 0; i < 10000 && !file.atEnd(); ++i)
        if (const auto rom = logging::romFromKey(QString::fromLatin1(file.readLine(64)).trimmed()))
            roms.insert(*rom);
    return roms;
}

QString writeAnnounced(const QString &path, const std::set<logging::RomCode> &roms)
{
    if (!logging::makePrivateFolder(QFileInfo(path).absolutePath()))
        return QStringLiteral("cannot make its folder");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return file.errorString();
    for (const logging::RomCode &rom : roms)
        file.write((logging::romKey(rom) + QLatin1Char('\n')).toLatin1());
    return file.commit() ? QString() : file.errorString();
}

} // namespace publish
