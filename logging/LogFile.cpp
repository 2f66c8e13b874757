// The log file: header and data lines, appended one at a time; lines the file cannot take wait in the
// pending folder, or in memory when that cannot take them either, until it can.
#include "logging/LogFile.h"

#include "logging/LogLines.h"

#include <algorithm>

namespace logging {

namespace {

const QString InUse = QStringLiteral("in use by another KX4136 logger");

} // namespace

LogFile::LogFile(LineSink report, const QString &pendingFolder, qsizetype keptBytes)
    : m_report(std::move(report))
    , m_folder(pendingFolder)
    , m_keptBytes(std::max<qsizetype>(keptBytes, 1))
    , m_instance(newInstanceName())
{
    if (!m_folder.isEmpty() && useFolder())
        adoptEarlierLines();
}

LogFile::~LogFile()
{
    finish();
}

QString LogFile::claim(const QString &path)
{
    if (!m_locks.take(path))
        return QStringLiteral("Log file %1 is in use by another KX4136 logger: choose another log file or "
                              "stop the other logger.")
            .arg(shown(path));
    m_claimed = path;
    return QString();
}

void LogFile::release()
{
    if (failingFor(m_claimed) == m_failing.end())
        m_locks.release(m_claimed);
    m_claimed.clear();
}

void LogFile::setRunHeader(const QString &header)
{
    m_runHeader = encodeLine(header);
    ++m_run;
    // START has cleared the device list: a file still failing is told again when this run meets it.
    for (PathLines &p : m_failing)
        p.told = false;
}

void LogFile::AppendLogLine(const QString &path, const QString &line)
{
    const QByteArray bytes = encodeLine(line);
    QFile log;
    QString reason = openLog(log, path);
    if (reason.isEmpty()) {
        if (const Failing kept = failingFor(path); kept != m_failing.end())
            reason = writeKept(kept, log);
        if (reason.isEmpty()) {
            const QByteArray lead = needsHeader(log, m_runHeader, bytes) ? m_runHeader : QByteArray();
            if (appendLines(log, lead + bytes, reason) == lead.size() + bytes.size())
                return;
        }
    }
    keep(path, bytes, reason);
}

LogFile::KeptNote LogFile::finish(const QString &ownPath)
{
    if (m_finished)
        return {};
    m_finished = true;
    retryFailing(KeptBy::ThisProgram, [this](PathLines &p, const QString &) { spill(p); });
    QStringList note;
    KeptNote kept;
    // Lines an earlier run kept for other files are one line: they are not this run's failure.
    qsizetype otherOnDisk = 0;
    qsizetype otherInMemory = 0;
    int otherFiles = 0;
    for (const PathLines &p : m_failing) {
        qsizetype onDisk = 0;
        qsizetype inMemory = 0;
        for (const Group &g : p.groups) {
            onDisk += g.onDisk;
            inMemory += static_cast<qsizetype>(g.inMemory.size());
        }
        if (onDisk + inMemory == 0)
            continue;
        if (ownPath.isEmpty() || p.path != ownPath) {
            otherOnDisk += onDisk;
            otherInMemory += inMemory;
            ++otherFiles;
            continue;
        }
        kept.ownKept = true;
        if (onDisk > 0)
            note << QStringLiteral("%1 line(s) for log file %2 are kept in %3: the next start of the program "
                                   "writes them once the file can be written.")
                        .arg(onDisk)
                        .arg(shown(p.path), shown(m_folder));
        if (inMemory > 0)
            note << QStringLiteral("%1 line(s) for log file %2 could not be kept: they are lost.")
                        .arg(inMemory)
                        .arg(shown(p.path));
    }
    if (otherOnDisk > 0)
        note << QStringLiteral("%1 line(s) for %2 other log file(s) are kept in %3: the next start of the "
                               "program writes them once their files can be written.")
                    .arg(otherOnDisk)
                    .arg(otherFiles)
                    .arg(shown(m_folder));
    if (otherInMemory > 0)
        note << QStringLiteral("%1 line(s) for other log files could not be kept: they are lost.")
                    .arg(otherInMemory);
    kept.text = note.join(QLatin1Char('\n'));
    return kept;
}

qsizetype LogFile::keptCount() const
{
    qsizetype count = 0;
    for (const PathLines &p : m_failing)
        for (const Group &g : p.groups)
            count += g.onDisk + static_cast<qsizetype>(g.inMemory.size());
    return count;
}

LogFile::Failing LogFile::failingFor(const QString &path)
{
    return std::find_if(
        m_failing.begin(), m_failing.end(), [&path](const PathLines &p) { return p.path == path; });
}

LogFile::Failing LogFile::startFailing(const QString &path)
{
    m_failing.push_back(PathLines {path, {}, 0, 0, false});
    return std::prev(m_failing.end());
}

void LogFile::tellFailing(PathLines &p, const QString &reason)
{
    if (p.told)
        return;
    m_report(QStringLiteral("Log file %1 cannot be written (%2): its lines are kept until it can.")
                 .arg(shown(p.path), reason));
    p.told = true;
}

QString LogFile::openLog(QFile &log, const QString &path)
{
    return m_locks.take(path) ? openRegularFile(log, path, AppendMode) : InUse;
}

} // namespace logging
