// The files in the pending folder: lines that their log file could not take, kept across runs of the
// program until they can be written.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace logging {

// One run's kept lines for one log file, in order:
//   "KX4136 pending lines", the log path (percent-encoded UTF-8) and the log's size before a move into it
//   began (empty unless one did), tab-separated, CR LF
//   the run's header line with its CR LF, or a bare CR LF when there is none
//   the kept lines as they go into the log, each with its CR LF
// The offset makes a move exactly-once: whatever of the lines the log holds past it is not written again.
struct PendingFile
{
    // Creates the file, in one step, with no lines yet.
    static bool create(const QString &fileName, const QString &logPath, const QByteArray &header);
    // Reads the first two lines; false for a file that is not one of these.
    bool read(const QString &name);
    // Replaces the file in one step by one with the given offset (-1: none) and the lines from `from`.
    bool rewrite(qint64 newOffset, qint64 from) const;

    QString fileName;
    QString logPath;
    QByteArray header;
    qint64 offset = -1;
    qint64 bodyStart = 0;
};

// The whole lines of a file from a position, a chunk at a time; each chunk ends at a line end. A last line
// without its end was cut when the program died and is not given.
class LineChunks
{
public:
    LineChunks(const QString &fileName, qint64 from);
    bool isOpen() const { return m_file.isOpen(); }
    // False at the end.
    bool next(QByteArray &chunk);

private:
    QFile m_file;
    QByteArray m_carry;
};

// How many lines a pending file holds from `from` on.
qsizetype countLines(const QString &fileName, qint64 from);

} // namespace logging
