// The log file: header and data lines, appended one at a time; lines the file cannot take wait in the
// pending folder, or in memory when that cannot take them either, until it can.
#pragma once

#include "logging/FileAccess.h"
#include "logging/LineSink.h"
#include "logging/LogLocks.h"
#include "logging/LogPaths.h"

#include <QByteArray>
#include <QFile>
#include <QLockFile>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <vector>

namespace logging {

struct PendingFile;

class LogFile
{
public:
    // Kept lines held in memory, counted as written with their CR LF, when the pending folder cannot take
    // them either: a week of one line per second for up to twelve sensors. Past it the oldest are dropped.
    static constexpr qsizetype DefaultKeptBytes = 64 * 1024 * 1024;
    // Without a pending folder, kept lines are held in memory only. With one, the lines an earlier run of
    // the program left there go to their files now, as far as the files can take them.
    // The failures, the recoveries and the lines written from an earlier run are told to `report`.
    explicit LogFile(
        LineSink report, const QString &pendingFolder = QString(), qsizetype keptBytes = DefaultKeptBytes);
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    // Takes the file for this program's lines alone until release(); while another running program has
    // it, gives what to tell the user. Files are locked only with a pending folder, where the locks are.
    QString claim(const QString &path);
    // Gives the claimed file back unless lines are still kept for it.
    void release();
    // The header of the run whose lines follow: a file that is new or empty gets it before them.
    void setRunHeader(const QString &header);
    // Appends one line; lines kept earlier for the same path go first, in order.
    void AppendLogLine(const QString &path, const QString &line);
    // What finish() leaves for the user to know.
    struct KeptNote
    {
        QString text; // a line for the run's own log file, one for all others; empty when none is kept
        bool ownKept = false; // lines for the run's own log file are among them
    };
    // Kept lines get a last try and the rest go into the pending folder. ownPath is the log file of the
    // run that ends (empty when it logged nothing).
    KeptNote finish(const QString &ownPath = QString());

    qsizetype keptCount() const;

private:
    // One run's kept lines for one file: those in its pending file first, then those held in memory.
    struct Group
    {
        quint64 run = 0;
        QByteArray header;
        QString pendingFile;
        qsizetype onDisk = 0;
        std::deque<QByteArray> inMemory;
    };
    // A file that could not be written, with the lines kept for it.
    struct PathLines
    {
        QString path;
        std::deque<Group> groups;
        qsizetype keptWritten = 0; // kept lines written since the failure began
        qsizetype dropped = 0;
        bool told = false; // the failure, in this run
    };
    using Failing = std::list<PathLines>::iterator;

    // Time and process id: unique to this program, and the files of earlier programs sort first.
    static QString newInstanceName();
    Failing failingFor(const QString &path);
    Failing startFailing(const QString &path);
    void tellFailing(PathLines &p, const QString &reason);
    // Whose kept lines a recovery writes: this run's, or those an earlier program left.
    enum class KeptBy { ThisProgram, EarlierProgram };
    // Writes the kept lines in order; when none are left the file is no longer failing. Why not all could
    // be written, or empty.
    QString writeKept(Failing p, QFile &log, KeptBy keptBy = KeptBy::ThisProgram);
    // Gives every failing file one more try; `stillFailing` gets each that cannot take all its lines yet
    // and why, `written` the path of each that took them.
    void retryFailing(KeptBy keptBy,
        const std::function<void(PathLines &, const QString &reason)> &stillFailing,
        const std::function<void(const QString &path)> &written = {});
    // Each: why the lines are not all moved, or empty.
    QString moveGroup(PathLines &p, Group &g, QFile &log);
    QString movePendingFile(PathLines &p, Group &g, QFile &log);
    // Reads the group's pending file for a move; none when its lines are to be moved, otherwise how the
    // move ends at once (empty: with nothing to move, or the file set aside).
    std::optional<QString> pendingFileToMove(PathLines &p, Group &g, QFile &log, PendingFile &pending);
    void forgetPendingFile(PathLines &p, Group &g);
    // A pending file that must not be used is renamed, so it is told of once and never read again.
    void setAsidePendingFile(Group &g, const QString &suffix, const QString &why);
    bool useFolder();
    // Opens the file for appending once this program holds its lock; gives why not, empty when open.
    QString openLog(QFile &log, const QString &path);
    void keep(const QString &path, const QByteArray &line, const QString &reason);
    // Moves lines held in memory into pending files, oldest first, as far as the folder takes them.
    void spill(PathLines &p);
    QString newPendingFile(const QString &path, const QByteArray &header);
    void adoptEarlierLines();
    void dropOldest();

    LineSink m_report;
    QString m_folder;
    qsizetype m_keptBytes;
    QString m_instance;
    int m_sequence = 0;
    std::unique_ptr<QLockFile> m_ownLock;
    LogLocks m_locks;
    QString m_claimed;
    // The locks of ended programs whose lines this one has taken over.
    std::vector<std::unique_ptr<QLockFile>> m_adoptedLocks;
    bool m_folderTold = false;
    quint64 m_run = 1;
    QByteArray m_runHeader;
    // By first failure, so the front holds the oldest lines. Each file's failure is told once and
    // its recovery once, whatever the others do.
    std::list<PathLines> m_failing;
    qsizetype m_memoryBytes = 0;
    bool m_finished = false;
};

} // namespace logging
