// The texts a reading cycle shows and logs: reading text, date-time text, reading-list lines, and the
// log's header and data lines with the reader that takes them back.
#include "logging/TextFormats.h"

#include "bus/modKX4136.h"

#include <QLocale>
#include <QStringList>
#include <cmath>
#include <cstdlib>

namespace logging {

namespace {

const QString HeaderMark = QStringLiteral("KX4136");

// The one date-time format, for writing and reading alike.
QString dateTimeFormat(const QLocale &locale)
{
    return locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ')
        + timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat));
}

std::optional<QDateTime> dateTimeFromText(const QString &text)
{
    const QLocale locale;
    const QString format = dateTimeFormat(locale);
    const QDateTime parsed = locale.toDateTime(text, format);
    if (!parsed.isValid())
        return std::nullopt;
    // A two-digit year parses into the 1900s; the log's years are in the 2000s.
    const bool twoDigitYear = !format.contains(QLatin1String("yyyy"));
    return QDateTime(twoDigitYear ? parsed.date().addYears(100) : parsed.date(), parsed.time());
}

} // namespace

QString readingText(float celsius)
{
    // A float times 1000 needs at most 31 significant bits, so the product is exact in a double
    // and the rounding sees the stored value, not a decimal approximation of it.
    const double thousandths = std::round(static_cast<double>(celsius) * 1000.0);
    QString digits = QString::number(std::fabs(thousandths), 'f', 0);
    if (digits.size() < 4)
        digits.prepend(QString(4 - digits.size(), QLatin1Char('0')));
    digits.insert(digits.size() - 3, QLocale().decimalPoint());
    // A value that rounds to zero keeps no sign: thousandths is then 0 or -0, neither below 0.
    if (thousandths < 0)
        digits.prepend(QLatin1Char('-'));
    return digits;
}

QString readingText(const Reading &reading)
{
    return reading ? readingText(*reading) : FailedReading;
}

QString readingText(const SensorReading &sensor)
{
    return readingText(sensor.celsius);
}

QString timeFormatWithoutZone(const QString &longFormat)
{
    QString result;
    bool quoted = false;
    bool afterLeadingZone = false;
    for (const QChar c : longFormat) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) {
            // The blank that parted the zone from the rest goes with it.
            while (!result.isEmpty() && result.back().isSpace())
                result.chop(1);
            afterLeadingZone = result.isEmpty();
            continue;
        }
        if (afterLeadingZone && c.isSpace())
            continue;
        afterLeadingZone = false;
        result.append(c);
    }
    return result;
}

QString dateTimeText(const QDateTime &when)
{
    const QLocale locale;
    return locale.toString(when, dateTimeFormat(locale));
}

QString sensorListLine(int index, const QString &reading)
{
    return QStringLiteral("Sensor #") + QString::number(index) + QStringLiteral(" : ") + reading
        + QStringLiteral(" \u00B0C");
}

QStringList readingListLines(const CycleRecord &cycle)
{
    QStringList lines;
    for (const SensorReading &sensor : cycle.sensors)
        lines << sensorListLine(sensor.index, readingText(sensor));
    return lines;
}

QString romCodeText(const RomCode &rom)
{
    QStringList bytes;
    for (const uint8_t byte : rom)
        bytes << modKX4136::HexByte(byte);
    return bytes.join(QLatin1Char(' '));
}

QString logHeaderLine(const QList<RomCode> &roms)
{
    QString line = HeaderMark;
    for (const RomCode &rom : roms)
        line += QLatin1Char('\t') + romCodeText(rom);
    return line;
}

QString logDataLine(const QDateTime &when, const QList<Reading> &readings)
{
    QString line = dateTimeText(when);
    for (const Reading &reading : readings)
        line += QLatin1Char('\t') + readingText(reading);
    return line;
}

// Each field is parsed leniently, then the line is written again from what was read: only a line that
// comes out the same was written by the pair above, so anything else is unreadable.
LogLine readLogLine(const QString &line)
{
    const QStringList fields = line.split(QLatin1Char('\t'));
    LogLine read;
    if (fields.front() == HeaderMark) {
        for (const QString &field : fields.mid(1)) {
            const QStringList bytes = field.split(QLatin1Char(' '));
            RomCode rom {};
            if (bytes.size() != static_cast<qsizetype>(rom.size()))
                return {};
            for (std::size_t i = 0; i < rom.size(); ++i)
                rom[i] = static_cast<uint8_t>(bytes.at(static_cast<qsizetype>(i)).toUInt(nullptr, 16));
            read.roms.append(rom);
        }
        read.kind = LogLine::Kind::Header;
        return logHeaderLine(read.roms) == line ? read : LogLine {};
    }
    const std::optional<QDateTime> when = dateTimeFromText(fields.front());
    if (!when)
        return {};
    const QLocale locale;
    for (const QString &field : fields.mid(1)) {
        bool number = false;
        const float celsius = locale.toFloat(field, &number);
        read.readings.append(number ? Reading(celsius) : Reading());
    }
    read.kind = LogLine::Kind::Data;
    read.when = *when;
    return logDataLine(read.when, read.readings) == line ? read : LogLine {};
}

