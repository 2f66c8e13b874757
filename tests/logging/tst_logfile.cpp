// The log file: header and data lines, appending with CR LF, and lines kept while the file cannot be written.
#include "logging/LogFile.h"
#include "logging/TextFormats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <future>
#include <optional>

#ifdef Q_OS_LINUX
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace logging;

namespace {

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

#ifdef Q_OS_LINUX
// No file the process writes grows past the limit while this lives, as on a disk that fills up.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes)
        : m_handler(std::signal(SIGXFSZ, SIG_IGN))
    {
        ::getrlimit(RLIMIT_FSIZE, &m_previous);
        struct rlimit limit = m_previous;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }
    bool ok = false;

private:
    struct rlimit m_previous
    {
    };
    void (*m_handler)(int);
};
#endif

// A pending file as the program writes it, with lines for `log`.
bool writePending(const QString &name, const QByteArray &firstLine, const QString &log,
    const QByteArray &body, QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.setPermissions(permissions)
        && file.write(QByteArray(firstLine).replace("%1", log.toUtf8()) + "\r\n\r\n" + body) > 0;
}

} // namespace

class TstLogFile : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        reports.clear();
        state = std::make_unique<QTemporaryDir>();
    }

    void newFileStartsWithFirstLine();
    void laterLinesAppendAfterEarlierOnes();
    void lineTextInLocaleEncoding();
    void unwritableFolderKeepsLinesInOrder();
    void keptLinesGetALastTryAtTheEnd();
    void emptyPathKeepsLines();
    void otherKindsOfPathNeverBlock_data();
    void otherKindsOfPathNeverBlock();
    void keptLinesOutliveTheProgram();
    void recreatedFileStartsWithHeader_data();
    void recreatedFileStartsWithHeader();
    void defaultPathWithoutHome_data();
    void defaultPathWithoutHome();
    void keptLinesAreBounded();
    void keptLinesWaitForTheirOwnFile();
    void eachFileFailingIsTold();
    void partWrittenLineIsTakenBack();
    void cutMoveDeliversEachLineOnce_data();
    void cutMoveDeliversEachLineOnce();
    void damagedPendingFileIsSetAside_data();
    void damagedPendingFileIsSetAside();
    void pendingFolderIsPrivate();
    void plantedFileIsNotObeyed_data();
    void plantedFileIsNotObeyed();

private:
    // Kept lines wait in a pending folder of the test's own.
    LogFile makeLog(
        const QString &folder = QStringLiteral("-"), qsizetype keptBytes = LogFile::DefaultKeptBytes)
    {
        return LogFile([this](const QString &line) { reports.append(line); },
            folder == QLatin1String("-") ? state->path() : folder, keptBytes);
    }
    QStringList reports;
    std::unique_ptr<QTemporaryDir> state;
};

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

void TstLogFile::otherKindsOfPathNeverBlock_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO nobody reads") << "fifo";
    QTest::newRow("folder") << "folder";
    QTest::newRow("device") << "/dev/null";
}

void TstLogFile::otherKindsOfPathNeverBlock()
{
#ifndef Q_OS_LINUX
    QSKIP("needs FIFOs and /dev/null");
#else
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = kind.startsWith(QLatin1Char('/')) ? kind : dir.filePath(kind);
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    QVERIFY(kind != QLatin1String("folder") || QDir().mkpath(path));
    LogFile log = makeLog();
    auto appended = std::async(std::launch::async, [&log, &path] {
        log.AppendLogLine(path, QStringLiteral("one"));
        log.AppendLogLine(path, QStringLiteral("two"));
    });
    const bool returned = appended.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!returned) {
        // A reader lets the blocked open go on, so the test can end.
        const int reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        appended.wait();
        ::close(reader);
    }
    QVERIFY(returned);
    QCOMPARE(log.keptCount(), 2);
    QCOMPARE(reports.size(), 1);
#endif
}

// Lines kept when the program ends go to the log at its next start: all of them, in order, once.
void TstLogFile::keptLinesOutliveTheProgram()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("not yet"));
    const QString path = folder + QStringLiteral("/log.txt");
    {
        LogFile log = makeLog();
        for (const char *line : {"header", "one", "two"})
            log.AppendLogLine(path, QString::fromLatin1(line));
        const QString note = log.finish().text;
        QVERIFY2(
            note.startsWith(QStringLiteral("3 line(s)")) && note.contains(state->path()), qPrintable(note));
    }
    QVERIFY(QDir().mkpath(folder));
    makeLog();
    makeLog();
    QCOMPARE(contents(path), QByteArray("header\r\none\r\ntwo\r\n"));
    QCOMPARE(reports.size(), 2);
    QVERIFY2(reports.last().startsWith(QStringLiteral("3 line(s)")), qPrintable(reports.last()));
}

