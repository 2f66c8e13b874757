// The texts a reading cycle shows and logs: reading text, date-time text, reading-list lines, and the
// log's header and data lines with the reader that takes them back.
#pragma once

#include "logging/Readings.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <optional>

namespace logging {

// The text of a failed read, in the list and in the log.
inline const QString FailedReading = QStringLiteral("?");

// "##0.000": halves away from zero on the value as stored, the locale's decimal separator, never "-0.000".
QString readingText(float celsius);
// A sensor's reading in °C, or none when its read failed.
using Reading = std::optional<float>;
// The reading text, or FailedReading for none.
QString readingText(const Reading &reading);
// A sensor's reading text in a cycle.
QString readingText(const SensorReading &sensor);

// The locale's short date, one space, the time with hours, minutes and seconds and no time-zone name.
QString dateTimeText(const QDateTime &when);

// The locale's long time format less its time-zone field: short time formats often drop the seconds.
QString timeFormatWithoutZone(const QString &longFormat);

// ISO 8601 local time with its offset from UTC always written out ("+00:00", never "Z" or nothing), so a
// script reading it needs no time zone of its own.
QString isoTimeText(const QDateTime &when);

// One item of lstTemp: "Sensor #i : <reading text> °C".
QString sensorListLine(int index, const QString &reading);
// The lines of lstTemp for a cycle, one per sensor.
QStringList readingListLines(const CycleRecord &cycle);

// The eight ROM bytes in upper-case hex parted by blanks, as the device list writes them.
QString romCodeText(const RomCode &rom);
// "KX4136", then per sensor a tab and its ROM code.
QString logHeaderLine(const QList<RomCode> &roms);
// The date-time text, then per sensor a tab and its reading text.
QString logDataLine(const QDateTime &when, const QList<Reading> &readings);

// One log line read back, in the locale it was written in: the exact inverse of the two above.
struct LogLine
{
    enum class Kind { Unreadable, Header, Data };
    Kind kind = Kind::Unreadable;
    QList<RomCode> roms; // of a header
    QDateTime when; // of a data line, local time
    QList<Reading> readings; // of a data line
};
LogLine readLogLine(const QString &line);

// Reads the lines of a whole log as readLogLine does, many times faster: the texts of dates, times of day
// and readings it has met are kept with what they stand for, each checked once by writing it again.
// The locale is the default one, as at construction; a data line's time comes at its local offset from UTC.
class LogLineReader
{
public:
    LogLineReader();
    LogLine read(const QString &line);

private:
    bool readDateTime(const QString &text, QDateTime &when);
    std::optional<QDate> dateFromText(const QString &text);

    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
    QHash<QString, QDate> m_dates;
    QHash<QString, int> m_secondsOfDay; // every time of day the writer can write
    QHash<QString, Reading> m_readings;
    QHash<qint64, std::optional<int>> m_offsets; // per local hour; none where it changes within the hour
};

} // namespace logging
