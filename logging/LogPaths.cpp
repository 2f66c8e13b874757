// Where the logger's files go by default: the log file and the folder where kept lines wait.
#include "logging/LogPaths.h"

#include "logging/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace logging {

QString defaultLogPath(LogBus bus)
{
    const QString name = bus == LogBus::Simulated ? QStringLiteral("KX4136_simulated_log.txt")
                                                  : QStringLiteral("KX4136_log.txt");
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\") + name;
#else
    // A drive letter means nothing here: the home folder takes the place of the drive's root.
    return QDir::toNativeSeparators(QDir(homeFolder()).filePath(name));
#endif
}

QString defaultPendingFolder()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString state = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
    const QString base = QDir::isAbsolutePath(state) ? state : homeFolder() + QStringLiteral("/.local/state");
#else
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
    return QDir::cleanPath(base + QStringLiteral("/kx4136-logger"));
}

} // namespace logging
