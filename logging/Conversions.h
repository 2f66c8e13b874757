// Turning the window's texts into the numbers the bus and the timer use, in the locale they are typed in.
#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>
#include <optional>

namespace logging {

// The text as a number by the locale's parsing; nothing when it is not a finite number.
std::optional<double> parseNumber(const QString &text, const QLocale &locale);

// Nearest whole number, halves to the even neighbour (2.5 gives 2, 3.5 gives 4).
double roundHalfEven(double value);

// Text2: the COM port, any 16-bit value.
std::optional<int16_t> portNumberFromText(const QString &text, const QLocale &locale);
// Text4: the conversion wait in ms, 0 to 32767 (a negative wait would mean "forever").
std::optional<int16_t> oneWireDelayFromText(const QString &text, const QLocale &locale);
// Text3: seconds × 1000 as ms, 1 to 2147483647 (what the window timer can take).
std::optional<int32_t> intervalMsFromText(const QString &text, const QLocale &locale);
// Text1: a sensor number from 0 to lastSensor, fractions allowed; the index it rounds to.
std::optional<int16_t> sensorIndexFromText(const QString &text, int16_t lastSensor, const QLocale &locale);

} // namespace logging
