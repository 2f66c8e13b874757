// Tests of the command line and of the driver it chooses.
#include "app/CommandLine.h"
#include "app/DriverChoice.h"

#include <QtTest>
#include <vector>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace app;

namespace {

QString portMapText(const std::map<int16_t, QString> &ports)
{
    QStringList parts;
    for (const auto &[port, device] : ports)
        parts << QStringLiteral("%1=%2").arg(port).arg(device);
    return parts.join(QLatin1Char(' '));
}

// The ROM codes' family bytes of every device the driver finds on a port, in search order.
std::vector<int> familiesOn(xw::XwDriver &driver, int16_t port)
{
    std::vector<int> families;
    const int32_t session = driver.XwExtendedStartSession(port, 1, 0);
    if (session <= 0)
        return families;
    std::vector<uint8_t> state(xw::StateBufferSize);
    driver.XwSetup(session);
    for (int16_t found = driver.XwFirst(session, state.data()); found == 1;
         found = driver.XwNext(session, state.data())) {
        int16_t rom[8] {};
        driver.XwRom(session, state.data(), rom);
        families.push_back(rom[0]);
    }
    driver.XwEndSession(session);
    return families;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void portOption_data();
    void portOption();
    void printed_data();
    void printed();
    void simulatedBus_data();
    void simulatedBus();
    void serialWithoutSimulate();

private:
    QTemporaryDir m_dir; // a log, other names of it, and a FIFO
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
};

void TestCommandLine::initTestCase()
{
    QFile log(path("run.log"));
    QVERIFY(log.open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(path("run.log"), path("link.log")));
#ifdef Q_OS_UNIX
    QVERIFY(::link(QFile::encodeName(path("run.log")), QFile::encodeName(path("hard.log"))) == 0);
    QVERIFY(::mkfifo(QFile::encodeName(path("fifo")), 0600) == 0);
#endif
}

void TestCommandLine::accepted_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("simulate");
    QTest::addColumn<int>("sensors");
    QTest::addColumn<QString>("ports");

    QTest::newRow("nothing: the adapter") << QStringList {} << false << 0 << "";
    QTest::newRow("demo bus") << QStringList {"--simulate"} << true << 0 << "";
    QTest::newRow("N sensors") << QStringList {"--simulate=7"} << true << 7 << "";
    QTest::newRow("N after a space") << QStringList {"--simulate", "12"} << true << 12 << "";
    QTest::newRow("fewest sensors") << QStringList {"--simulate=1"} << true << 1 << "";
    QTest::newRow("most sensors") << QStringList {"--simulate=40"} << true << 40 << "";
    QTest::newRow("demo bus before another option")
        << QStringList {"--simulate", "--com", "2=/dev/ttyUSB0"} << true << 0 << "2=/dev/ttyUSB0";
    QTest::newRow("one port mapped") << QStringList {"--com", "1=/dev/ttyUSB0"} << false << 0
                                     << "1=/dev/ttyUSB0";
    QTest::newRow("port map with equals sign")
        << QStringList {"--com=3=/dev/ttyACM1"} << false << 0 << "3=/dev/ttyACM1";
    QTest::newRow("two ports, highest number")
        << QStringList {"--com", "255=COM9", "--com", "1=/dev/a b"} << false << 0 << "1=/dev/a b 255=COM9";
    QTest::newRow("serial rate") << QStringList {"--baud", "57600"} << false << 0 << "";
}

void TestCommandLine::accepted()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, simulate);
    QFETCH(int, sensors);
    QFETCH(QString, ports);
    const CommandLineResult result = parseCommandLine(QStringList {"kx4136-logger"} + arguments);
    QCOMPARE(result.action, CommandLineResult::Action::Run);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.options.simulate, simulate);
    QCOMPARE(result.options.simulatedSensors, sensors);
    QCOMPARE(portMapText(result.options.comPorts), ports);
    if (arguments.contains("--baud"))
        QCOMPARE(result.options.baud, arguments.last().toInt());
}

