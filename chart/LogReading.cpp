// Reads a log file back with the reader of the log's own writer, line by line.
#include "chart/LogReading.h"

#include "logging/TextFormats.h"

#include <QFile>
#include <QStringDecoder>

namespace chart {

LogReading readLogFile(const QString &path, const ReadProgress &progress)
{
    LogReading read;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.error = QStringLiteral("Cannot open the log file \"%1\": %2.").arg(path, file.errorString());
        return read;
    }
    const qint64 total = file.size();
    QStringDecoder decode(QStringConverter::System);
    logging::LogLineReader reader;
    bool inRun = false;
    qsizetype runSensors = 0;
    for (qint64 lineNumber = 0;; ++lineNumber) {
        if (progress && lineNumber % 4096 == 0 && !progress(file.pos(), total)) {
            read.cancelled = true;
            return read;
        }
        QByteArray bytes = file.readLine();
        if (bytes.isEmpty()) {
            if (file.error() != QFileDevice::NoError) {
                read.error
                    = QStringLiteral("Cannot read the log file \"%1\": %2.").arg(path, file.errorString());
                return read;
            }
            break;
        }
        if (bytes.endsWith('\n'))
            bytes.chop(1);
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        if (bytes.isEmpty())
            continue;
        const logging::LogLine line = reader.read(decode(bytes));
        if (line.kind == logging::LogLine::Kind::Header) {
            read.data.beginRun(line.roms);
            inRun = true;
            runSensors = line.roms.size();
        } else if (line.kind == logging::LogLine::Kind::Data && inRun && line.readings.size() == runSensors) {
            read.data.appendCycle(line.when.toMSecsSinceEpoch(), line.readings);
            ++read.dataLines;
        } else {
            // A data line belongs to the header before it: without one, or with another count of
            // readings, its readings cannot be given to sensors.
            ++read.unreadable;
        }
    }
    if (progress)
        progress(total, total);
    return read;
}

QString unreadableText(qint64 lines)
{
    if (lines == 0)
        return QString();
    return lines == 1 ? QStringLiteral("1 line could not be read")
                      : QStringLiteral("%1 lines could not be read").arg(lines);
}

} // namespace chart
