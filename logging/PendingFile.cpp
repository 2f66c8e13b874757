// The files in the pending folder: lines that their log file could not take, kept across runs of the
// program until they can be written.
#include "logging/PendingFile.h"

#include "logging/FileAccess.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <algorithm>

namespace logging {

namespace {

const QByteArray Tag = QByteArrayLiteral("KX4136 pending lines");
const QByteArray LineEnd = QByteArrayLiteral("\r\n");
constexpr qint64 ChunkSize = 64 * 1024;
constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QByteArray firstLines(const QString &logPath, std::optional<qint64> offset, const QByteArray &header)
{
    QByteArray text = Tag + '\t' + QUrl::toPercentEncoding(logPath, "/\\: ") + '\t';
    if (offset)
        text += QByteArray::number(*offset);
    return text + LineEnd + (header.isEmpty() ? LineEnd : header);
}

// One line with its end, or nothing when none ends within reach.
QByteArray readLine(QFile &file)
{
    QByteArray line = file.readLine(MaxLineBytes);
    return line.endsWith(LineEnd) ? line : QByteArray();
}

} // namespace

bool PendingFile::create(const QString &fileName, const QString &logPath, const QByteArray &header)
{
    QSaveFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.setPermissions(OwnerOnly)
        && file.write(firstLines(logPath, std::nullopt, header)) >= 0 && file.commit();
}

PendingFile::Status PendingFile::read(const QString &name)
{
    fileName = name;
    problem = untrustedReason(name);
    if (!problem.isEmpty())
        return Status::Refused;
    QFile file;
    if (!openPrivateFile(file, name).isEmpty())
        return Status::Gone;
    QByteArray first = readLine(file);
    header = readLine(file);
    if (first.isEmpty() || header.isEmpty())
        return Status::Damaged;
    first.chop(LineEnd.size());
    const QList<QByteArray> fields = first.split('\t');
    if (fields.size() != 3 || fields.at(0) != Tag)
        return Status::Damaged;
    logPath = QUrl::fromPercentEncoding(fields.at(1));
    bool ok = true;
    offset.reset();
    if (!fields.at(2).isEmpty())
        offset = fields.at(2).toLongLong(&ok);
    if (header == LineEnd)
        header.clear();
    bodyStart = file.pos();
    return ok && offset.value_or(0) >= 0 && !logPath.isEmpty() ? Status::Read : Status::Damaged;
}

bool PendingFile::rewrite(std::optional<qint64> newOffset, qint64 bodyDone)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(OwnerOnly)
        || file.write(firstLines(logPath, newOffset, header)) < 0)
        return false;
    LineChunks lines(fileName, bodyStart + bodyDone);
    if (!lines.isOpen())
        return false;
    QByteArray chunk;
    while (lines.next(chunk))
        if (file.write(chunk) != chunk.size())
            return false;
    if (lines.damaged() || !file.commit())
        return false;
    // The first line's length changes with the offset: later positions are taken in the new file.
    offset = newOffset;
    bodyStart = firstLines(logPath, newOffset, header).size();
    return true;
}

LineChunks::LineChunks(const QString &fileName, qint64 from)
{
    if (openPrivateFile(m_file, fileName).isEmpty() && !m_file.seek(from))
        m_file.close();
}

bool LineChunks::next(QByteArray &chunk)
{
    while (m_file.isOpen()) {
        const QByteArray more = m_file.read(ChunkSize);
        if (more.isEmpty())
            break;
        // The carry holds part of one line, looked at already: each byte is looked at once, and a line
        // that never ends is not gathered without bound.
        const qsizetype from = std::max<qsizetype>(m_carry.size() - 1, 0);
        m_carry += more;
        qsizetype lineStart = 0;
        for (qsizetype at = m_carry.indexOf(LineEnd, from); at >= 0 && !m_damaged;
             at = m_carry.indexOf(LineEnd, lineStart)) {
            m_damaged = at - lineStart > MaxLineBytes;
            lineStart = at + LineEnd.size();
        }
        if (m_damaged || m_carry.size() - lineStart > MaxLineBytes) {
            m_damaged = true;
            m_file.close();
            break;
        }
        if (lineStart == 0)
            continue;
        chunk = m_carry.left(lineStart);
        m_carry.remove(0, lineStart);
        return true;
    }
    return false;
}

std::optional<qsizetype> countLines(const QString &fileName, qint64 from)
{
    LineChunks lines(fileName, from);
    qsizetype count = 0;
    QByteArray chunk;
    while (lines.next(chunk))
        count += chunk.count(LineEnd);
    return lines.damaged() ? std::nullopt : std::optional(count);
}

QString setAside(const QString &fileName, const QString &suffix)
{
    QString name = fileName + suffix;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = QStringLiteral("%1%2.%3").arg(fileName, suffix).arg(n);
    return QFile::rename(fileName, name) ? name : QString();
}

} // namespace logging
