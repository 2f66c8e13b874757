// The per-user port map read at a session's start, and the line that says how to map a device.
#include "driver/serial/PortsFile.h"
#include "driver/serial/SerialDriver.h"
#include "logging/StartFailureText.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestPortMap : public QObject
{
    Q_OBJECT

private slots:
    void parsing_data();
    void parsing();
    void failedStart_data();
    void failedStart();
};

void TestPortMap::parsing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("ports"); // "n=DEVICE" by port, joined by "|"
    QTest::addColumn<QString>("error");

    QTest::newRow("comments and blanks") << "# bench\n\n; lab\n 1 = /dev/ttyUSB0 \r\n7=COM3\n"
                                         << "1=/dev/ttyUSB0|7=COM3"
                                         << "";
    QTest::newRow("no equals sign") << "1=/dev/ttyUSB0\nttyUSB1\n"
                                    << ""
                                    << "p.ini, line 2: \"ttyUSB1\" is not N=DEVICE with N from 1 to 32767.";
    QTest::newRow("no device") << "2="
                               << ""
                               << "p.ini, line 1: \"2=\" is not N=DEVICE with N from 1 to 32767.";
    QTest::newRow("port zero") << "0=/dev/ttyUSB0"
                               << ""
                               << "p.ini, line 1: \"0=/dev/ttyUSB0\" is not N=DEVICE with N from 1 to 32767.";
    QTest::newRow("port twice") << "3=/dev/a\n#\n3=/dev/b"
                                << ""
                                << "p.ini, line 3: COM port 3 is mapped twice.";
}

void TestPortMap::parsing()
{
    QFETCH(QString, text);
    QFETCH(QString, ports);
    QFETCH(QString, error);
    const serial::PortsFile file = serial::parsePortsFile(QStringLiteral("p.ini"), text);
    QStringList mapped;
    for (const auto &[port, device] : file.ports)
        mapped << QStringLiteral("%1=%2").arg(port).arg(device);
    QCOMPARE(mapped.join(u'|'), ports);
    QCOMPARE(file.error, error);
}

void TestPortMap::failedStart_data()
{
    QTest::addColumn<QString>("portsFile");
    QTest::addColumn<QString>("commandLine"); // the device of --com 3, if any
    QTest::addColumn<bool>("devices"); // a USB adapter and a modem are plugged in
    QTest::addColumn<QString>("line"); // D: the device folder, P: the ports file

    const QString hint = " Serial devices present: <dev>/ttyACM0, <dev>/ttyUSB0 "
                         "(<dev>/serial/by-id/usb-KA_KA7700_A1-if00-port0). "
                         "To use one as COM port 3, add the line "
                         "\"3=<dev>/serial/by-id/usb-KA_KA7700_A1-if00-port0\" to <ports> or start with "
                         "--com 3=<dev>/serial/by-id/usb-KA_KA7700_A1-if00-port0.";
    QTest::newRow("file maps a missing device")
        << "3=<dev>/ttyUSB9"
        << "" << true << "COM port 3 (<dev>/ttyUSB9): no such device." + hint;
    QTest::newRow("nothing plugged in")
        << "3=<dev>/ttyUSB9"
        << "" << false
        << "COM port 3 (<dev>/ttyUSB9): no such device. No USB serial device is present. To use one as COM "
           "port 3, "
           "add the line \"3=DEVICE\" to <ports> or start with --com 3=DEVICE.";
    QTest::newRow("bad line")
        << "3=<dev>/ttyUSB0\nusb0\n"
        << "" << true << "COM port 3: <ports>, line 2: \"usb0\" is not N=DEVICE with N from 1 to 32767.";
    QTest::newRow("command line wins over the file")
        << "3=<dev>/ttyACM0\nusb0\n"
        << "<dev>/ttyUSB8" << true << "COM port 3 (<dev>/ttyUSB8): no such device." + hint;
}

void TestPortMap::failedStart()
{
    QFETCH(QString, portsFile);
    QFETCH(QString, commandLine);
    QFETCH(bool, devices);
    QFETCH(QString, line);
    QTemporaryDir dir;
    const QString dev = dir.filePath(QStringLiteral("dev"));
    const QString ports = dir.filePath(QStringLiteral("ports.ini"));
    QVERIFY(QDir().mkpath(dev + QStringLiteral("/serial/by-id")));
    const auto write = [](const QString &path, const QString &text) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
    };
    QVERIFY(write(ports, QString(portsFile).replace(QLatin1String("<dev>"), dev)));
    if (devices) {
        // Plain files stand in for the device nodes: the listing goes by names, not by kind.
        QVERIFY(write(dev + QStringLiteral("/ttyUSB0"), {}) && write(dev + QStringLiteral("/ttyACM0"), {}));
        QVERIFY(QFile::link(QStringLiteral("../../ttyUSB0"),
            dev + QStringLiteral("/serial/by-id/usb-KA_KA7700_A1-if00-port0")));
    }
    serial::PortMap map;
    if (!commandLine.isEmpty())
        map.emplace(static_cast<int16_t>(3), QString(commandLine).replace(QLatin1String("<dev>"), dev));
    const auto driver = serial::makeMappedSerialDriver({map, ports, dev}, 9600);

    QCOMPARE(driver->XwExtendedStartSession(3, xw::PortTypeKA7700, 0), 0);
    QCOMPARE(logging::startFailureLine(3, driver->lastStartFailure()),
        QString(line).replace(QLatin1String("<dev>"), dev).replace(QLatin1String("<ports>"), ports));
}

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
