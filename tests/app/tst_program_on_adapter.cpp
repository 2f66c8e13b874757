// The program run on the adapter emulator's pseudo-terminal: the sensors it lists, reads and logs.
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int StartTimeoutMs = 10000;
// Discovery waits a second per sensor and each cycle the delay per sensor; this leaves room for a slow
// sanitizer build without letting a hung run block the suite.
constexpr int RunTimeoutMs = 60000;

// The same locale for every run, so the readings' decimal point and the degree sign can be matched.
QProcessEnvironment childEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    return environment;
}

QStringList outputLines(QProcess &process)
{
    QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestProgramOnAdapter : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void readsSensors_data();
    void readsSensors();
    void startFails_data();
    void startFails();

private:
    QString startEmulator(const QStringList &arguments);
    static void startProgram(QProcess &program, const QStringList &arguments);
    static void stop(QProcess &process);

    QProcess m_emulator;
};

QString TestProgramOnAdapter::startEmulator(const QStringList &arguments)
{
    m_emulator.start(QStringLiteral(KX_EMULATOR), arguments);
    if (!m_emulator.waitForStarted(StartTimeoutMs))
        return QString();
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!m_emulator.canReadLine() && !deadline.hasExpired())
        if (!m_emulator.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
    return QString::fromLocal8Bit(m_emulator.readLine()).trimmed();
}

void TestProgramOnAdapter::startProgram(QProcess &program, const QStringList &arguments)
{
    program.setProcessEnvironment(childEnvironment());
    program.start(QStringLiteral(KX_PROGRAM), arguments);
}

void TestProgramOnAdapter::stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(StartTimeoutMs)) {
        process.kill();
        process.waitForFinished(StartTimeoutMs);
    }
}

void TestProgramOnAdapter::cleanup()
{
    // A failed check leaves the emulator running; the next case needs a fresh one.
    stop(m_emulator);
}

void TestProgramOnAdapter::readsSensors_data()
{
    QTest::addColumn<QStringList>("emulatorArguments");
    QTest::addColumn<QString>("simulation"); // the same bus without the adapter, for comparison
    QTest::addColumn<int>("cycles");
    QTest::addColumn<QStringList>("kinds"); // family byte and resolution of each sensor, sorted

    QTest::newRow("demo bus, two cycles")
        << QStringList() << "--simulate" << 2 << QStringList {"10 8-bit", "28 12-bit", "28 9-bit"};
    QTest::newRow("five sensors, one cycle") << QStringList {"--sensors", "5"} << "--simulate=5" << 1
                                             << QStringList(5, QStringLiteral("28 12-bit"));
}

