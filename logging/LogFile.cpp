// The log file: header and data lines, appended one at a time; lines the file cannot take wait in the
// pending folder, or in memory when that cannot take them either, until it can.
#include "logging/LogFile.h"

#include "logging/FileAccess.h"
#include "logging/PendingFile.h"
#include "logging/TextFormats.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <QStringEncoder>
#include <algorithm>
#include <atomic>

namespace logging {

namespace {

const QByteArray LineEnd = QByteArrayLiteral("\r\n");
constexpr QIODevice::OpenMode AppendMode = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;
const QString InUse = QStringLiteral("in use by another KX4136 logger");

QByteArray encodeLine(const QString &line)
{
    QStringEncoder encoder(QStringConverter::System);
    QByteArray bytes = encoder.encode(line);
    bytes.append(LineEnd);
    return bytes;
}

QByteArray joined(const std::deque<QByteArray> &lines)
{
    QByteArray all;
    for (const QByteArray &line : lines)
        all += line;
    return all;
}

// The bytes of the whole lines at the start of `lines[0, size)`.
qint64 wholeLines(const QByteArray &lines, qint64 size)
{
    if (size < LineEnd.size())
        return 0;
    const qsizetype end = lines.lastIndexOf(LineEnd, size - LineEnd.size());
    return end < 0 ? 0 : end + LineEnd.size();
}

// Takes off the front of `lines` those that the first `in` bytes written hold whole; gives how many.
qsizetype takeWritten(std::deque<QByteArray> &lines, qint64 in, qsizetype &memoryBytes)
{
    qsizetype count = 0;
    while (!lines.empty() && in >= lines.front().size()) {
        in -= lines.front().size();
        memoryBytes -= lines.front().size();
        lines.pop_front();
        ++count;
    }
    return count;
}

// Appends whole lines; returns how many bytes of them the file holds now. A part of a line that got in
// before a failure is taken back: it would be a line of its own, and the whole line is written later.
qint64 appendLines(QFile &file, const QByteArray &lines, QString &reason)
{
    const qint64 before = file.size();
    if (file.write(lines) == lines.size())
        return lines.size();
    reason = file.error() != QFileDevice::NoError ? file.errorString()
                                                  : QStringLiteral("only part of a line could be written");
    const qint64 in = wholeLines(lines, std::clamp<qint64>(file.size() - before, 0, lines.size()));
    file.resize(before + in);
    return in;
}

// A file that is new or empty starts with the run's header, so no data line stands without the ROM
// codes that name its columns.
bool needsHeader(const QFile &log, const QByteArray &header, const QByteArray &firstLines)
{
    return !header.isEmpty() && log.size() == 0 && !firstLines.startsWith(header);
}

qsizetype commonStart(const QByteArray &a, const QByteArray &b)
{
    const qsizetype n = std::min(a.size(), b.size());
    qsizetype i = 0;
    while (i < n && a.at(i) == b.at(i))
        ++i;
    return i;
}

// Lines from an earlier run go only into a file that is empty or a log of this program: a file put into
// the pending folder must not be a way to write into any file the user can write.
bool takesEarlierLines(const QString &path, const QFile &log)
{
    if (log.size() == 0)
        return true;
    QFile file;
    if (!openRegularFile(file, path, QIODevice::ReadOnly).isEmpty())
        return false;
    const QByteArray first = file.readLine(MaxLineBytes);
    return first.endsWith(LineEnd)
        && readLogLine(QString::fromLocal8Bit(first.chopped(LineEnd.size()))).kind == LogLine::Kind::Header;
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString newInstanceName()
{
    // Time first, so that the files of earlier programs sort first; the count parts two logs of one process.
    static std::atomic<int> count {0};
    return QStringLiteral("%1-%2-%3")
        .arg(QDateTime::currentMSecsSinceEpoch(), 13, 10, QLatin1Char('0'))
        .arg(QCoreApplication::applicationPid(), 7, 10, QLatin1Char('0'))
        .arg(++count, 4, 10, QLatin1Char('0'));
}

} // namespace

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

LogFile::LogFile(Report report, const QString &pendingFolder, qsizetype keptBytes)
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
        const Failing kept = failingFor(path);
        if (kept == m_failing.end() || writeKept(kept, log, reason)) {
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
    for (Failing p = m_failing.begin(); p != m_failing.end();) {
        const Failing next = std::next(p);
        QFile log;
        QString reason = openLog(log, p->path);
        if (!reason.isEmpty() || !writeKept(p, log, reason))
            spill(*p);
        p = next;
    }
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
    for (const PathLines &p : m_failing) {
        for (const Group &g : p.groups)
            count += g.onDisk + static_cast<qsizetype>(g.inMemory.size());
    }
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

bool LogFile::writeKept(Failing p, QFile &log, QString &reason, bool atStart)
{
    while (!p->groups.empty()) {
        if (!moveGroup(*p, p->groups.front(), log, reason))
            return false;
        p->groups.pop_front();
    }
    QString recovered = atStart ? QStringLiteral("%2 line(s) kept by an earlier run written to log file %1.")
                                : QStringLiteral("Log file %1 written again: %2 kept line(s) written.");
    recovered = recovered.arg(shown(p->path), QString::number(p->keptWritten));
    if (p->dropped > 0)
        recovered += QStringLiteral(" %1 oldest line(s) were dropped.").arg(p->dropped);
    // Lines all set aside, with no failure told: there is nothing to tell of.
    if (p->keptWritten > 0 || p->dropped > 0 || p->told)
        m_report(recovered);
    m_failing.erase(p);
    return true;
}

bool LogFile::moveGroup(PathLines &p, Group &g, QFile &log, QString &reason)
{
    if (!g.pendingFile.isEmpty() && !movePendingFile(p, g, log, reason))
        return false;
    if (g.inMemory.empty())
        return true;
    const QByteArray lines = joined(g.inMemory);
    const QByteArray lead = needsHeader(log, g.header, lines) ? g.header : QByteArray();
    const qint64 in = appendLines(log, lead + lines, reason) - lead.size();
    p.keptWritten += takeWritten(g.inMemory, in, m_memoryBytes);
    return g.inMemory.empty();
}

// The pending file holds the log's size before the move began. A move that a crash cut short is taken
// up again from what the log holds past that point, so no line is written twice or left out.
bool LogFile::movePendingFile(PathLines &p, Group &g, QFile &log, QString &reason)
{
    PendingFile pending;
    switch (pending.read(g.pendingFile)) {
    case PendingFile::Status::Read:
        break;
    case PendingFile::Status::Gone:
        if (QFile::exists(g.pendingFile)) {
            reason = QStringLiteral("its kept lines in %1 cannot be read").arg(shown(g.pendingFile));
            return false;
        }
        forgetPendingFile(p, g);
        return true;
    case PendingFile::Status::Refused:
        setAsidePendingFile(g, QStringLiteral(".refused"), pending.problem);
        return true;
    case PendingFile::Status::Damaged:
        setAsidePendingFile(g, QStringLiteral(".damaged"), QString());
        return true;
    }
    if (g.run == 0 && !takesEarlierLines(p.path, log)) {
        setAsidePendingFile(g, QStringLiteral(".refused"),
            QStringLiteral("log file %1 is neither empty nor a log of this program").arg(shown(p.path)));
        return true;
    }
    LineChunks lines(g.pendingFile, pending.bodyStart);
    QByteArray chunk;
    if (!lines.next(chunk)) {
        QFile::remove(g.pendingFile);
        g.pendingFile.clear();
        g.onDisk = 0;
        return true;
    }
    qint64 offset = pending.offset;
    if (offset < 0 || offset > log.size()) {
        // A new move, or the log was replaced since one began: none of these lines are in it.
        offset = log.size();
        if (!pending.rewrite(offset, 0)) {
            reason = QStringLiteral("the pending folder %1 cannot be written").arg(shown(m_folder));
            return false;
        }
    }
    QFile earlier;
    bool comparing = log.size() > offset;
    if (comparing
        && (!openRegularFile(earlier, p.path, QIODevice::ReadOnly).isEmpty() || !earlier.seek(offset))) {
        reason = QStringLiteral("it cannot be read back");
        return false;
    }
    qint64 bodyDone = 0;
    qsizetype linesDone = 0;
    // Writes one chunk of whole lines after what of it the log already holds.
    const auto put = [&](const QByteArray &chunkLines, bool kept) {
        qint64 from = 0;
        if (comparing) {
            const qint64 at = earlier.pos();
            const qsizetype same = commonStart(chunkLines, earlier.read(chunkLines.size()));
            from = same == chunkLines.size() ? same : wholeLines(chunkLines, same);
            comparing = from == chunkLines.size();
            // A part of a line at the very end is this move's, cut by the crash.
            if (!comparing && at + same == log.size())
                log.resize(at + from);
        }
        const QByteArray rest = chunkLines.mid(from);
        const qint64 in = from + (rest.isEmpty() ? 0 : appendLines(log, rest, reason));
        if (kept) {
            bodyDone += in;
            linesDone += chunkLines.left(in).count(LineEnd);
        }
        return in == chunkLines.size();
    };
    const bool lead = offset == 0 && !pending.header.isEmpty() && !chunk.startsWith(pending.header);
    bool ok = !lead || put(pending.header, false);
    for (bool more = true; ok && more; more = lines.next(chunk))
        ok = put(chunk, true);
    syncToDisk(log);
    p.keptWritten += linesDone;
    g.onDisk = std::max<qsizetype>(g.onDisk - linesDone, 0);
    if (ok && lines.damaged()) {
        setAsidePendingFile(g, QStringLiteral(".damaged"), QString());
        return true;
    }
    if (ok) {
        QFile::remove(g.pendingFile);
        g.pendingFile.clear();
        g.onDisk = 0;
        return true;
    }
    // What got in is no longer kept; the rest waits, with no move under way. When nothing got in, the
    // move stays under way: that costs no copy of the file at every try while the log stays full.
    if (bodyDone > 0)
        pending.rewrite(-1, bodyDone);
    return false;
}

void LogFile::forgetPendingFile(PathLines &p, Group &g)
{
    // Removed by hand: its lines are gone, and the recovery line counts them with the dropped.
    p.dropped += g.onDisk;
    g.onDisk = 0;
    g.pendingFile.clear();
}

void LogFile::setAsidePendingFile(Group &g, const QString &suffix, const QString &why)
{
    const QString aside = setAside(g.pendingFile, suffix);
    const QString what = why.isEmpty()
        ? QStringLiteral("Kept lines in %1 cannot be read").arg(shown(g.pendingFile))
        : QStringLiteral("Kept lines in %1 are not used (%2)").arg(shown(g.pendingFile), why);
    m_report(aside.isEmpty() ? what + QStringLiteral(": the file is left as it is.")
                             : what + QStringLiteral(": the file is set aside as %1.").arg(shown(aside)));
    g.pendingFile.clear();
    g.onDisk = 0;
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

QString LogFile::openLog(QFile &log, const QString &path)
{
    return m_locks.take(path) ? openRegularFile(log, path, AppendMode) : InUse;
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
    for (Failing p = m_failing.begin(); p != m_failing.end();) {
        const Failing next = std::next(p);
        const QString path = p->path;
        QFile log;
        QString reason = openLog(log, path);
        if (!reason.isEmpty() || !writeKept(p, log, reason, true))
            tellFailing(*p, reason);
        else
            m_locks.release(path); // none of this program's runs has chosen it yet
        p = next;
    }
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
