// Reads a log file back with the reader of the log's own writer, line by line, in bounded memory.
#include "chart/LogReading.h"

#include "logging/TextFormats.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <limits>
#include <utility>
#include <vector>

namespace chart {

namespace {

// Longer than any line the writer makes (33 sensors, each a tab and a ROM code or a reading of a few
// dozen bytes in any locale, after the date and time): a longer one is not the program's.
constexpr qint64 MaxLineBytes = 4096;
// Between two looks at the cancel flag: far less work than a tenth of a second.
constexpr qint64 CheckEveryLines = 1024;
constexpr qint64 CheckEveryBytes = 1 << 20;

// The end of summer time writes an hour's texts twice. A time in that hour is taken at its earlier
// instant, unless that comes before the line before it: then the hour is being written again.
class RepeatedHours
{
public:
    qint64 instant(const QDateTime &when, qint64 previous)
    {
        const qint64 at = when.toMSecsSinceEpoch();
        const qint64 hour = when.date().toJulianDay() * 24 + when.time().hour();
        auto found = m_hours.constFind(hour);
        if (found == m_hours.cend()) {
            // A cache: a file of scattered times must not grow it without end.
            if (m_hours.size() >= 4096)
                m_hours.clear();
            found = m_hours.insert(hour, shifts(QDateTime(when.date(), QTime(when.time().hour(), 0))));
        }
        const auto [toEarlier, toLater] = found.value();
        return at + toEarlier >= previous ? at + toEarlier : at + toLater;
    }

private:
    // What to add to the instant a local time is read at to get its earlier and its later instant.
    static std::pair<qint64, qint64> shifts(const QDateTime &start)
    {
        const qint64 t = start.toMSecsSinceEpoch();
        const auto offsetAt = [](qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc(); };
        const qint64 shift = (offsetAt(t - 3 * 3600 * 1000) - offsetAt(t + 3 * 3600 * 1000)) * qint64(1000);
        const auto sameText = [&](qint64 ms) {
            const QDateTime other = QDateTime::fromMSecsSinceEpoch(ms);
            return other.date() == start.date() && other.time() == start.time();
        };
        if (shift > 0 && sameText(t - shift))
            return {-shift, 0};
        if (shift > 0 && sameText(t + shift))
            return {0, shift};
        return {0, 0};
    }

    QHash<qint64, std::pair<qint64, qint64>> m_hours; // per local hour
};

// Reads past the end of a line too long to be the program's, a buffer at a time; false on a cancel.
bool skipRestOfLine(QFile &file, std::vector<char> &buffer, const ReadProgress &progress, qint64 total)
{
    for (qint64 skipped = 0;;) {
        const qint64 n = file.readLine(buffer.data(), static_cast<qint64>(buffer.size()));
        if (n <= 0 || buffer[static_cast<std::size_t>(n - 1)] == '\n')
            return true;
        skipped += n;
        if (progress && skipped % CheckEveryBytes < n && !progress(file.pos(), total))
            return false;
    }
}

} // namespace

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
    RepeatedHours repeated;
    std::vector<char> buffer(MaxLineBytes + 2);
    bool inRun = false;
    qsizetype runSensors = 0;
    qint64 previous = std::numeric_limits<qint64>::min();
    for (qint64 lineNumber = 0, checkedAt = 0;; ++lineNumber) {
        if (progress && (lineNumber % CheckEveryLines == 0 || file.pos() - checkedAt >= CheckEveryBytes)) {
            checkedAt = file.pos();
            if (!progress(checkedAt, total)) {
                read.cancelled = true;
                return read;
            }
        }
        qint64 n = file.readLine(buffer.data(), static_cast<qint64>(buffer.size()));
        if (n <= 0) {
            if (file.error() != QFileDevice::NoError) {
                read.error
                    = QStringLiteral("Cannot read the log file \"%1\": %2.").arg(path, file.errorString());
                return read;
            }
            break;
        }
        if (n == MaxLineBytes + 1 && buffer[MaxLineBytes] != '\n') {
            ++read.unreadable;
            if (!skipRestOfLine(file, buffer, progress, total)) {
                read.cancelled = true;
                return read;
            }
            continue;
        }
        while (n > 0
            && (buffer[static_cast<std::size_t>(n - 1)] == '\n'
                || buffer[static_cast<std::size_t>(n - 1)] == '\r'))
            --n;
        if (n == 0)
            continue;
        const logging::LogLine line = reader.read(decode(QByteArrayView(buffer.data(), n)));
        if (line.kind == logging::LogLine::Kind::Header) {
            read.data.beginRun(line.roms);
            inRun = true;
            runSensors = line.roms.size();
        } else if (line.kind == logging::LogLine::Kind::Data && inRun && line.readings.size() == runSensors) {
            previous = repeated.instant(line.when, previous);
            read.data.appendCycle(previous, line.readings);
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

QString noDataLineText(const QString &path)
{
    return QStringLiteral("The log file \"%1\" holds no readable data line.").arg(path);
}

QString unreadableText(qint64 lines)
{
    if (lines == 0)
        return QString();
    return lines == 1 ? QStringLiteral("1 line could not be read")
                      : QStringLiteral("%1 lines could not be read").arg(lines);
}

QString leftOutText(const ChartData &data)
{
    const qint64 left = data.leftOutCount();
    if (left == 0)
        return QString();
    return QStringLiteral("Only the first %1 sensors are shown: %2 more %3 not.")
        .arg(ChartData::MaxSensors)
        .arg(left)
        .arg(left == 1 ? QStringLiteral("is") : QStringLiteral("are"));
}

} // namespace chart
