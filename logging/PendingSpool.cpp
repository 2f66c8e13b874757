// The pending spool: this program's instance and its pending files, spilling kept lines into them, and
// taking over the lines of programs that have ended.
#include "logging/LogFile.h"

#include "logging/LogLines.h"
#include "logging/PendingFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <atomic>

namespace logging {

QString LogFile::newInstanceName()
{
    // Time first, so that the files of earlier programs sort first; the count parts two logs of one process.
    static std::atomic<int> count {0};
    return QStringLiteral("%1-%2-%3")
        .arg(QDateTime::currentMSecsSinceEpoch(), 13, 10, QLatin1Char('0'))
        .arg(QCoreApplication::applicationPid(), 7, 10, QLatin1Char('0'))
        .arg(++count, 4, 10, QLatin1Char('0'));
}

bool LogFile::useFolder()
{
    const QString problem = untrustedReason(m_folder);
    if (problem.isEmpty()) {
        m_locks.setFolder(m_folder);
        return true;
    }
    m_report(QStringLiteral("The pending folder %1 is not used (%2): kept lines are held in memory only.")
                 .arg(shown(m_folder), problem));
    m_folder.clear();
    return false;
}

void LogFile::keep(const QString &path, const QByteArray &line, const QString &reason)
{
    Failing p = failingFor(path);
    if (p == m_failing.end())
        p = startFailing(path);
    tellFailing(*p, reason);
    if (p->groups.empty() || p->groups.back().run != m_run)
        p->groups.push_back(Group {m_run, m_runHeader, QString(), 0, {}});
    p->groups.back().inMemory.push_back(line);
    m_memoryBytes += line.size();
    spill(*p);
    while (m_memoryBytes > m_keptBytes)
        dropOldest();
}

void LogFile::spill(PathLines &p)
{
    if (m_folder.isEmpty())
        return;
    for (Group &g : p.groups) {
        if (g.inMemory.empty())
            continue;
        if (!g.pendingFile.isEmpty() && !QFile::exists(g.pendingFile)) {
            // The later lines start a file of their own.
            forgetPendingFile(p, g);
        }
        if (g.pendingFile.isEmpty())
            g.pendingFile = newPendingFile(p.path, g.header);
        QFile file;
        QString reason;
        qint64 in = 0;
        if (!g.pendingFile.isEmpty() && openRegularFile(file, g.pendingFile, AppendMode).isEmpty())
            in = appendLines(file, joined(g.inMemory), reason);
        g.onDisk += takeWritten(g.inMemory, in, m_memoryBytes);
        if (!g.inMemory.empty()) {
            if (!m_folderTold)
                m_report(QStringLiteral(
                    "Kept lines cannot be stored in %1: they are held in memory until they can.")
                             .arg(shown(m_folder)));
            m_folderTold = true;
            return;
        }
    }
    m_folderTold = false;
}

QString LogFile::newPendingFile(const QString &path, const QByteArray &header)
{
    const QDir folder(m_folder);
    if (!m_ownLock) {
        auto lock = std::make_unique<QLockFile>(folder.filePath(m_instance + QStringLiteral(".lock")));
        lock->setStaleLockTime(0);
        if (!makePrivateFolder(m_folder) || !untrustedReason(m_folder).isEmpty() || !lock->tryLock(0))
            return QString();
        m_ownLock = std::move(lock);
    }
    const QString name = folder.filePath(
        QStringLiteral("%1-%2.pending").arg(m_instance).arg(++m_sequence, 6, 10, QLatin1Char('0')));
    return PendingFile::create(name, path, header) ? name : QString();
}

void LogFile::adoptEarlierLines()
{
    const QDir folder(m_folder);
    QString owner;
    bool adopted = false;
    for (const QString &name : folder.entryList({QStringLiteral("*.pending")}, QDir::Files, QDir::Name)) {
        if (name.left(name.lastIndexOf(QLatin1Char('-'))) != owner) {
            owner = name.left(name.lastIndexOf(QLatin1Char('-')));
            // A program still running keeps its own; QLockFile knows a lock whose program has ended.
            auto lock = std::make_unique<QLockFile>(folder.filePath(owner + QStringLiteral(".lock")));
            lock->setStaleLockTime(0);
            adopted = lock->tryLock(0);
            if (adopted)
                m_adoptedLocks.push_back(std::move(lock));
        }
        if (!adopted)
            continue;
        PendingFile pending;
        const PendingFile::Status status = pending.read(folder.filePath(name));
        const auto count = status == PendingFile::Status::Read
            ? countLines(pending.fileName, pending.bodyStart)
            : std::nullopt;
        Group group {0, pending.header, pending.fileName, count.value_or(0), {}};
        if (status == PendingFile::Status::Refused)
            setAsidePendingFile(group, QStringLiteral(".refused"), pending.problem);
        else if (status == PendingFile::Status::Damaged || (status == PendingFile::Status::Read && !count))
            setAsidePendingFile(group, QStringLiteral(".damaged"), QString());
        if (!count)
            continue;
        Failing p = failingFor(pending.logPath);
        if (p == m_failing.end())
            p = startFailing(pending.logPath);
        p->groups.push_back(std::move(group));
    }
    retryFailing(
        KeptBy::EarlierProgram, [this](PathLines &p, const QString &reason) { tellFailing(p, reason); },
        // None of this program's runs has chosen these files yet.
        [this](const QString &path) { m_locks.release(path); });
    // Locks that ended programs left behind with no lines go as well.
    for (const QString &name : folder.entryList({QStringLiteral("*.lock")}, QDir::Files)) {
        if (!folder.entryList({name.chopped(5) + QStringLiteral("-*.pending")}, QDir::Files).isEmpty())
            continue;
        QLockFile stale(folder.filePath(name));
        stale.setStaleLockTime(0);
        if (stale.tryLock(0))
            stale.unlock();
    }
}

void LogFile::dropOldest()
{
    // A file whose lines have all been dropped stays listed, so its recovery still tells of them.
    for (PathLines &p : m_failing) {
        for (Group &g : p.groups) {
            if (!g.inMemory.empty()) {
                m_memoryBytes -= g.inMemory.front().size();
                g.inMemory.pop_front();
                ++p.dropped;
                return;
            }
        }
    }
}

} // namespace logging
