// Reading texts, date-time texts, list lines and the conversions of the window's texts.
#include "logging/Conversions.h"
#include "logging/TextFormats.h"

#include <QTest>

using namespace logging;

Q_DECLARE_METATYPE(logging::LogLine)

class TstFormats : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void readingText_data();
    void readingText();
    void readingTextUsesLocaleSeparator();
    void timeFormatWithoutZone_data();
    void timeFormatWithoutZone();
    void dateTimeText_data();
    void dateTimeText();
    void sensorListLine_data();
    void sensorListLine();
    void logLine_data();
    void logLine();

    void settingConversions_data();
    void settingConversions();
    void settingsFollowLocaleSeparator();
    void sensorIndex_data();
    void sensorIndex();
};

void TstFormats::readingText_data()
{
    QTest::addColumn<float>("celsius");
    QTest::addColumn<QString>("expected");
    QTest::newRow("21.5") << 21.5F << "21.500";
    QTest::newRow("-0.25") << -0.25F << "-0.250";
    QTest::newRow("zero") << 0.0F << "0.000";
    QTest::newRow("negative zero") << -0.0F << "0.000";
    QTest::newRow("125") << 125.0F << "125.000";
    QTest::newRow("half up") << 0.0625F << "0.063";
    QTest::newRow("half away from zero below zero") << -10.0625F << "-10.063";
    QTest::newRow("-55") << -55.0F << "-55.000";
    QTest::newRow("tiny negative rounds to unsigned zero") << -0.0004F << "0.000";
    QTest::newRow("stored just below a half rounds down") << 2.0005F << "2.000";
    QTest::newRow("stored just above a half rounds up") << 0.0005F << "0.001";
    QTest::newRow("no grouping") << 16383.5F << "16383.500";
    QTest::newRow("carry into the integer part") << 9.9996F << "10.000";
}

void TstFormats::readingText()
{
    QFETCH(float, celsius);
    QFETCH(QString, expected);
    QCOMPARE(logging::readingText(celsius), expected);
}

void TstFormats::readingTextUsesLocaleSeparator()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(logging::readingText(21.5F), QStringLiteral("21,500"));
    QCOMPARE(logging::readingText(-1234.5F), QStringLiteral("-1234,500"));
}

void TstFormats::timeFormatWithoutZone_data()
{
    QTest::addColumn<QString>("longFormat");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zone at the end") << "HH:mm:ss t"
                                     << "HH:mm:ss";
    QTest::newRow("zone before a suffix") << "h:mm:ss t AP"
                                          << "h:mm:ss AP";
    QTest::newRow("zone in front") << "t HH:mm:ss"
                                   << "HH:mm:ss";
    QTest::newRow("no zone") << "HH:mm:ss"
                             << "HH:mm:ss";
    QTest::newRow("quoted t stays") << "HH 'uhr' mm:ss t"
                                    << "HH 'uhr' mm:ss";
    QTest::newRow("narrow space before AP stays")
        << QStringLiteral("h:mm:ss\u202FAP t") << QStringLiteral("h:mm:ss\u202FAP");
}

void TstFormats::timeFormatWithoutZone()
{
    QFETCH(QString, longFormat);
    QFETCH(QString, expected);
    QCOMPARE(logging::timeFormatWithoutZone(longFormat), expected);
}

void TstFormats::dateTimeText_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("expected");
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << "15.01.24 18:23:42";
    QTest::newRow("US English") << QLocale(QLocale::English, QLocale::UnitedStates) << "1/15/24 6:23:42 PM";
    QTest::newRow("Swedish") << QLocale(QLocale::Swedish, QLocale::Sweden) << "2024-01-15 18:23:42";
}

void TstFormats::dateTimeText()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, expected);
    QLocale::setDefault(locale);
    const QDateTime when(QDate(2024, 1, 15), QTime(18, 23, 42));
    QCOMPARE(logging::dateTimeText(when), expected);
}

