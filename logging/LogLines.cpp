// The byte-level pieces the log file, the pending spool and the move of kept lines share.
#include "logging/LogLines.h"

#include "logging/FileAccess.h"
#include "logging/PendingFile.h"
#include "logging/TextFormats.h"

#include <QDir>
#include <QStringEncoder>
#include <algorithm>

namespace logging {

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

qint64 wholeLines(const QByteArray &lines, qint64 size)
{
    if (size < LineEnd.size())
        return 0;
    const qsizetype end = lines.lastIndexOf(LineEnd, size - LineEnd.size());
    return end < 0 ? 0 : end + LineEnd.size();
}

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

} // namespace logging
