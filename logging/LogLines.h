// The byte-level pieces the log file, the pending spool and the move of kept lines share.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <deque>

namespace logging {

inline const QByteArray LineEnd = QByteArrayLiteral("\r\n");
inline constexpr QIODevice::OpenMode AppendMode
    = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;

// In the system's encoding, with the log's CR LF.
QByteArray encodeLine(const QString &line);
// The lines one after the other, for one write.
QByteArray joined(const std::deque<QByteArray> &lines);
// The bytes of the whole lines at the start of `lines[0, size)`.
qint64 wholeLines(const QByteArray &lines, qint64 size);
// Takes off the front of `lines` those that the first `in` bytes written hold whole; gives how many.
qsizetype takeWritten(std::deque<QByteArray> &lines, qint64 in, qsizetype &memoryBytes);
// Appends whole lines; returns how many bytes of them the file holds now. A part of a line that got in
// before a failure is taken back: it would be a line of its own, and the whole line is written later.
qint64 appendLines(QFile &file, const QByteArray &lines, QString &reason);
// A file that is new or empty starts with the run's header, so no data line stands without the ROM
// codes that name its columns.
bool needsHeader(const QFile &log, const QByteArray &header, const QByteArray &firstLines);
// How many bytes the two have alike from their start.
qsizetype commonStart(const QByteArray &a, const QByteArray &b);
// Lines from an earlier run go only into a file that is empty or a log of this program: a file put into
// the pending folder must not be a way to write into any file the user can write.
bool takesEarlierLines(const QString &path, const QFile &log);
// A path as the user's system writes it, for the messages.
QString shown(const QString &path);

} // namespace logging