void TestCommandLine::refused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");

    QTest::newRow("unknown option") << QStringList {"--bogus"} << "bogus";
    QTest::newRow("stray word") << QStringList {"logfile.txt"} << "logfile.txt";
    QTest::newRow("word after N") << QStringList {"--simulate", "3", "extra"} << "extra";
    QTest::newRow("no sensors") << QStringList {"--simulate=0"} << "'0'";
    QTest::newRow("too many sensors") << QStringList {"--simulate=41"} << "'41'";
    QTest::newRow("count not a number") << QStringList {"--simulate", "three"} << "'three'";
    QTest::newRow("negative count") << QStringList {"--simulate", "-1"} << "not '-1'";
    QTest::newRow("empty count") << QStringList {"--simulate="} << "''";
    QTest::newRow("simulate twice") << QStringList {"--simulate", "--simulate=2"} << "--simulate";
    QTest::newRow("com without value") << QStringList {"--com"} << "com";
    QTest::newRow("com without equals") << QStringList {"--com", "/dev/ttyUSB0"} << "'/dev/ttyUSB0'";
    QTest::newRow("com port 0") << QStringList {"--com", "0=/dev/ttyS0"} << "'0=/dev/ttyS0'";
    QTest::newRow("com port 256") << QStringList {"--com", "256=/dev/ttyS0"} << "'256=/dev/ttyS0'";
    QTest::newRow("com without device") << QStringList {"--com", "4="} << "'4='";
    QTest::newRow("com port not a number") << QStringList {"--com", "x=/dev/ttyS0"} << "'x=/dev/ttyS0'";
    QTest::newRow("com port twice") << QStringList {"--com", "2=/a", "--com", "2=/b"} << "port 2";
    QTest::newRow("rate the adapter lacks") << QStringList {"--baud", "38400"} << "'38400'";
    QTest::newRow("single dash word") << QStringList {"-simulate"} << "Unknown option";
    QTest::newRow("broker port 0") << QStringList {"--mqtt", "localhost:0"} << "'localhost:0'";
    QTest::newRow("broker port too big") << QStringList {"--mqtt", "h:65536"} << "'h:65536'";
    QTest::newRow("broker without host") << QStringList {"--mqtt", ":1883"} << "':1883'";
    QTest::newRow("QoS 2") << QStringList {"--mqtt", "h", "--mqtt-qos", "2"} << "not '2'";
    QTest::newRow("unreadable password file")
        << QStringList {"--mqtt", "h", "--mqtt-user", "u", "--mqtt-password-file", "/nonexistent/pw"}
        << "/nonexistent/pw";
    QTest::newRow("wildcard topic") << QStringList {"--mqtt", "h", "--mqtt-topic", "a/#"} << "'a/#'";
    QTest::newRow("topic without broker") << QStringList {"--mqtt-topic", "t"} << "--mqtt";
    QTest::newRow("removal without broker") << QStringList {"--mqtt-remove-missing"} << "needs --mqtt";
    QTest::newRow("plot without output") << QStringList {"--plot", "a.log"} << "--output";
    QTest::newRow("output without plot") << QStringList {"--output", "a.png"} << "--plot";
    QTest::newRow("chart and plot") << QStringList {"--chart", "a", "--plot", "a", "--output", "p"}
                                    << "--chart";
    QTest::newRow("plot in the console")
        << QStringList {"--console", "--plot", "a", "--output", "p"} << "--console";
    QTest::newRow("size too small") << QStringList {"--plot", "a", "--output", "p", "--size", "99x600"}
                                    << "'99x600'";
    QTest::newRow("size without height")
        << QStringList {"--plot", "a", "--output", "p", "--size", "800x"} << "'800x'";
    const QString log = path("run.log");
    const QString notText = QStringLiteral("control characters");
    QTest::newRow("output over the log") << QStringList {"--plot", log, "--output", log} << "log file itself";
    QTest::newRow("output over a link to the log")
        << QStringList {"--plot", log, "--output", path("link.log")} << "log file itself";
    QTest::newRow("output over the log by another path")
        << QStringList {"--plot", log, "--output", m_dir.path() + "/./run.log"} << "log file itself";
#ifdef Q_OS_UNIX
    QTest::newRow("chart a FIFO") << QStringList {"--chart", path("fifo")} << "regular file";
    QTest::newRow("plot a device") << QStringList {"--plot", "/dev/zero", "--output", "p"} << "regular file";
    QTest::newRow("output into a FIFO") << QStringList {"--plot", log, "--output", path("fifo")} << "regular";
    QTest::newRow("password from a device") << QStringList {"--mqtt", "h", "--mqtt-user", "u",
        "--mqtt-password-file", "/dev/zero"} << "regular file";
    QTest::newRow("CA from a FIFO") << QStringList {"--mqtt", "h", "--mqtt-cafile", path("fifo")}
                                    << "regular";
    QTest::newRow("output over a hard link to the log")
        << QStringList {"--plot", log, "--output", path("hard.log")} << "log file itself";
