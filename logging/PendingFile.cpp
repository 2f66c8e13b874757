// The files in the pending folder: lines that their log file could not take, kept across runs of the
// program until they can be written.
#include "logging/PendingFile.h"

#include "logging/FileAccess.h"

#include <QSaveFile>
#include <QUrl>

namespace logging {

namespace {

const QByteArray Tag = QByteArrayLiteral("KX4136 pending lines");
const QByteArray LineEnd = QByteArrayLiteral("\r\n");
constexpr qint64 ChunkSize = 64 * 1024;

QByteArray firstLines(const QString &logPath, qint64 offset, const QByteArray &header)
{
    QByteArray text = Tag + '\t' + QUrl::toPercentEncoding(logPath, "/\\: ") + '\t';
    if (offset >= 0)
        text += QByteArray::number(offset);
    return text + LineEnd + (header.isEmpty() ? LineEnd : header);
}

// One line with its end, or nothing when none ends within reach.
QByteArray readLine(QFile &file)
{
    QByteArray line = file.readLine(ChunkSize);
    return line.endsWith(LineEnd) ? line : QByteArray();
}

} // namespace

bool PendingFile::create(const QString &fileName, const QString &logPath, const QByteArray &header)
{
    QSaveFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(firstLines(logPath, -1, header)) >= 0
        && file.commit();
}

bool PendingFile::read(const QString &name)
{
    fileName = name;
    QFile file;
    if (!openRegularFile(file, name, QIODevice::ReadOnly).isEmpty())
        return false;
    QByteArray first = readLine(file);
    header = readLine(file);
    if (first.isEmpty() || header.isEmpty())
        return false;
    first.chop(LineEnd.size());
    const QList<QByteArray> fields = first.split('\t');
    if (fields.size() != 3 || fields.at(0) != Tag)
        return false;
    logPath = QUrl::fromPercentEncoding(fields.at(1));
    bool ok = true;
    offset = fields.at(2).isEmpty() ? -1 : fields.at(2).toLongLong(&ok);
    if (header == LineEnd)
        header.clear();
    bodyStart = file.pos();
    return ok && !logPath.isEmpty();
}

bool PendingFile::rewrite(qint64 newOffset, qint64 from) const
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(firstLines(logPath, newOffset, header)) < 0)
        return false;
    LineChunks lines(fileName, from);
    if (!lines.isOpen())
        return false;
    QByteArray chunk;
    while (lines.next(chunk)) {
        if (file.write(chunk) != chunk.size())
            return false;
    }
    return file.commit();
}

LineChunks::LineChunks(const QString &fileName, qint64 from)
{
    if (openRegularFile(m_file, fileName, QIODevice::ReadOnly).isEmpty() && !m_file.seek(from))
        m_file.close();
}

bool LineChunks::next(QByteArray &chunk)
{
    while (m_file.isOpen()) {
        const QByteArray more = m_file.read(ChunkSize);
        if (more.isEmpty())
            break;
        m_carry += more;
        const qsizetype end = m_carry.lastIndexOf(LineEnd);
        if (end < 0)
            continue;
        chunk = m_carry.left(end + LineEnd.size());
        m_carry.remove(0, chunk.size());
        return true;
    }
    return false;
}

qsizetype countLines(const QString &fileName, qint64 from)
{
    LineChunks lines(fileName, from);
    qsizetype count = 0;
    QByteArray chunk;
    while (lines.next(chunk))
        count += chunk.count(LineEnd);
    return count;
}

} // namespace logging
