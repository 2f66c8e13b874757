// The files in the pending folder: lines that their log file could not take, kept across runs of the
// program until they can be written.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <optional>

namespace logging {

// Longer than any line the program writes (a header of 33 ROM codes, a log path of the longest name the
// system takes, percent-encoded): a longer one is damage, and reading stops there.
inline constexpr qint64 MaxLineBytes = 64 * 1024;

// One run's kept lines for one log file, in order:
//   "KX4136 pending lines", the log path (percent-encoded UTF-8) and the log's size before a move into it
//   began (empty unless one did), tab-separated, CR LF
//   the run's header line with its CR LF, or a bare CR LF when there is none
//   the kept lines as they go into the log, each with its CR LF
// The offset makes a move exactly-once: whatever of the lines the log holds past it is not written again.
struct PendingFile
{
    enum class Status { Read, Gone, Refused, Damaged };

    // Creates the file, in one step, with no lines yet; only the user may read or write it.
    static bool create(const QString &fileName, const QString &logPath, const QByteArray &header);
    // Reads the first two lines. A file that is a link, not the user's or writable by others is refused,
    // `problem` saying why; one that is not one of these files is damaged.
    Status read(const QString &name);
    // Replaces the file in one step by one with the given offset and the lines after the first
    // `bodyDone` bytes of the body.
    bool rewrite(std::optional<qint64> newOffset, qint64 bodyDone);

    QString fileName;
    QString logPath;
    QByteArray header;
    QString problem;
    std::optional<qint64> offset; // none until a move into the log began
    qint64 bodyStart = 0;
};

// The whole lines of a pending file from a position, a chunk at a time; each chunk ends at a line end. A
// last line without its end was cut when the program died and is not given.
class LineChunks
{
public:
    LineChunks(const QString &fileName, qint64 from);
    bool isOpen() const { return m_file.isOpen(); }
    // False at the end, or at a line too long to be one of the program's.
    bool next(QByteArray &chunk);
    bool damaged() const { return m_damaged; }

private:
    QFile m_file;
    QByteArray m_carry;
    bool m_damaged = false;
};

// How many lines a pending file holds from `from` on; none when one is damaged.
std::optional<qsizetype> countLines(const QString &fileName, qint64 from);

// Renames a pending file that must not be used so it is never read again, and gives its new name.
QString setAside(const QString &fileName, const QString &suffix);

} // namespace logging