#endif
    QTest::newRow("topic with a tab") << QStringList {"--mqtt", "h", "--mqtt-topic", "a\tb"} << notText;
    QTest::newRow("topic with a line end") << QStringList {"--mqtt", "h", "--mqtt-topic", "a\nb"} << notText;
    QTest::newRow("topic with U+FFFF") << QStringList {"--mqtt", "h", "--mqtt-topic", "a\uFFFF"} << notText;
    QTest::newRow("topic with a lone surrogate")
        << QStringList {"--mqtt", "h", "--mqtt-topic", QString(QChar(0xD800))} << notText;
    QTest::newRow("broker's own topic") << QStringList {"--mqtt", "h", "--mqtt-topic", "$SYS"} << "$";
    QTest::newRow("topic over the protocol's length")
        << QStringList {"--mqtt", "h", "--mqtt-topic", QString(65535, 'a')} << "too long";
}

void TestCommandLine::refused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    const CommandLineResult result = parseCommandLine(QStringList {"kx4136-logger"} + arguments);
    QCOMPARE(result.action, CommandLineResult::Action::Fail);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.text.contains(named), qPrintable(result.text));
    QVERIFY(!result.text.contains(QLatin1Char('\n')));
}

void TestCommandLine::portOption_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("status");

    for (const char *good : {"1", "2", "255"})
        QTest::newRow(good) << good << 0;
    for (const char *bad : {"0", "-1", "0.4", "1.5", "256", "32767", "1e2", "one", ""})
        QTest::newRow(bad) << bad << 2;
}

void TestCommandLine::portOption()
{
    QFETCH(QString, port);
    QFETCH(int, status);
    const CommandLineResult result = parseCommandLine({"kx4136-logger", "--console", "--port", port});
    QCOMPARE(result.exitCode, status);
    QCOMPARE(result.text, status == 0 ? QString() : QStringLiteral("Wrong COM port number."));
    if (status == 0)
        QCOMPARE(result.options.port, port);
}

void TestCommandLine::printed_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("shows");

    QTest::newRow("--help") << "--help"
                            << "--simulate=N";
    QTest::newRow("-h") << "-h"
                        << "Usage: kx4136-logger [options]\n";
    QTest::newRow("--version") << "--version"
                               << "kx4136-logger 1.";
    QTest::newRow("-v") << "-v"
                        << "kx4136-logger 1.";
}

void TestCommandLine::printed()
{
    QFETCH(QString, option);
    QFETCH(QString, shows);
    const CommandLineResult result = parseCommandLine({"kx4136-logger", "--simulate", option});
    QCOMPARE(result.action, CommandLineResult::Action::Print);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.text.contains(shows), qPrintable(result.text));
    for (const QString &line : result.text.split(QLatin1Char('\n')))
        QVERIFY2(line.size() <= 80, qPrintable(line));
}

void TestCommandLine::simulatedBus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("kx4130");

    QTest::newRow("demo bus: two KX4136 and a KX4130") << QStringList {"--simulate"} << 3 << 1;
    QTest::newRow("one sensor") << QStringList {"--simulate=1"} << 1 << 0;
    QTest::newRow("40 sensors") << QStringList {"--simulate", "40"} << 40 << 0;
}

void TestCommandLine::simulatedBus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, devices);
    QFETCH(int, kx4130);
    const CommandLineResult parsed = parseCommandLine(QStringList {"kx4136-logger"} + arguments);
    QCOMPARE(parsed.action, CommandLineResult::Action::Run);
    const auto driver = chooseDriver(parsed.options);
    QVERIFY(driver);
    const std::vector<int> families = familiesOn(*driver, 1);
    QCOMPARE(static_cast<int>(families.size()), devices);
    QCOMPARE(static_cast<int>(std::count(families.begin(), families.end(), 0x10)), kx4130);
    QVERIFY(familiesOn(*driver, 2).empty());
}

void TestCommandLine::serialWithoutSimulate()
{
    CommandLineOptions options;
    options.comPorts[1] = QStringLiteral("/nonexistent/kx4136-test-port");
    const auto driver = chooseDriver(options);
    QVERIFY(driver);
    // The serial driver, not a simulation: COM port 1 leads to a device that is not there.
    QCOMPARE(driver->XwExtendedStartSession(1, 1, 0), 0);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
