// Reads a log file back with the reader of the log's own writer, line by line, in bounded memory.
#include "chart/LogReading.h"

#include "logging/TextFormats.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <limits>
#include <optional>
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
        const qint64 shift
            = (offsetAt(t - 3 * 3600 * 1000) - offsetAt(t + 3 * 3600 * 1000)) * static_cast<qint64>(1000);
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

// The file's lines without their ends, blank ones left out, with a look at the cancel flag now and then.
class LogLines
{
public:
    enum class Next { Line, TooLong, End, Failed, Cancelled };

    LogLines(QFile &file, const ReadProgress &progress)
        : m_file(file)
        , m_progress(progress)
        , m_total(file.size())
    { }
    qint64 total() const { return m_total; }

    Next next(QByteArrayView &line)
    {
        for (;;) {
            if (!keepOn())
                return Next::Cancelled;
            qint64 n = m_file.readLine(m_buffer.data(), static_cast<qint64>(m_buffer.size()));
            if (n <= 0)
                return m_file.error() != QFileDevice::NoError ? Next::Failed : Next::End;
            if (n == MaxLineBytes + 1 && m_buffer[MaxLineBytes] != '\n')
                return skipRestOfLine(m_file, m_buffer, m_progress, m_total) ? Next::TooLong
                                                                             : Next::Cancelled;
            while (n > 0
                && (m_buffer[static_cast<std::size_t>(n - 1)] == '\n'
                    || m_buffer[static_cast<std::size_t>(n - 1)] == '\r'))
                --n;
            if (n > 0) {
                line = QByteArrayView(m_buffer.data(), n);
                return Next::Line;
            }
        }
    }

private:
    bool keepOn()
    {
        const qint64 lineNumber = m_lineNumber++;
        if (!m_progress
            || (lineNumber % CheckEveryLines != 0 && m_file.pos() - m_checkedAt < CheckEveryBytes))
            return true;
        m_checkedAt = m_file.pos();
        return m_progress(m_checkedAt, m_total);
    }

    QFile &m_file;
    const ReadProgress &m_progress;
    const qint64 m_total;
    std::vector<char> m_buffer = std::vector<char>(MaxLineBytes + 2);
    qint64 m_lineNumber = 0;
    qint64 m_checkedAt = 0;
};

// The log's lines as the records a run tells: a header begins a run, a data line is a cycle of it.
class LogRecords
{
public:
    explicit LogRecords(const logging::SensorTable &sensors)
        : m_sensors(sensors)
    { }

    // False for a line that is neither a header nor a data line of the run before it: without a header, or
    // with another count of readings, its readings cannot be given to sensors.
    bool take(const logging::LogLine &line, ChartData &data)
    {
        if (line.kind == logging::LogLine::Kind::Header) {
            beginRun(line.roms, data);
            return true;
        }
        if (line.kind != logging::LogLine::Kind::Data || !m_cycle
            || line.readings.size() != m_cycle->sensors.size())
            return false;
        m_previous = m_repeated.instant(line.when, m_previous);
        m_cycle->when = QDateTime::fromMSecsSinceEpoch(m_previous, Qt::UTC);
        for (qsizetype p = 0; p < line.readings.size(); ++p)
            m_cycle->sensors[p].celsius = line.readings[p];
        data.appendCycle(*m_cycle);
        return true;
    }

private:
    void beginRun(const QList<logging::RomCode> &roms, ChartData &data)
    {
        logging::RunRecord run {roms};
        logging::CycleRecord cycle;
        for (qsizetype p = 0; p < roms.size(); ++p) {
            const auto found = m_sensors.find(roms[p]);
            run.settings.append(found == m_sensors.end() ? logging::SensorSettings() : found->second);
            cycle.sensors.append({static_cast<int>(p), roms[p], std::nullopt, run.settings.back()});
        }
        data.beginRun(run);
        m_cycle = std::move(cycle);
    }

    const logging::SensorTable &m_sensors;
    RepeatedHours m_repeated;
    std::optional<logging::CycleRecord> m_cycle; // the current run's, its readings those of the last line
    qint64 m_previous = std::numeric_limits<qint64>::min();
};

} // namespace

LogReading readLogFile(const QString &path, const logging::SensorTable &sensors, const ReadProgress &progress)
{
    LogReading read;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.error = QStringLiteral("Cannot open the log file \"%1\": %2.").arg(path, file.errorString());
        return read;
    }
    QStringDecoder decode(QStringConverter::System);
    logging::LogLineReader reader;
    LogLines lines(file, progress);
    LogRecords records(sensors);
    for (QByteArrayView bytes;;) {
        switch (lines.next(bytes)) {
        case LogLines::Next::Line: {
            const logging::LogLine line = reader.read(decode(bytes));
            if (!records.take(line, read.data))
                ++read.unreadable;
            else if (line.kind == logging::LogLine::Kind::Data)
                ++read.dataLines;
            continue;
        }
        case LogLines::Next::TooLong:
            ++read.unreadable;
            continue;
        case LogLines::Next::End:
            if (progress)
                progress(lines.total(), lines.total());
            return read;
        case LogLines::Next::Failed:
            read.error = QStringLiteral("Cannot read the log file \"%1\": %2.").arg(path, file.errorString());
            return read;
        case LogLines::Next::Cancelled:
            read.cancelled = true;
            return read;
        }
    }
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