void TstLogFile::recreatedFileStartsWithHeader_data()
{
    QTest::addColumn<bool>("folderToo");
    QTest::newRow("file deleted") << false;
    QTest::newRow("folder deleted and made again") << true;
}

void TstLogFile::recreatedFileStartsWithHeader()
{
    QFETCH(bool, folderToo);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("logs"));
    const QString path = folder + QStringLiteral("/log.txt");
    QVERIFY(QDir().mkpath(folder));
    LogFile log = makeLog();
    log.setRunHeader(QStringLiteral("header"));
    log.AppendLogLine(path, QStringLiteral("header"));
    log.AppendLogLine(path, QStringLiteral("one"));
    QVERIFY(folderToo ? QDir(folder).removeRecursively() : QFile::remove(path));
    log.AppendLogLine(path, QStringLiteral("two"));
    QVERIFY(QDir().mkpath(folder));
    log.AppendLogLine(path, QStringLiteral("three"));
    QCOMPARE(contents(path), QByteArray("header\r\ntwo\r\nthree\r\n"));
}

void TstLogFile::defaultPathWithoutHome_data()
{
    QTest::addColumn<QByteArray>("home");
    QTest::newRow("unset") << QByteArray();
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("the root") << QByteArray("/");
}

void TstLogFile::defaultPathWithoutHome()
{
#ifdef Q_OS_WIN
    QSKIP("The default path is the drive's root here");
#else
    QFETCH(QByteArray, home);
    const QByteArray oldHome = qgetenv("HOME");
    if (home.isNull())
        qunsetenv("HOME");
    else
        qputenv("HOME", home);
    const QString path = defaultLogPath();
    const QString demo = defaultLogPath(LogBus::Simulated);
    qputenv("HOME", oldHome);
    QVERIFY2(QDir::isAbsolutePath(path) && QDir::cleanPath(path) == path, qPrintable(path));
    QVERIFY(path.endsWith(QStringLiteral("/KX4136_log.txt")));
    QCOMPARE(QFileInfo(demo).dir(), QFileInfo(path).dir());
    QVERIFY(demo != path);
#endif
}

void TstLogFile::keptLinesAreBounded()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("later"));
    const QString path = folder + QStringLiteral("/log.txt");
    LogFile log = makeLog(QString(), 9); // three lines of three bytes, in memory alone
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
    LogFile log = makeLog(QString()); // the limit would stop a pending file as well
    log.AppendLogLine(path, QStringLiteral("header"));

    {
        const FileSizeLimit limit(QFileInfo(path).size() + 4);
        QVERIFY(limit.ok);
        log.AppendLogLine(path, QStringLiteral("a line longer than four bytes"));
    }

    QCOMPARE(contents(path), QByteArray("header\r\n"));
    QCOMPARE(log.keptCount(), 1);
    QCOMPARE(reports.size(), 1);
    log.AppendLogLine(path, QStringLiteral("next"));
    QCOMPARE(contents(path), QByteArray("header\r\na line longer than four bytes\r\nnext\r\n"));
#endif
}

// A move of kept lines that a full disk stops at any byte, again and again, goes on from there: every
// line once, in order, and never a part of one.
void TstLogFile::cutMoveDeliversEachLineOnce_data()
{
    QTest::addColumn<int>("firstCut"); // the bytes the log takes at the first try
    QTest::addColumn<int>("step"); // and more at each try after
    QTest::newRow("in the first line") << 3 << 3;
    QTest::newRow("a line and a part, then a byte at a time") << 12 << 1;
    QTest::newRow("at line ends") << 8 << 8;
    QTest::newRow("nothing, then lines and parts") << 0 << 13;
}

void TstLogFile::cutMoveDeliversEachLineOnce()
{
#ifndef Q_OS_LINUX
    QSKIP("needs a file size limit");
#else
    QFETCH(int, firstCut);
    QFETCH(int, step);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("logs/log.txt"));
    QByteArray lines;
    {
        LogFile log = makeLog();
        for (int i = 1; i <= 5; ++i) {
            log.AppendLogLine(path, QStringLiteral("line %1").arg(i));
            lines += "line " + QByteArray::number(i) + "\r\n";
        }
    }
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("logs")));
    // Longer than the pending file, so the limit stops the log alone.
    const QByteArray earlier = logHeaderLine(QList<RomCode>(13, RomCode {0x28, 1})).toLatin1() + "\r\n";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(earlier) == earlier.size());
    file.close();
    for (qint64 limit = earlier.size() + firstCut; contents(path) != earlier + lines; limit += step) {
        QVERIFY(limit < earlier.size() + lines.size() + step);
        const FileSizeLimit cut(limit);
        QVERIFY(cut.ok);
        makeLog();
        QVERIFY2(
            (earlier + lines).startsWith(contents(path)), contents(path).mid(earlier.size()).constData());
    }
#endif
}