void TstFormats::sensorListLine_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first sensor") << 0 << "21.500" << QStringLiteral("Sensor #0 : 21.500 \u00B0C");
    QTest::newRow("failed read") << 3 << "?" << QStringLiteral("Sensor #3 : ? \u00B0C");
    QTest::newRow("two digits") << 31 << "-0.250" << QStringLiteral("Sensor #31 : -0.250 \u00B0C");
}

void TstFormats::sensorListLine()
{
    QFETCH(int, index);
    QFETCH(QString, reading);
    QFETCH(QString, expected);
    QCOMPARE(logging::sensorListLine(index, reading), expected);
}

void TstFormats::logLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<LogLine>("values"); // Unreadable: a line neither writer gives
    QTest::addColumn<QLocale>("locale");
    using K = LogLine::Kind;
    const QLocale german(QLocale::German, QLocale::Germany);
    QTest::newRow("header") << "KX4136\t28 6A 3F 11 03 00 00 C4\t10 B2 7C 45 01 08 FF 9E"
                            << LogLine {K::Header,
                                   {{0x28, 0x6A, 0x3F, 0x11, 0x03, 0x00, 0x00, 0xC4},
                                       {0x10, 0xB2, 0x7C, 0x45, 0x01, 0x08, 0xFF, 0x9E}},
                                   {}, {}}
                            << german;
    QTest::newRow("comma decimal") << "15.01.24 18:23:42\t21,500\t?\t-0,250"
                                   << LogLine {K::Data, {}, {QDate(2024, 1, 15), QTime(18, 23, 42)},
                                          {21.5F, {}, -0.25F}}
                                   << german;
    QTest::newRow("dot decimal, hours of 12")
        << "7/4/31 6:05:09 AM\t125.000\t-55.125"
        << LogLine {K::Data, {}, {QDate(2031, 7, 4), QTime(6, 5, 9)}, {125.0F, -55.125F}}
        << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("four-digit year") << "1999-12-31 23:59:59\t?"
                                     << LogLine {K::Data, {}, {QDate(1999, 12, 31), QTime(23, 59, 59)}, {{}}}
                                     << QLocale(QLocale::Swedish, QLocale::Sweden);
    for (const char *line : {"", "KX4136\t28 6A 3F", "KX4136\t28 6a 3f 11 03 00 00 c4", "yesterday\t21,500",
             "15.01.24 18:23\t21,500", "15.01.24 18:23:42\t21.500", "15.01.24 18:23:42\t21,5"})
        QTest::addRow("unreadable: %s", line) << QString::fromLatin1(line) << LogLine {} << german;
}

// Written from the values, the line is the one expected; read back, it gives the values again.
void TstFormats::logLine()
{
    QFETCH(QString, line);
    QFETCH(LogLine, values);
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);
    if (values.kind == LogLine::Kind::Header)
        QCOMPARE(logHeaderLine(values.roms), line);
    else if (values.kind == LogLine::Kind::Data)
        QCOMPARE(logDataLine(values.when, values.readings), line);
    const LogLine read = readLogLine(line);
    QCOMPARE(read.kind, values.kind);
    QCOMPARE(read.roms, values.roms);
    QCOMPARE(read.when, values.when);
    QVERIFY(read.readings == values.readings);
}

enum Setting { Port, Interval, Delay };

