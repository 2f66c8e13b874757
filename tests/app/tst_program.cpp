// Runs the program itself: what it prints and the status it ends with when it does not open its window.
#include <QProcess>
#include <QtTest>

class TestProgram : public QObject
{
    Q_OBJECT

private slots:
    void exits_data();
    void exits();
};

void TestProgram::exits_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::newRow("help") << QStringList {"--help"} << 0 << "Usage: kx4136-logger"
                          << "";
    QTest::newRow("version") << QStringList {"--version"} << 0 << "kx4136-logger 1."
                             << "";
    QTest::newRow("bad option") << QStringList {"--bogus"} << 2 << ""
                                << "kx4136-logger: Unknown option 'bogus'";
    QTest::newRow("bad sensor count") << QStringList {"--simulate=99"} << 2 << ""
                                      << "'99'";
    QTest::newRow("bad port") << QStringList {"--com", "300=/dev/ttyS0"} << 2 << ""
                              << "'300=/dev/ttyS0'";
#ifdef Q_OS_UNIX
    QTest::newRow("plot a device") << QStringList {"--plot", "/dev/zero", "--output", "p.png"} << 2 << ""
                                   << "regular file";
#endif
    QTest::newRow("topic with a line end")
        << QStringList {"--mqtt", "h", "--mqtt-topic", "a\nb", "--console"} << 2 << ""
        << "control characters";
}

void TestProgram::exits()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess program;
    program.start(QStringLiteral(KX_PROGRAM), arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), status);
    const QString stdOut = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString stdErr = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
    if (err.isEmpty()) {
        QCOMPARE(stdErr, QString());
    } else {
        QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
        QCOMPARE(stdErr.count(QLatin1Char('\n')), 1);
        QVERIFY(stdErr.endsWith(QLatin1Char('\n')));
        QCOMPARE(stdOut, QString());
    }
}

QTEST_GUILESS_MAIN(TestProgram)
#include "tst_program.moc"