LogLineReader::LogLineReader()
    : m_dateFormat(m_locale.dateFormat(QLocale::ShortFormat))
    , m_timeFormat(timeFormatWithoutZone(m_locale.timeFormat(QLocale::LongFormat)))
{
    constexpr int secondsPerDay = 24 * 3600;
    m_secondsOfDay.reserve(secondsPerDay);
    for (int second = 0; second < secondsPerDay; ++second)
        m_secondsOfDay.insert(m_locale.toString(QTime(0, 0).addSecs(second), m_timeFormat), second);
}

std::optional<QDate> LogLineReader::dateFromText(const QString &text)
{
    if (const auto found = m_dates.constFind(text); found != m_dates.cend())
        return found.value();
    QDate date = m_locale.toDate(text, m_dateFormat);
    if (date.isValid() && !m_dateFormat.contains(QLatin1String("yyyy")))
        date = date.addYears(100);
    if (!date.isValid() || m_locale.toString(date, m_dateFormat) != text)
        return std::nullopt;
    m_dates.insert(text, date);
    return date;
}

// The text is the date's, a blank, then the time's; the date may hold blanks itself, so each blank is tried.
bool LogLineReader::readDateTime(const QString &text, QDateTime &when)
{
    for (qsizetype blank = text.indexOf(QLatin1Char(' ')); blank >= 0;
         blank = text.indexOf(QLatin1Char(' '), blank + 1)) {
        const auto second = m_secondsOfDay.constFind(text.mid(blank + 1));
        if (second == m_secondsOfDay.cend())
            continue;
        const std::optional<QDate> date = dateFromText(text.left(blank));
        if (!date)
            continue;
        const QTime time = QTime(0, 0).addSecs(second.value());
        const qint64 hour = date->toJulianDay() * 24 + time.hour();
        auto offset = m_offsets.constFind(hour);
        if (offset == m_offsets.cend()) {
            const QDateTime start(*date, QTime(time.hour(), 0));
            const QDateTime end(*date, QTime(time.hour(), 59, 59));
            const bool steady
                = start.isValid() && end.isValid() && start.offsetFromUtc() == end.offsetFromUtc();
            offset
                = m_offsets.insert(hour, steady ? std::optional<int>(start.offsetFromUtc()) : std::nullopt);
        }
        if (!offset.value())
            return false;
        when = QDateTime(*date, time, Qt::OffsetFromUTC, *offset.value());
        return true;
    }
    return false;
}

LogLine LogLineReader::read(const QString &line)
{
    const qsizetype tab = line.indexOf(QLatin1Char('\t'));
    QDateTime when;
    // Headers, and what the kept texts do not cover (an hour whose offset changes), take the long way.
    if (line.startsWith(HeaderMark) || !readDateTime(line.left(tab < 0 ? line.size() : tab), when))
        return readLogLine(line);
    LogLine read;
    read.kind = LogLine::Kind::Data;
    read.when = when;
    for (qsizetype from = tab; from >= 0;) {
        const qsizetype next = line.indexOf(QLatin1Char('\t'), from + 1);
        const QString field = line.mid(from + 1, next < 0 ? -1 : next - from - 1);
        auto known = m_readings.constFind(field);
        if (known == m_readings.cend()) {
            bool number = false;
            const float celsius = m_locale.toFloat(field, &number);
            const Reading reading = number ? Reading(celsius) : Reading();
            const QString written = reading ? readingText(*reading) : FailedReading;
            if (written != field)
                return {};
            // Readings come in a few thousand texts at most; a bound keeps a foreign file from growing it.
            if (m_readings.size() < 1 << 18)
                m_readings.insert(field, reading);
            read.readings.append(reading);
            from = next;
            continue;
        }
        read.readings.append(known.value());
        from = next;
    }
    return read;
}

QString isoTimeText(const QDateTime &when)
{
    const int offset = when.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return when.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"))
        + QStringLiteral("%1%2:%3")
              .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              .arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

} // namespace logging