void TestProgramOnAdapter::readsSensors()
{
    QFETCH(QStringList, emulatorArguments);
    QFETCH(QString, simulation);
    QFETCH(int, cycles);
    QFETCH(QStringList, kinds);
    const int sensors = static_cast<int>(kinds.size());
    const QString pty = startEmulator(emulatorArguments);
    QVERIFY2(pty.startsWith(QLatin1Char('/')), qPrintable(m_emulator.errorString()));
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("log.txt"));

    // The simulated run only has to list its sensors; it runs alongside, as both mostly wait.
    QProcess simulated;
    startProgram(simulated,
        {"--console", simulation, "--interval", "0.001", "--delay", "0", "--cycles", "1", "--no-log"});
    QProcess program;
    startProgram(program,
        {"--console", "--com", "1=" + pty, "--interval", "1", "--delay", "800", "--cycles",
            QString::number(cycles), "--log", log});
    const bool finished = program.waitForFinished(RunTimeoutMs);
    const bool simulatedFinished = simulated.waitForFinished(RunTimeoutMs);
    stop(program);
    stop(simulated);
    QVERIFY(finished && simulatedFinished);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(program.readAllStandardError()), QString());
    QCOMPARE(simulated.exitCode(), 0);

    QStringList out = outputLines(program);
    QVERIFY(out.takeAt(sensors + 1).startsWith(QLatin1String("A reading cycle took"))); // 0.8 s a sensor
    QVERIFY2(out.size() == sensors + 1 + cycles * (sensors + 1), qPrintable(out.join(QLatin1Char('\n'))));
    // Through the adapter the program must list exactly what it lists on the simulated bus.
    QCOMPARE(out.mid(0, sensors + 1), outputLines(simulated).mid(0, sensors + 1));
    QCOMPARE(out.at(sensors), QStringLiteral("%1 sensor(s) found.").arg(sensors));

    static const QRegularExpression deviceLine(
        QStringLiteral("^Sensor #(\\d+) : (([0-9A-F]{2})(?: [0-9A-F]{2}){7}) , (\\d+)-bit$"));
    QStringList roms;
    QStringList found;
    for (int i = 0; i < sensors; ++i) {
        const auto match = deviceLine.match(out.at(i));
        QVERIFY2(match.hasMatch(), qPrintable(out.at(i)));
        QCOMPARE(match.captured(1).toInt(), i);
        roms << match.captured(2);
        found << match.captured(3) + QLatin1Char(' ') + match.captured(4) + QStringLiteral("-bit");
    }
    found.sort();
    QCOMPARE(found, kinds);

    const QStringList logLines = [&] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly)
            ? QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"))
            : QStringList();
    }();
    QCOMPARE(logLines.size(), 1 + cycles + 1); // the last line end leaves an empty piece
    QCOMPARE(logLines.first(), QStringLiteral("KX4136\t") + roms.join(QLatin1Char('\t')));
    QCOMPARE(logLines.last(), QString());

    static const QRegularExpression readingLine(QStringLiteral("^Sensor #(\\d+) : (-?\\d+\\.\\d{3}) °C$"));
    for (int c = 0; c < cycles; ++c) {
        const int first = sensors + 1 + c * (sensors + 1);
        QStringList readings;
        for (int i = 0; i < sensors; ++i) {
            const QString &line = out.at(first + 1 + i);
            const auto match = readingLine.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            QCOMPARE(match.captured(1).toInt(), i);
            // 85 is what a sensor reads before its first finished conversion.
            QVERIFY2(match.captured(2) != QLatin1String("85.000"), qPrintable(line));
            readings << match.captured(2);
        }
        QCOMPARE(logLines.at(1 + c), out.at(first) + QLatin1Char('\t') + readings.join(QLatin1Char('\t')));
    }

    m_emulator.terminate();
    QVERIFY(m_emulator.waitForFinished(StartTimeoutMs));
    QCOMPARE(m_emulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_emulator.exitCode(), 0);
}

void TestProgramOnAdapter::startFails_data()
{
    QTest::addColumn<QStringList>("emulatorArguments"); // empty: no emulator, no device
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("mapping"); // the device may be the wrong one: the line says how to map another

    QTest::newRow("no device") << QStringList() << "no such device" << true;
    QTest::newRow("nobody answering") << QStringList {"--silent"} << "no adapter answering" << true;
    QTest::newRow("shorted bus") << QStringList {"--short"} << "1-wire bus shorted" << false;
}

void TestProgramOnAdapter::startFails()
{
    QFETCH(QStringList, emulatorArguments);
    QFETCH(QString, reason);
    QFETCH(bool, mapping);
    QTemporaryDir dir;
    const QString pty = emulatorArguments.isEmpty() ? dir.filePath(QStringLiteral("tty"))
                                                    : startEmulator(emulatorArguments);
    QVERIFY2(pty.startsWith(QLatin1Char('/')), qPrintable(m_emulator.errorString()));
    const QString log = dir.filePath(QStringLiteral("log.txt"));

    QProcess program;
    startProgram(program,
        {"--console", "--com", "1=" + pty, "--interval", "1", "--delay", "800", "--cycles", "1", "--log",
            log});
    // Every read has a time-out, so a device that never answers is given up on well within this bound.
    const bool finished = program.waitForFinished(StartTimeoutMs);
    stop(program);
    QVERIFY(finished);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    // The devices the hint lists are this machine's.
    const QString err = QString::fromUtf8(program.readAllStandardError());
    const QString line
        = QStringLiteral("Error when starting session.\nCOM port 1 (%1): %2.").arg(pty, reason);
    QVERIFY2(mapping ? err.startsWith(line + u' ') && err.contains(QLatin1String(" or start with --com 1="))
                     : err == line + u'\n',
        qPrintable(err));
    QCOMPARE(outputLines(program), QStringList());
    QVERIFY(!QFile::exists(log));
}

QTEST_GUILESS_MAIN(TestProgramOnAdapter)
#include "tst_program_on_adapter.moc"
