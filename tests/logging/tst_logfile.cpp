// The log file: header and data lines, appending with CR LF, and lines kept while the file cannot be written.
#include "bus/modKX4136.h"
#include "logging/LogFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace logging;

namespace {

using Rom = std::array<int16_t, 8>;

void setRoms(const QList<Rom> &roms)
{
    modKX4136::ResetModuleState();
    for (int i = 0; i < roms.size(); ++i)
        std::copy(roms[i].begin(), roms[i].end(), modKX4136::RomTable[i]);
    modKX4136::LastSensor = static_cast<int16_t>(roms.size() - 1);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TstLogFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { reports.clear(); }

    void headerLine_data();
    void headerLine();
    void headerOfThirtyTwoSensors();
    void dataLine();

    void newFileStartsWithFirstLine();
    void laterLinesAppendAfterEarlierOnes();
    void lineTextInLocaleEncoding();
    void unwritableFolderKeepsLinesInOrder();
    void keptLinesGetALastTryAtTheEnd();
    void emptyPathKeepsLines();
    void fullDiskKeepsLine();
    void keptLinesAreBounded();
    void keptLinesWaitForTheirOwnFile();
    void eachFileFailingIsTold();
    void partWrittenLineIsTakenBack();
    void boundCoversAWeekOfSeconds();

private:
    LogFile makeLog(qsizetype limit = LogFile::DefaultKeptLimit)
    {
        return LogFile([this](const QString &line) { reports.append(line); }, limit);
    }
    QStringList reports;
};

void TstLogFile::headerLine_data()
{
    QTest::addColumn<QList<Rom>>("roms");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one sensor") << QList<Rom> {{0x28, 0x6A, 0x3F, 0x11, 0x03, 0x00, 0x00, 0xC4}}
                                << "KX4136\t28 6A 3F 11 03 00 00 C4";
    QTest::newRow("two families") << QList<Rom> {{0x28, 0x6A, 0x3F, 0x11, 0x03, 0x00, 0x00, 0xC4},
        {0x10, 0xB2, 0x7C, 0x45, 0x01, 0x08, 0x00, 0x9E}}
                                  << "KX4136\t28 6A 3F 11 03 00 00 C4\t10 B2 7C 45 01 08 00 9E";
    QTest::newRow("row never read") << QList<Rom> {{0, 0, 0, 0, 0, 0, 0, 0}}
                                    << "KX4136\t00 00 00 00 00 00 00 00";
}

void TstLogFile::headerLine()
{
    QFETCH(QList<Rom>, roms);
    QFETCH(QString, expected);
    setRoms(roms);
    modKX4136::RomTable[roms.size()][0] = 0x28; // a row past LastSensor must not show
    QCOMPARE(LogHeaderLine(), expected);
}

void TstLogFile::headerOfThirtyTwoSensors()
{
    QList<Rom> roms;
    for (int16_t i = 0; i < 32; ++i)
        roms.append({0x28, i, 0, 0, 0, 0, 0, static_cast<int16_t>(255 - i)});
    setRoms(roms);
    const QStringList fields = LogHeaderLine().split(QLatin1Char('\t'));
    QCOMPARE(fields.size(), 33);
    QCOMPARE(fields.at(32), QStringLiteral("28 1F 00 00 00 00 00 E0"));
    for (const QString &field : fields.mid(1))
        QCOMPARE(field.size(), 23);
}

void TstLogFile::dataLine()
{
    QCOMPARE(
        LogDataLine(QStringLiteral("2024-01-15 18:23:47"), {QStringLiteral("21.563"), QStringLiteral("?")}),
        QStringLiteral("2024-01-15 18:23:47\t21.563\t?"));
    QCOMPARE(LogDataLine(QStringLiteral("15.01.24 18:23:47"), {QStringLiteral("21,500")}),
        QStringLiteral("15.01.24 18:23:47\t21,500"));
}

void TstLogFile::newFileStartsWithFirstLine()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("KX4136_log.txt"));
    LogFile log = makeLog();
    log.AppendLogLine(path, QStringLiteral("KX4136\t28 00 00 00 00 00 00 00"));
    QCOMPARE(contents(path), QByteArray("KX4136\t28 00 00 00 00 00 00 00\r\n"));
    QVERIFY(reports.isEmpty());
}

void TstLogFile::laterLinesAppendAfterEarlierOnes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    {
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier run\r\n");
    }
    LogFile log = makeLog();
    log.AppendLogLine(path, QStringLiteral("header"));
    log.AppendLogLine(path, QStringLiteral("data"));
    QCOMPARE(contents(path), QByteArray("earlier run\r\nheader\r\ndata\r\n"));
}

void TstLogFile::lineTextInLocaleEncoding()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    const QString line = QStringLiteral("15. J\u00E4n. 2024 18:23:47\t21.500");
    makeLog().AppendLogLine(path, line);
    QCOMPARE(contents(path), line.toLocal8Bit() + "\r\n");
}

void TstLogFile::unwritableFolderKeepsLinesInOrder()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("not yet"));
    const QString path = folder + QStringLiteral("/log.txt");
    LogFile log = makeLog();
    log.AppendLogLine(path, QStringLiteral("header"));
    log.AppendLogLine(path, QStringLiteral("one"));
    log.AppendLogLine(path, QStringLiteral("two"));
    QVERIFY(!QFile::exists(path));
    QCOMPARE(log.keptCount(), 3);
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().contains(path), qPrintable(reports.first()));

    QVERIFY(QDir().mkpath(folder));
    log.AppendLogLine(path, QStringLiteral("three"));
    QCOMPARE(contents(path), QByteArray("header\r\none\r\ntwo\r\nthree\r\n"));
    QCOMPARE(log.keptCount(), 0);
    QCOMPARE(reports.size(), 2);
    QVERIFY2(reports.last().contains(QStringLiteral(" 3 kept line")), qPrintable(reports.last()));

    // Back to normal: the next failure is told again.
    QVERIFY(QDir(folder).removeRecursively());
    log.AppendLogLine(path, QStringLiteral("four"));
    QCOMPARE(reports.size(), 3);
}

