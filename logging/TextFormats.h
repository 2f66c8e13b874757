// The texts a reading cycle shows and logs: reading text, date-time text, reading-list lines.
#pragma once

#include <QDateTime>
#include <QString>

namespace logging {

// The text of a failed read, in the list and in the log.
inline const QString FailedReading = QStringLiteral("?");

// "##0.000": halves away from zero on the value as stored, the locale's decimal separator, never "-0.000".
QString readingText(float celsius);

// The locale's short date, one space, the time with hours, minutes and seconds and no time-zone name.
QString dateTimeText(const QDateTime &when);

// The locale's long time format less its time-zone field: short time formats often drop the seconds.
QString timeFormatWithoutZone(const QString &longFormat);

// One item of lstTemp: "Sensor #i : <reading text> °C".
QString sensorListLine(int index, const QString &reading);

} // namespace logging
