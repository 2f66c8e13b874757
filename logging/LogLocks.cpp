// Locks on log files, in the pending folder: one running program at a time logs into a file.
#include "logging/LogLocks.h"

#include "logging/FileAccess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace logging {

namespace {

QString resolved(const QString &path)
{
    const QFileInfo file(path);
    QString name = file.canonicalFilePath();
    if (name.isEmpty()) {
        // Not there yet: its folder may be, under another name.
        const QString folder = file.absoluteDir().canonicalPath();
        name = folder.isEmpty() ? QDir::cleanPath(file.absoluteFilePath()) : folder + u'/' + file.fileName();
    }
#ifdef Q_OS_WIN
    name = name.toLower();
#endif
    return name;
}

} // namespace

bool LogLocks::take(const QString &path)
{
    if (m_folder.isEmpty() || path.isEmpty())
        return true;
    const QString key = resolved(path);
    if (m_held.count(key) != 0)
        return true;
    if (!makePrivateFolder(m_folder))
        return true;
    const QByteArray hash = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex();
    auto lock = std::make_unique<QLockFile>(
        QDir(m_folder).filePath(QStringLiteral("log-%1.lock").arg(QString::fromLatin1(hash))));
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_held.emplace(key, std::move(lock));
        m_keys[path] = key;
        return true;
    }
    // A folder that cannot hold the lock keeps nobody from logging.
    return lock->error() != QLockFile::LockFailedError;
}

void LogLocks::release(const QString &path)
{
    // Under the name it had when taken: the file may have come into being since.
    if (const auto key = m_keys.find(path); key != m_keys.end()) {
        m_held.erase(key->second);
        m_keys.erase(key);
    }
}

} // namespace logging
