// The exactly-once move of kept lines into their log file, from memory and from pending files.
#include "logging/LogFile.h"

#include "logging/LogLines.h"
#include "logging/PendingFile.h"

#include <algorithm>

namespace logging {

QString LogFile::writeKept(Failing p, QFile &log, KeptBy keptBy)
{
    while (!p->groups.empty()) {
        if (QString reason = moveGroup(*p, p->groups.front(), log); !reason.isEmpty())
            return reason;
        p->groups.pop_front();
    }
    QString recovered = keptBy == KeptBy::EarlierProgram
        ? QStringLiteral("%2 line(s) kept by an earlier run written to log file %1.")
        : QStringLiteral("Log file %1 written again: %2 kept line(s) written.");
    recovered = recovered.arg(shown(p->path), QString::number(p->keptWritten));
    if (p->dropped > 0)
        recovered += QStringLiteral(" %1 oldest line(s) were dropped.").arg(p->dropped);
    // Lines all set aside, with no failure told: there is nothing to tell of.
    if (p->keptWritten > 0 || p->dropped > 0 || p->told)
        m_report(recovered);
    m_failing.erase(p);
    return QString();
}

void LogFile::retryFailing(KeptBy keptBy,
    const std::function<void(PathLines &, const QString &reason)> &stillFailing,
    const std::function<void(const QString &path)> &written)
{
    for (Failing p = m_failing.begin(); p != m_failing.end();) {
        const Failing next = std::next(p);
        const QString path = p->path;
        QFile log;
        QString reason = openLog(log, path);
        if (reason.isEmpty())
            reason = writeKept(p, log, keptBy);
        if (!reason.isEmpty())
            stillFailing(*p, reason);
        else if (written)
            written(path);
        p = next;
    }
}

// A write that falls short always gives its reason, so an empty one means every line is in.
QString LogFile::moveGroup(PathLines &p, Group &g, QFile &log)
{
    if (!g.pendingFile.isEmpty())
        if (QString reason = movePendingFile(p, g, log); !reason.isEmpty())
            return reason;
    if (g.inMemory.empty())
        return QString();
    const QByteArray lines = joined(g.inMemory);
    const QByteArray lead = needsHeader(log, g.header, lines) ? g.header : QByteArray();
    QString reason;
    const qint64 in = appendLines(log, lead + lines, reason) - lead.size();
    p.keptWritten += takeWritten(g.inMemory, in, m_memoryBytes);
    return reason;
}

namespace {

// Writes a pending file's lines into the log, chunk by chunk, after what of them the log already holds:
// a move that a crash cut short is compared with what got in, and only the rest is written.
class MoveWriter
{
public:
    // The header a move writes first is no kept line: it is not counted as one.
    enum class Chunk { Header, KeptLines };

    MoveWriter(QFile &log, QFile &earlier, bool comparing)
        : m_log(log)
        , m_earlier(earlier)
        , m_comparing(comparing)
    { }

    // True when the whole chunk is in the log.
    bool put(const QByteArray &chunkLines, Chunk kind)
    {
        qint64 from = 0;
        if (m_comparing) {
            const qint64 at = m_earlier.pos();
            const qsizetype same = commonStart(chunkLines, m_earlier.read(chunkLines.size()));
            from = same == chunkLines.size() ? same : wholeLines(chunkLines, same);
            m_comparing = from == chunkLines.size();
            // A part of a line at the very end is this move's, cut by the crash.
            if (!m_comparing && at + same == m_log.size())
                m_log.resize(at + from);
        }
        const QByteArray rest = chunkLines.mid(from);
        const qint64 in = from + (rest.isEmpty() ? 0 : appendLines(m_log, rest, m_reason));
        if (kind == Chunk::KeptLines) {
            bodyDone += in;
            linesDone += chunkLines.left(in).count(LineEnd);
        }
        return in == chunkLines.size();
    }
    // Why a chunk did not get in whole.
    const QString &reason() const { return m_reason; }

    qint64 bodyDone = 0;
    qsizetype linesDone = 0;

private:
    QFile &m_log;
    QFile &m_earlier;
    bool m_comparing;
    QString m_reason;
};

} // namespace

std::optional<QString> LogFile::pendingFileToMove(PathLines &p, Group &g, QFile &log, PendingFile &pending)
{
    switch (pending.read(g.pendingFile)) {
    case PendingFile::Status::Read:
        break;
    case PendingFile::Status::Gone:
        if (QFile::exists(g.pendingFile))
            return QStringLiteral("its kept lines in %1 cannot be read").arg(shown(g.pendingFile));
        forgetPendingFile(p, g);
        return QString();
    case PendingFile::Status::Refused:
        setAsidePendingFile(g, QStringLiteral(".refused"), pending.problem);
        return QString();
    case PendingFile::Status::Damaged:
        setAsidePendingFile(g, QStringLiteral(".damaged"), QString());
        return QString();
    }
    if (g.run == 0 && !takesEarlierLines(p.path, log)) {
        setAsidePendingFile(g, QStringLiteral(".refused"),
            QStringLiteral("log file %1 is neither empty nor a log of this program").arg(shown(p.path)));
        return QString();
    }
    return std::nullopt;
}

// The pending file holds the log's size before the move began. A move that a crash cut short is taken
// up again from what the log holds past that point, so no line is written twice or left out.
QString LogFile::movePendingFile(PathLines &p, Group &g, QFile &log)
{
    PendingFile pending;
    if (const std::optional<QString> ended = pendingFileToMove(p, g, log, pending))
        return *ended;
    LineChunks lines(g.pendingFile, pending.bodyStart);
    QByteArray chunk;
    if (!lines.next(chunk)) {
        QFile::remove(g.pendingFile);
        g.pendingFile.clear();
        g.onDisk = 0;
        return QString();
    }
    qint64 offset = pending.offset.value_or(-1);
    if (!pending.offset || offset > log.size()) {
        // A new move, or the log was replaced since one began: none of these lines are in it.
        offset = log.size();
        if (!pending.rewrite(offset, 0))
            return QStringLiteral("the pending folder %1 cannot be written").arg(shown(m_folder));
    }
    QFile earlier;
    const bool comparing = log.size() > offset;
    if (comparing
        && (!openRegularFile(earlier, p.path, QIODevice::ReadOnly).isEmpty() || !earlier.seek(offset)))
        return QStringLiteral("it cannot be read back");
    MoveWriter writer(log, earlier, comparing);
    const bool lead = offset == 0 && !pending.header.isEmpty() && !chunk.startsWith(pending.header);
    bool ok = !lead || writer.put(pending.header, MoveWriter::Chunk::Header);
    for (bool more = true; ok && more; more = lines.next(chunk))
        ok = writer.put(chunk, MoveWriter::Chunk::KeptLines);
    syncToDisk(log);
    p.keptWritten += writer.linesDone;
    g.onDisk = std::max<qsizetype>(g.onDisk - writer.linesDone, 0);
    if (ok && lines.damaged()) {
        setAsidePendingFile(g, QStringLiteral(".damaged"), QString());
        return QString();
    }
    if (ok) {
        QFile::remove(g.pendingFile);
        g.pendingFile.clear();
        g.onDisk = 0;
        return QString();
    }
    // What got in is no longer kept; the rest waits, with no move under way. When nothing got in, the
    // move stays under way: that costs no copy of the file at every try while the log stays full.
    if (writer.bodyDone > 0)
        pending.rewrite(std::nullopt, writer.bodyDone);
    Q_ASSERT(!writer.reason().isEmpty());
    return writer.reason();
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

} // namespace logging
