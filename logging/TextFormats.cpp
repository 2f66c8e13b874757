// The texts a reading cycle shows and logs: reading text, date-time text, reading-list lines.
#include "logging/TextFormats.h"

#include <QLocale>
#include <cmath>

namespace logging {

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
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(when.time(), timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
}

QString sensorListLine(int index, const QString &reading)
{
    return QStringLiteral("Sensor #") + QString::number(index) + QStringLiteral(" : ") + reading
        + QStringLiteral(" \u00B0C");
}

} // namespace logging