void TstLogFile::keptLinesGetALastTryAtTheEnd()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("not yet"));
    const QString path = folder + QStringLiteral("/log.txt");
    {
        LogFile log = makeLog();
        log.AppendLogLine(path, QStringLiteral("header"));
        log.AppendLogLine(path, QStringLiteral("one"));
        QVERIFY(QDir().mkpath(folder));
    }
    QCOMPARE(contents(path), QByteArray("header\r\none\r\n"));
}

void TstLogFile::emptyPathKeepsLines()
{
    LogFile log = makeLog();
    log.AppendLogLine(QString(), QStringLiteral("header"));
    QCOMPARE(log.keptCount(), 1);
    QCOMPARE(reports.size(), 1);
}

void TstLogFile::fullDiskKeepsLine()
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("needs a device that is always full");
    LogFile log = makeLog();
    log.AppendLogLine(QStringLiteral("/dev/full"), QStringLiteral("data"));
    QCOMPARE(log.keptCount(), 1);
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().contains(QStringLiteral("/dev/full")), qPrintable(reports.first()));
}

void TstLogFile::keptLinesAreBounded()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("later"));
    const QString path = folder + QStringLiteral("/log.txt");
    LogFile log = makeLog(3);
    for (const char *line : {"1", "2", "3", "4", "5"})
        log.AppendLogLine(path, QString::fromLatin1(line));
    QCOMPARE(log.keptCount(), 3);

    QVERIFY(QDir().mkpath(folder));
    log.AppendLogLine(path, QStringLiteral("6"));
    QCOMPARE(contents(path), QByteArray("3\r\n4\r\n5\r\n6\r\n"));
    QVERIFY2(reports.last().contains(QStringLiteral(" 3 kept line")), qPrintable(reports.last()));
    QVERIFY2(reports.last().contains(QStringLiteral(" 2 oldest line")), qPrintable(reports.last()));
}

void TstLogFile::keptLinesWaitForTheirOwnFile()
{
    QTemporaryDir dir;
    const QString broken = dir.filePath(QStringLiteral("gone/log.txt"));
    const QString good = dir.filePath(QStringLiteral("log.txt"));
    LogFile log = makeLog();
    log.AppendLogLine(broken, QStringLiteral("old run"));
    log.AppendLogLine(good, QStringLiteral("new run"));
    QCOMPARE(contents(good), QByteArray("new run\r\n"));
    QCOMPARE(log.keptCount(), 1);
    QCOMPARE(reports.size(), 1); // still failing for the first file: no recovery told
}

// A START on a new path after a failed one: its own failure and recovery are told all the same.
void TstLogFile::eachFileFailingIsTold()
{
    QTemporaryDir dir;
    const QString broken = dir.filePath(QStringLiteral("gone/log.txt"));
    const QString folder = dir.filePath(QStringLiteral("second"));
    const QString second = folder + QStringLiteral("/log.txt");
    QVERIFY(QDir().mkpath(folder));
    LogFile log = makeLog();
    log.AppendLogLine(broken, QStringLiteral("old run"));
    log.AppendLogLine(second, QStringLiteral("header"));
    QCOMPARE(reports.size(), 1);

    QVERIFY(QDir(folder).removeRecursively());
    log.AppendLogLine(second, QStringLiteral("data"));
    QCOMPARE(reports.size(), 2);
    QVERIFY2(reports.last().contains(second), qPrintable(reports.last()));

    QVERIFY(QDir().mkpath(folder));
    log.AppendLogLine(second, QStringLiteral("more"));
    QCOMPARE(contents(second), QByteArray("data\r\nmore\r\n"));
    QCOMPARE(reports.size(), 3);
    QVERIFY2(reports.last().contains(second), qPrintable(reports.last()));
    QVERIFY2(reports.last().contains(QStringLiteral(" 1 kept line")), qPrintable(reports.last()));
    QCOMPARE(log.keptCount(), 1); // the first file's line still waits
}

// A file that takes only part of a line (a full disk, a size limit) must not keep that part: the
// whole line is written again later, and a fragment would be a line that is neither header nor data.
void TstLogFile::partWrittenLineIsTakenBack()
{
#ifndef Q_OS_LINUX
    QSKIP("needs a file size limit");
#else
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    LogFile log = makeLog();
    log.AppendLogLine(path, QStringLiteral("header"));

    struct rlimit previous
    {
    };
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    struct rlimit limit = previous;
    limit.rlim_cur = static_cast<rlim_t>(QFileInfo(path).size() + 4);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const bool limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    log.AppendLogLine(path, QStringLiteral("a line longer than four bytes"));
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    QVERIFY(limited);

    QCOMPARE(contents(path), QByteArray("header\r\n"));
    QCOMPARE(log.keptCount(), 1);
    QCOMPARE(reports.size(), 1);
    log.AppendLogLine(path, QStringLiteral("next"));
    QCOMPARE(contents(path), QByteArray("header\r\na line longer than four bytes\r\nnext\r\n"));
#endif
}

void TstLogFile::boundCoversAWeekOfSeconds()
{
    QVERIFY(LogFile::DefaultKeptLimit >= 7 * 24 * 3600);
}

QTEST_GUILESS_MAIN(TstLogFile)
#include "tst_logfile.moc"