void TstFormats::settingConversions_data()
{
    QTest::addColumn<int>("setting");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("value"); // milliseconds for the interval
    // One row: the setting, its text, whether it is taken and the value it gives.
    const auto row = [](const char *name, Setting setting, const char *text, bool valid, qint64 value) {
        QTest::newRow(name) << static_cast<int>(setting) << QString::fromUtf8(text) << valid << value;
    };
    row("interval 5 s", Interval, "5", true, 5000);
    row("interval 0.5 s", Interval, "0.5", true, 500);
    row("interval 2.5 s", Interval, "2.5", true, 2500);
    row("interval 2.0004 s", Interval, "2.0004", true, 2000);
    row("interval with blanks", Interval, " 5 ", true, 5000);
    row("interval longest", Interval, "2147483.647", true, 2147483647);
    row("interval too long", Interval, "2147483.648", false, 0);
    row("interval zero", Interval, "0", false, 0);
    row("interval rounds to zero", Interval, "0.0004", false, 0);
    row("interval negative", Interval, "-5", false, 0);
    row("interval letters", Interval, "five", false, 0);
    row("interval empty", Interval, "", false, 0);
    row("interval infinite", Interval, "inf", false, 0);
    row("delay 500", Delay, "500", true, 500);
    row("delay 500.5 to even", Delay, "500.5", true, 500);
    row("delay 501.5 to even", Delay, "501.5", true, 502);
    row("delay zero", Delay, "0", true, 0);
    row("delay minus half rounds to zero", Delay, "-0.5", true, 0);
    row("delay negative", Delay, "-1", false, 0);
    row("delay largest", Delay, "32767", true, 32767);
    row("delay rounds past 16 bits", Delay, "32767.5", false, 0);
    row("delay not a number", Delay, "1O", false, 0);
    row("delay not a number either", Delay, "nan", false, 0);
    row("port 1", Port, "1", true, 1);
    row("port 2.5 to even", Port, "2.5", true, 2);
    row("port 3.5 to even", Port, "3.5", true, 4);
    row("port lowest", Port, "-32768", true, -32768);
    row("port minus one is 16-bit", Port, "-1", true, -1);
    row("port too low", Port, "-32769", false, 0);
    row("port too high", Port, "32768", false, 0);
    row("port hex", Port, "0x10", false, 0);
}

void TstFormats::settingConversions()
{
    QFETCH(int, setting);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(qint64, value);
    std::optional<qint64> got;
    if (setting == Port) {
        if (const auto v = portNumberFromText(text, QLocale()))
            got = *v;
    } else if (setting == Interval) {
        if (const auto v = intervalMsFromText(text, QLocale()))
            got = *v;
    } else if (const auto v = oneWireDelayFromText(text, QLocale())) {
        got = *v;
    }
    QCOMPARE(got.has_value(), valid);
    if (valid)
        QCOMPARE(*got, value);
}

void TstFormats::settingsFollowLocaleSeparator()
{
    const QLocale german(QLocale::German, QLocale::Germany);
    QCOMPARE(intervalMsFromText(QStringLiteral("2,5"), german), std::optional<int32_t>(2500));
    QCOMPARE(oneWireDelayFromText(QStringLiteral("501,5"), german), std::optional<int16_t>(502));
    QVERIFY(!intervalMsFromText(QStringLiteral("2.5x"), german).has_value());
}

void TstFormats::sensorIndex_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lastSensor");
    QTest::addColumn<int>("expected"); // -1: "Wrong sensor number."
    QTest::newRow("empty") << "" << 3 << -1;
    QTest::newRow("letters") << "one" << 3 << -1;
    QTest::newRow("minus one") << "-1" << 3 << -1;
    QTest::newRow("just below zero") << "-0.4" << 3 << -1;
    QTest::newRow("last plus one") << "4" << 3 << -1;
    QTest::newRow("0.4 with one sensor") << "0.4" << 0 << -1;
    QTest::newRow("0.4 with two sensors") << "0.4" << 1 << 0;
    QTest::newRow("1.5 to even") << "1.5" << 2 << 2;
    QTest::newRow("2.5 to even") << "2.5" << 3 << 2;
    QTest::newRow("last") << "31" << 31 << 31;
}

void TstFormats::sensorIndex()
{
    QFETCH(QString, text);
    QFETCH(int, lastSensor);
    QFETCH(int, expected);
    const auto index = sensorIndexFromText(text, static_cast<int16_t>(lastSensor), QLocale());
    QCOMPARE(index ? static_cast<int>(*index) : -1, expected);
}

QTEST_GUILESS_MAIN(TstFormats)
#include "tst_formats.moc"
