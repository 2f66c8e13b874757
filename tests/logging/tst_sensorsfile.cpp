// Tests of the sensors file: names and limits read, the message for each kind of bad line, and writing.
#include "logging/SensorsFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace logging;

namespace {

// Right CRCs, a KX4136 and a KX4130.
const QString A = QStringLiteral("28B484D70F4F4CAF");
const QString B = QStringLiteral("1027A8BE0108009C");

QString fileWith(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("sensors.ini"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

} // namespace

class TstSensorsFile : public QObject
{
    Q_OBJECT

private slots:
    void goodFile()
    {
        QTemporaryDir dir;
        // As an editor on Windows may save it: a byte order mark and CR LF.
        const QString text = "# freezers\r\n\r\n[" + A
            + "]\r\nname = Chest freezer\r\nlow=-30\r\nhigh=-15.5\r\n; spare\r\n[" + B.toLower()
            + "]\r\nhysteresis=1\r\n";
        const SensorsFile file = readSensorsFile(fileWith(dir, "\xEF\xBB\xBF" + text.toUtf8()));
        QCOMPARE(file.error, QString());
        QCOMPARE(file.sensors.size(), std::size_t(2));
        const SensorSettings &a = file.sensors.at(*romFromKey(A));
        QCOMPARE(a.name, QStringLiteral("Chest freezer"));
        QCOMPARE(a.limits.low, -30.0);
        QCOMPARE(a.limits.high, -15.5);
        QCOMPARE(a.limits.hysteresis, 0.5);
        const SensorSettings &b = file.sensors.at(*romFromKey(B));
        QVERIFY(b.name.isEmpty() && !b.limits.any());
        QCOMPARE(b.limits.hysteresis, 1.0);
        const SensorsFile missing = readSensorsFile(dir.filePath(QStringLiteral("none.ini")));
        QVERIFY(missing.error.isEmpty() && missing.sensors.empty());
    }

    void badLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("what");
        const QString group = "[" + A + "]\n";
        const QString wrongCrc = A.left(15) + "E";
        QTest::newRow("unknown key") << group + "colour=red" << 2 << "unknown key \"colour\"";
        QTest::newRow("not a number") << group + "name=x\nlow=1,5" << 3 << "\"1,5\" is not a number";
        QTest::newRow("low above high") << group + "high=4\nlow=5" << 3 << "low 5 is above high 4";
        QTest::newRow("wrong ROM length")
            << "[" + A.left(14) + "]" << 1 << A.left(14) + "\" is not a ROM code";
        QTest::newRow("bad CRC") << "# x\n[" + wrongCrc + "]" << 2 << wrongCrc + "\" is not a ROM code";
        QTest::newRow("no hex digit") << "[" + A.left(15) + "\u00E9]" << 1 << "is not a ROM code";
        QTest::newRow("key before group") << "\nname=Cellar\n" + group << 2 << "before the first";
        QTest::newRow("garbage line") << group + "name=x\nrubbish" << 3 << "\"rubbish\" is neither";
    }

    void badLine()
    {
        QFETCH(QString, text);
        QFETCH(int, line);
        QFETCH(QString, what);
        QTemporaryDir dir;
        const QString path = fileWith(dir, text.toUtf8());
        const SensorsFile file = readSensorsFile(path);
        const QString where = QStringLiteral("%1, line %2: ").arg(path).arg(line);
        QVERIFY2(file.error.startsWith(where) && file.error.contains(what), qPrintable(file.error));
        QVERIFY(file.sensors.empty());
    }

    void writing_data()
    {
        QTest::addColumn<QString>("before"); // null: no file, nor its folder
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("high"); // empty: none
        QTest::addColumn<QString>("after");
        const QString a = "[" + A + "]\n";
        const QString b = "[" + B + "]\nname=Cellar\n";
        QTest::newRow("new file in a missing folder") << QString() << "Freezer"
                                                      << "-15" << a + "name=Freezer\nhigh=-15\n";
        QTest::newRow("appended to the others") << "# mine\n" + b.chopped(1) << "Freezer"
                                                << ""
                                                << "# mine\n" + b + "\n" + a + "name=Freezer\n";
        QTest::newRow("update keeps comments and other groups")
            << b + "\n" + a + "# the chest\nname=Old\nlow=-40\n; end\n"
            << "Freezer"
            << "-15.5" << b + "\n" + a + "name=Freezer\nhigh=-15.5\n# the chest\n; end\n";
        QTest::newRow("a line break in the name")
            << QString() << "Chest\n" + b << "" << a + "name=Chest " + b.simplified() + "\n";
        QTest::newRow("removal") << a + "name=Old\n" + b << ""
                                 << "" << b;
    }

    void writing()
    {
        QFETCH(QString, before);
        QFETCH(QString, name);
        QFETCH(QString, high);
        QFETCH(QString, after);
        QTemporaryDir dir;
        const QString path = before.isNull() ? dir.filePath(QStringLiteral("new/folder/sensors.ini"))
                                             : fileWith(dir, before.toUtf8());
        SensorSettings settings {name, {}};
        if (!high.isEmpty())
            settings.limits.high = high.toDouble();
        QCOMPARE(writeSensorSettings(path, *romFromKey(A), settings), QString());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), after);
        QCOMPARE(readSensorsFile(path).error, QString());
    }
};

QTEST_GUILESS_MAIN(TstSensorsFile)
#include "tst_sensorsfile.moc"