// A pending file that is not one of the program's, or holds a line longer than any it writes, is told
// once and set aside.
void TstLogFile::damagedPendingFileIsSetAside_data()
{
    QTest::addColumn<QByteArray>("firstLine");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("first line not ours") << QByteArray("KX4136 kept lines\t%1\t") << QByteArray("one\r\n");
    QTest::newRow("offset not a number")
        << QByteArray("KX4136 pending lines\t%1\tx") << QByteArray("one\r\n");
    QTest::newRow("a line of a megabyte")
        << QByteArray("KX4136 pending lines\t%1\t") << QByteArray(1 << 20, '5') + "\r\n";
}

void TstLogFile::damagedPendingFileIsSetAside()
{
    QFETCH(QByteArray, firstLine);
    QFETCH(QByteArray, body);
    const QString path = state->filePath(QStringLiteral("log.txt"));
    const QString pending = state->filePath(QStringLiteral("0-1.pending"));
    QVERIFY(writePending(pending, firstLine, path, body));
    makeLog();
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports.first().contains(pending + QStringLiteral(".damaged")), qPrintable(reports.first()));
    QVERIFY(!QFile::exists(path) && !QFile::exists(pending));
    makeLog();
    QCOMPARE(reports.size(), 1);
}

// Kept lines wait where only the user can read them.
void TstLogFile::pendingFolderIsPrivate()
{
#ifndef Q_OS_UNIX
    QSKIP("access there is not told by permission bits");
#endif
    const QString folder = state->filePath(QStringLiteral("new"));
    makeLog(folder).AppendLogLine(state->filePath(QStringLiteral("gone/log.txt")), QStringLiteral("one"));
    const QStringList files = QDir(folder).entryList({QStringLiteral("*.pending")});
    QCOMPARE(files.size(), 1);
    const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(QFileInfo(folder).permissions() & others, QFile::Permissions());
    QCOMPARE(QFileInfo(folder + u'/' + files.first()).permissions() & others, QFile::Permissions());
}

// A pending file anyone else could have put there, or meant for a file that is not a log, is told of and
// not obeyed.
void TstLogFile::plantedFileIsNotObeyed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("told");
    QTest::newRow("file others may write") << "file 0666"
                                           << "Kept lines in";
    QTest::newRow("file of another user") << "file owner"
                                          << "Kept lines in";
    QTest::newRow("file a symbolic link") << "file link"
                                          << "Kept lines in";
    QTest::newRow("into a file that is not a log") << "not a log"
                                                   << "Kept lines in";
    QTest::newRow("folder others may write") << "folder 0777"
                                             << "The pending folder";
    QTest::newRow("folder a symbolic link") << "folder link"
                                            << "The pending folder";
    // What an earlier version left under a umask of 002 is still the user's own.
    QTest::newRow("file the user's group may write") << "file 0660"
                                                     << "";
}

void TstLogFile::plantedFileIsNotObeyed()
{
#ifndef Q_OS_LINUX
    QSKIP("needs the system's owners and modes");
#else
    QFETCH(QString, kind);
    QFETCH(QString, told);
    if (kind == u"file owner" && ::geteuid() != 0)
        QSKIP("needs root to give a file away");
    QTemporaryDir dir;
    const QString victim = dir.filePath(QStringLiteral("victim.txt"));
    const QByteArray before = kind == u"not a log" ? QByteArray("# the user's own\r\n")
                                                   : logHeaderLine({RomCode {0x28}}).toLatin1() + "\r\n";
    QFile file(victim);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
    file.close();
    const QString real = dir.filePath(QStringLiteral("real"));
    const QString pending = (kind.endsWith(u"link") ? real : state->path()) + QStringLiteral("/0-1.pending");
    QVERIFY(QDir().mkpath(real));
    QVERIFY(writePending(pending, "KX4136 pending lines\t%1\t", victim, "planted\r\n",
        kind == u"file 0666"       ? QFile::Permissions(0x6666)
            : kind == u"file 0660" ? QFile::Permissions(0x6660)
                                   : QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(kind != u"file link" || QFile::link(pending, state->filePath(QStringLiteral("0-1.pending"))));
    QVERIFY(kind != u"folder link" || QFile::link(real, dir.filePath(QStringLiteral("state"))));
    QVERIFY(kind != u"folder 0777" || QFile::setPermissions(state->path(), QFile::Permissions(0x7777)));
    QVERIFY(kind != u"file owner" || ::chown(QFile::encodeName(pending).constData(), 65534, 65534) == 0);
    makeLog(kind == u"folder link" ? dir.filePath(QStringLiteral("state")) : QStringLiteral("-"));
    QCOMPARE(contents(victim), told.isEmpty() ? before + "planted\r\n" : before);
    QCOMPARE(reports.size(), 1);
    QVERIFY2(told.isEmpty() || reports.first().startsWith(told), qPrintable(reports.first()));
#endif
}

QTEST_GUILESS_MAIN(TstLogFile)
#include "tst_logfile.moc"
