// The fault campaign: console runs against the emulated adapter while random faults come and go (garbled
// answers, silence, the adapter unplugged, the log read-only, its folder gone or its disk nearly full,
// pending files planted), then a check that every cycle the console printed is in the log exactly once,
// in order, with only values the sensors stored, and that no planted file was obeyed.
// Not a test: it runs for the time it is given and prints its figures; exit status 1 when a check failed.
#include "PlantedFiles.h"
#include "driver/sim/SimulatedDriver.h"
#include "logging/TextFormats.h"
#include "tools/ka7700-emulator/PtyEmulator.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <grp.h>
#include <map>
#include <mutex>
#include <pwd.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

constexpr int SensorCount = 3; // the demo bus
constexpr double ReadingTolerance = 0.0006; // three decimals of a float
const QString IncompleteList
    = QStringLiteral("The search stopped at a bus error: the list may be incomplete.");

// Every reading a sensor stored at the end of a conversion, in order; the power-on value is none of them.
class HeldValues
{
public:
    void add(const QString &rom, double celsius)
    {
        std::lock_guard lock(m_mutex);
        m_values[rom].push_back({Clock::now(), celsius});
    }

    // A reading is true when the sensor stored it before it was printed and not before the value it
    // showed last time (`from`, moved on to the value found).
    bool explains(const QString &rom, double reading, Clock::time_point printed, std::size_t &from) const
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_values.find(rom);
        if (found == m_values.end())
            return false;
        const auto &values = found->second;
        for (std::size_t i = from; i < values.size() && values[i].at <= printed; ++i) {
            if (std::abs(values[i].celsius - reading) < ReadingTolerance) {
                from = i;
                return true;
            }
        }
        return false;
    }

private:
    struct Held
    {
        Clock::time_point at;
        double celsius;
    };
    mutable std::mutex m_mutex;
    std::map<QString, std::vector<Held>> m_values;
};

// The adapter behind a fixed path, as a USB adapter behind its device name: unplugging takes the path
// away and, with the adapter's supply, powers every sensor down; plugging in gives a new terminal.
class Adapter
{
public:
    Adapter(QString link, std::optional<uid_t> owner, HeldValues &held)
        : m_bus(sim::demoConfiguration(std::make_shared<sim::SteadyClock>()).ports.begin()->second.bus)
        , m_link(std::move(link))
        , m_owner(owner)
    {
        for (std::size_t i = 0; i < m_bus->deviceCount(); ++i) {
            if (auto *thermometer = m_bus->thermometer(i)) {
                const QString rom = logging::romCodeText(thermometer->builtInRomCode());
                thermometer->setConversionObserver([&held, rom](const sim::Thermometer &sensor) {
                    const auto pad = sensor.scratchpad();
                    const auto raw = static_cast<int16_t>(pad[0] | pad[1] << 8);
                    held.add(
                        rom, static_cast<double>(raw) / sim::familyTraits(sensor.family())->unitsPerDegree);
                });
            }
        }
    }

    bool plug()
    {
        m_pty = std::make_unique<emulator::PtyEmulator>(m_bus, m_faults);
        if (!m_pty->open())
            return false;
        if (m_owner && ::chown(m_pty->slavePath().toLocal8Bit().constData(), *m_owner, gid_t(-1)) != 0)
            return false;
        m_pty->start();
        return QFile::link(m_pty->slavePath(), m_link);
    }

    void unplug()
    {
        QFile::remove(m_link);
        m_pty.reset();
        m_bus->powerCycle();
    }

    void setFaults(const emulator::Faults &faults)
    {
        m_faults = faults;
        if (m_pty)
            m_pty->locked([&](sim::SimBus &, emulator::LineDriver &line) { line.setFaults(faults); });
    }

private:
    std::shared_ptr<sim::SimBus> m_bus;
    QString m_link;
    std::optional<uid_t> m_owner;
    emulator::Faults m_faults;
    std::unique_ptr<emulator::PtyEmulator> m_pty;
};

struct Block
{
    QString when;
    QStringList readings;
    int session;
    Clock::time_point printed;
};

struct Session
{
    QStringList roms; // by sensor index, from the device list
    bool told = false; // the list said it may be incomplete
    bool running = false; // a cycle was printed
};

enum Fault { Garbled, Silent, Unplugged, ReadOnly, FolderGone, DiskFull, None };
const char *const FaultNames[]
    = {"garbled", "silent", "unplugged", "log read-only", "log folder removed", "disk nearly full"};
// While the disk is nearly full a console's files stop growing a little past the log's size, but never
// below this: the pending file of a run started then (12 cycles at most) stays smaller, so that the lines
// the log cannot take are kept on disk, as the log and not the pending lines fill a real disk.
constexpr qint64 SmallestFullLog = 1024;

class Campaign
{
public:
    Campaign(const QString &work, uint64_t seed, QStringList loggerArgs, QString logger)
        : m_work(work)
        , m_logDir(work + QStringLiteral("/log"))
        , m_logPath(m_logDir + QStringLiteral("/KX4136_log.txt"))
        , m_random(seed)
        , m_adapter(work + QStringLiteral("/ttyKA0"), owner(), m_held)
        , m_logger(std::move(logger))
        , m_loggerArgs(std::move(loggerArgs))
        , m_planted(work, work + QStringLiteral("/state/kx4136-logger"), owner())
    {
        QDir(work).mkpath(QStringLiteral("state"));
        QDir(work).mkpath(QStringLiteral("log"));
        for (const QString &path : {work, work + QStringLiteral("/state"), m_logDir})
            giveAway(path);
        m_dateTimeFormat = QLocale::c().dateFormat(QLocale::ShortFormat) + u' '
            + logging::timeFormatWithoutZone(QLocale::c().timeFormat(QLocale::LongFormat));
    }

    bool run(std::chrono::seconds duration)
    {
        if (!m_adapter.plug())
            return false;
        const auto end = Clock::now() + duration;
        auto busNext = Clock::now() + pick(3s, 10s);
        auto logNext = Clock::now() + pick(5s, 20s);
        while (Clock::now() < end) {
            if (!m_console && Clock::now() >= m_nextStart) {
                if (pick(0, 5) == 0)
                    m_planted.plant(pick(0, PlantedFiles::Kinds - 1));
                startSession({});
                // Half of the starts search the bus through garbled answers.
                if (m_busFault == None && pick(0, 1) == 1)
                    busNext = startFault(Garbled);
                // Short runs while the disk is full: each start moves kept lines, cut somewhere else.
                m_sessionEnd = Clock::now() + (m_logFault == DiskFull ? pick(3s, 12s) : pick(5s, 40s));
            }
            pollSession(milliseconds(20));
            if (m_fileLimit >= 0 && Clock::now() >= m_nextSpace)
                freeSomeSpace();
            if (m_console && (m_console->state() == QProcess::NotRunning || Clock::now() >= m_sessionEnd))
                endSession();
            if (Clock::now() >= busNext)
                busNext = m_busFault == None ? startFault(Fault(pick(0, 2))) : endFault(m_busFault);
            if (Clock::now() >= logNext)
                logNext = m_logFault == None ? startFault(Fault(pick(3, 5))) : endFault(m_logFault);
        }
        if (m_console)
            endSession();
        if (m_busFault != None)
            endFault(m_busFault);
        if (m_logFault != None)
            endFault(m_logFault);
        // The lines a stopped run still kept are only safe once a following run has delivered them.
        startSession({QStringLiteral("--cycles"), QStringLiteral("2")});
        const auto limit = Clock::now() + 60s;
        while (m_console->state() != QProcess::NotRunning && Clock::now() < limit)
            pollSession(milliseconds(20));
        endSession();
        return true;
    }

    int report(uint64_t seed, std::chrono::seconds duration);

private:
    static std::optional<uid_t> owner()
    {
        // Root writes to read-only files: the console runs as nobody then.
        const passwd *nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
        return nobody ? std::optional<uid_t>(nobody->pw_uid) : std::nullopt;
    }
    void giveAway(const QString &path) const
    {
        const auto uid = owner();
        if (uid && ::chown(path.toLocal8Bit().constData(), *uid, gid_t(-1)) != 0)
            std::fprintf(stderr, "fault_campaign: cannot give %s to the console's user\n", qPrintable(path));
    }

    template<class T> T pick(T low, T high)
    {
        if constexpr (std::is_integral_v<T>)
            return std::uniform_int_distribution<T>(low, high)(m_random);
        else
            return T(pick(low.count(), high.count()));
    }

    Clock::time_point startFault(Fault fault);
    Clock::time_point endFault(Fault fault);
    void startSession(const QStringList &extra);
    void pollSession(milliseconds wait);
    void freeSomeSpace();
    void endSession();
    void takeLine(const QString &line);
    void noteOther(const QString &line)
    {
        static const QRegularExpression digits(QStringLiteral("\\d+"));
        ++m_otherLines[QString(line).replace(digits, QStringLiteral("#"))];
    }
    std::optional<QDateTime> dateTime(const QString &text) const
    {
        const QDateTime when = QLocale::c().toDateTime(text, m_dateTimeFormat);
        return when.isValid() ? std::optional(when) : std::nullopt;
    }

    QString m_work, m_logDir, m_logPath, m_dateTimeFormat;
    std::mt19937_64 m_random;
    HeldValues m_held;
    Adapter m_adapter;
    QString m_logger;
    QStringList m_loggerArgs;
    Fault m_busFault = None, m_logFault = None;
    int m_faults[None] = {};
    QStringList m_parts; // log files moved away with their folder, in order
    std::unique_ptr<QProcess> m_console;
    Clock::time_point m_sessionEnd, m_nextStart, m_nextSpace;
    qint64 m_fileLimit = -1; // of the console running, while the disk is nearly full
    QByteArray m_outBuffer;
    bool m_inBlock = false;
    std::vector<Session> m_sessions;
    std::vector<Block> m_blocks;
    int m_failedStarts = 0, m_stopped = 0, m_stoppedFailed = 0;
    milliseconds m_slowestExit {0};
    std::map<QString, int> m_otherLines;
    PlantedFiles m_planted;
};

Clock::time_point Campaign::startFault(Fault fault)
{
    ++m_faults[fault];
    const QByteArray logPath = m_logPath.toLocal8Bit(), logDir = m_logDir.toLocal8Bit();
    switch (fault) {
    case Garbled:
    case Silent: {
        emulator::Faults faults;
        if (fault == Garbled)
            faults.garbleEvery = pick(40, 160);
        faults.silent = fault == Silent;
        m_adapter.setFaults(faults);
        break;
    }
    case Unplugged:
        m_adapter.unplug();
        break;
    case ReadOnly:
        // A file not there yet: its folder takes no new file.
        if (::chmod(logPath.constData(), 0444) != 0)
            ::chmod(logDir.constData(), 0555);
        break;
    case FolderGone:
        m_parts << QStringLiteral("%1/part%2.txt").arg(m_work).arg(m_parts.size());
        QFile::rename(m_logPath, m_parts.back());
        QDir(m_logDir).removeRecursively();
        break;
    case DiskFull: // each console started meanwhile gets its limit
    case None:
        break;
    }
    (fault <= Unplugged ? m_busFault : m_logFault) = fault;
    return Clock::now()
        + (fault == Garbled          ? pick(2s, 8s)
                : fault <= Unplugged ? pick(1s, 6s)
                : fault == DiskFull  ? pick(20s, 90s)
                                     : pick(2s, 20s));
}

Clock::time_point Campaign::endFault(Fault fault)
{
    if (fault == Unplugged && !m_adapter.plug())
        std::fprintf(stderr, "fault_campaign: the adapter cannot be plugged in again\n");
    else if (fault == Garbled || fault == Silent)
        m_adapter.setFaults({});
    else if (fault == ReadOnly) {
        ::chmod(m_logPath.toLocal8Bit().constData(), 0644);
        ::chmod(m_logDir.toLocal8Bit().constData(), 0755);
    } else if (fault == FolderGone && QDir().mkpath(m_logDir))
        giveAway(m_logDir);
    (fault <= Unplugged ? m_busFault : m_logFault) = None;
    return Clock::now() + (fault <= Unplugged ? pick(3s, 15s) : pick(5s, 30s));
}

void Campaign::startSession(const QStringList &extra)
{
    m_sessions.push_back({});
    m_console = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_STATE_HOME"), m_work + QStringLiteral("/state"));
    environment.insert(QStringLiteral("HOME"), m_work);
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    m_console->setProcessEnvironment(environment);
    const auto uid = owner();
    const gid_t gid = uid ? ::getpwuid(*uid)->pw_gid : 0;
    // A nearly full disk: writes stop at a byte anywhere in a line, a move of kept lines included.
    const qint64 fileLimit
        = m_logFault == DiskFull ? std::max(QFileInfo(m_logPath).size(), SmallestFullLog) + pick(0, 300) : -1;
    m_fileLimit = fileLimit;
    m_nextSpace = Clock::now() + pick(1s, 3s);
    m_console->setChildProcessModifier([uid, gid, fileLimit] {
        struct rlimit limit
        {
        };
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = rlim_t(fileLimit);
        if (fileLimit >= 0
            && (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0))
            ::_exit(127);
        if (uid && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(*uid) != 0))
            ::_exit(127);
    });
    m_console->start(m_logger,
        QStringList {QStringLiteral("--console"), QStringLiteral("--com"),
            QStringLiteral("1=%1/ttyKA0").arg(m_work), QStringLiteral("--log"), m_logPath}
            + m_loggerArgs + extra);
    m_console->waitForStarted();
}

// Other programs free a little space now and then: a move of kept lines that a full disk cut goes on
// within the run, to be cut again at another byte.
void Campaign::freeSomeSpace()
{
    // Less, over time, than the run's lines take: kept lines pile up and each move is cut.
    m_fileLimit += pick(0, 80);
    const struct rlimit limit
    {
        rlim_t(m_fileLimit), RLIM_INFINITY
    };
    if (m_console && m_console->state() == QProcess::Running)
        ::prlimit(pid_t(m_console->processId()), RLIMIT_FSIZE, &limit, nullptr);
    m_nextSpace = Clock::now() + pick(milliseconds(500), milliseconds(2000));
}

void Campaign::pollSession(milliseconds wait)
{
    if (!m_console) {
        std::this_thread::sleep_for(wait);
        return;
    }
    m_console->waitForReadyRead(static_cast<int>(wait.count()));
    m_outBuffer += m_console->readAllStandardOutput();
    for (qsizetype end; (end = m_outBuffer.indexOf('\n')) >= 0; m_outBuffer.remove(0, end + 1))
        takeLine(QString::fromUtf8(m_outBuffer.left(end)));
    for (const QByteArray &line : m_console->readAllStandardError().split('\n'))
        if (!line.isEmpty())
            noteOther(QStringLiteral("(stderr) ") + QString::fromUtf8(line));
}

void Campaign::endSession()
{
    const auto asked = Clock::now();
    const bool stop = m_console->state() != QProcess::NotRunning;
    if (stop) {
        m_console->terminate();
        if (!m_console->waitForFinished(30000)) {
            noteOther(QStringLiteral("(campaign) killed: no exit within 30 s of SIGTERM"));
            m_console->kill();
            m_console->waitForFinished();
        }
        m_slowestExit
            = std::max(m_slowestExit, std::chrono::duration_cast<milliseconds>(Clock::now() - asked));
    }
    pollSession(milliseconds(0));
    if (!m_outBuffer.isEmpty())
        takeLine(QString::fromUtf8(m_outBuffer));
    m_outBuffer.clear();
    m_inBlock = false;
    const bool failed = m_console->exitStatus() != QProcess::NormalExit || m_console->exitCode() != 0;
    // A start that failed is tried again a second later, as a user would.
    m_nextStart = Clock::now() + (m_sessions.back().running ? 0s : 1s);
    if (!m_sessions.back().running)
        ++m_failedStarts;
    else if (stop)
        ++m_stopped, m_stoppedFailed += failed;
    if (failed)
        noteOther(QStringLiteral("(campaign) exit status %1").arg(m_console->exitCode()));
    m_console.reset();
    m_fileLimit = -1;
}

void Campaign::takeLine(const QString &line)
{
    static const QRegularExpression device(
        QStringLiteral("^Sensor #(\\d+) : ((?:[0-9A-F]{2} ){7}[0-9A-F]{2}) , "));
    static const QRegularExpression reading(QStringLiteral("^Sensor #(\\d+) : (\\S+) \u00B0C$"));
    Session &session = m_sessions.back();
    if (const auto match = reading.match(line);
        m_inBlock && match.hasMatch() && match.captured(1).toInt() == m_blocks.back().readings.size()) {
        m_blocks.back().readings << match.captured(2);
        return;
    }
    m_inBlock = false;
    if (const auto match = device.match(line); match.hasMatch()) {
        const int index = match.captured(1).toInt();
        session.roms.resize(std::max<qsizetype>(session.roms.size(), index + 1));
        session.roms[index] = match.captured(2);
    } else if (dateTime(line)) {
        m_blocks.push_back({line, {}, static_cast<int>(m_sessions.size()) - 1, Clock::now()});
        m_inBlock = session.running = true;
    } else if (line == IncompleteList) {
        session.told = true;
    } else if (!line.endsWith(QStringLiteral(" sensor(s) found."))) {
        noteOther(line);
    }
}

struct LogLine
{
    QString when;
    QStringList readings;
};

int Campaign::report(uint64_t seed, std::chrono::seconds duration)
{
    // The log as it grew: the parts moved away with their folder, then the file in place.
    std::vector<LogLine> lines;
    int withoutHeader = 0, wrongWidth = 0, falseValues = 0, lost = 0, duplicates = 0, outOfOrder = 0,
        extra = 0;
    // A few examples of each kind of fault found.
    QStringList examples;
    std::map<QString, int> shown;
    const auto example = [&](const QString &kind, const QString &what) {
        if (++shown[kind] <= 3)
            examples << kind + QStringLiteral(": ") + what;
    };
    for (const QString &path : m_parts + QStringList {m_logPath}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        qsizetype width = -1;
        for (const QByteArray &raw : file.readAll().split('\n')) {
            const QString text = QString::fromUtf8(raw).chopped(raw.endsWith('\r') ? 1 : 0);
            QStringList fields = text.split(u'\t');
            if (text.isEmpty())
                continue;
            if (fields.front() == u"KX4136") {
                width = fields.size();
                continue;
            }
            withoutHeader += width < 0;
            if (width >= 0 && fields.size() != width)
                ++wrongWidth, example(QStringLiteral("columns unlike the header"), text);
            lines.push_back({fields.takeFirst(), fields});
        }
    }

    // Values: each printed number must be one its sensor stored, never older than what it showed before.
    std::map<QString, std::size_t> from;
    int readings = 0, failedReadings = 0;
    for (const Block &block : m_blocks) {
        readings += static_cast<int>(block.readings.size());
        failedReadings += static_cast<int>(block.readings.count(logging::FailedReading));
        for (qsizetype i = 0; i < block.readings.size(); ++i) {
            bool number = false;
            const double value = QLocale::c().toDouble(block.readings[i], &number);
            const QString rom = m_sessions[block.session].roms.value(i);
            if (block.readings[i] != logging::FailedReading
                && (!number || !m_held.explains(rom, value, block.printed, from[rom])))
                ++falseValues,
                    example(QStringLiteral("false value"),
                        QStringLiteral("%1 sensor %2 (%3): %4")
                            .arg(block.when)
                            .arg(i)
                            .arg(rom, block.readings[i]));
        }
    }

    // Each log line to its cycle: the same readings, the time within a second (taken twice).
    std::multimap<QString, std::size_t> byReadings;
    for (std::size_t i = 0; i < m_blocks.size(); ++i)
        byReadings.emplace(m_blocks[i].readings.join(u'\t'), i);
    std::vector<int> matched(m_blocks.size(), 0);
    std::optional<std::size_t> last;
    for (const LogLine &line : lines) {
        const auto when = dateTime(line.when);
        // Candidates come in the order printed: the first unmatched one after the last match, else any.
        std::optional<std::size_t> unused, any;
        for (auto [it, end] = byReadings.equal_range(line.readings.join(u'\t')); it != end; ++it) {
            const std::size_t block = it->second;
            const auto printed = dateTime(m_blocks[block].when);
            if (!when || !printed || std::abs(when->secsTo(*printed)) > 1)
                continue;
            any = any.value_or(block);
            if (!matched[block] && (!unused || (last && *unused < *last && block > *last)))
                unused = block;
        }
        if (!any) {
            ++extra, example(QStringLiteral("in the log, never printed"), line.when);
            continue;
        }
        if (!unused) {
            ++duplicates, example(QStringLiteral("twice in the log"), line.when);
            continue;
        }
        if (last && *unused < *last)
            ++outOfOrder, example(QStringLiteral("out of order in the log"), line.when);
        ++matched[*unused];
        last = unused;
    }
    for (std::size_t i = 0; i < m_blocks.size(); ++i)
        if (!matched[i])
            ++lost, example(QStringLiteral("lost"), m_blocks[i].when);

    int shortLists = 0, shortTold = 0, faults = 0;
    for (const Session &session : m_sessions)
        if (session.running && session.roms.size() - session.roms.count(QString()) < SensorCount)
            ++shortLists, shortTold += session.told;
    for (const int count : m_faults)
        faults += count;

    std::printf("seed %llu, %lld s, console %s\n", static_cast<unsigned long long>(seed),
        static_cast<long long>(duration.count()), qPrintable(m_loggerArgs.join(u' ')));
    std::printf("sessions %zu: %d failed to start, %d listed fewer than %d sensors (%d of them said so); "
                "%d stopped by SIGTERM, slowest exit %lld ms, %d of them exited with a status other than 0\n",
        m_sessions.size(), m_failedStarts, shortLists, SensorCount, shortTold, m_stopped,
        static_cast<long long>(m_slowestExit.count()), m_stoppedFailed);
    std::printf("faults injected %d:", faults);
    for (int fault = 0; fault < None; ++fault)
        std::printf("%s %s %d", fault ? "," : "", FaultNames[fault], m_faults[fault]);
    std::printf("\ncycles %zu (readings %d, \"?\" %d), lines checked %zu\n", m_blocks.size(), readings,
        failedReadings, lines.size());
    std::printf("lines lost %d, false values %d, duplicates %d, out of order %d, never printed %d, "
                "before any header %d, columns unlike the header %d\n",
        lost, falseValues, duplicates, outOfOrder, extra, withoutHeader, wrongWidth);
    for (const QString &text : std::as_const(examples))
        std::printf("  %s\n", qPrintable(text));
    std::printf("other output (digits as #), by count:\n");
    for (const auto &[text, count] : m_otherLines)
        std::printf("  %5d  %s\n", count, qPrintable(text));
    bool allSetAside = false;
    const qint64 foreign = m_planted.foreignBytes(m_parts + QStringList {m_logPath});
    std::printf("%s; foreign bytes %lld\n", qPrintable(m_planted.summary(allSetAside)),
        static_cast<long long>(foreign));
    const bool clean = lost + falseValues + duplicates + outOfOrder + extra + withoutHeader + wrongWidth == 0
        && shortLists == shortTold && foreign == 0 && allSetAside;
    std::printf("%s\n", clean ? "PASS" : "FAIL");
    return clean ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    bool ok = !arguments.isEmpty();
    const auto seconds = std::chrono::seconds(ok ? arguments.takeFirst().toLongLong(&ok) : 0);
    uint64_t seed = std::random_device {}();
    QString interval = QStringLiteral("1"), delay = QStringLiteral("100"), logger = QStringLiteral(KX_LOGGER);
    bool keep = false;
    QStringList cycle;
    while (ok && !arguments.isEmpty()) {
        const QString name = arguments.takeFirst();
        if (name == u"--keep") {
            keep = true;
            continue;
        }
        if (name == u"--convert-all") {
            cycle << name;
            continue;
        }
        const QString value = arguments.isEmpty() ? QString() : arguments.takeFirst();
        ok = !value.isEmpty();
        if (name == u"--seed")
            seed = value.toULongLong(&ok);
        else if (name == u"--interval")
            interval = value;
        else if (name == u"--delay")
            delay = value;
        else if (name == u"--logger")
            logger = value;
        else
            ok = false;
    }
    if (!ok || seconds.count() <= 0 || !QFileInfo(logger).isExecutable()) {
        std::fputs(
            "usage: fault_campaign SECONDS [--seed N] [--interval S] [--delay MS] [--logger PATH] [--keep]\n"
            "                      [--convert-all]\n"
            "Runs the console against the emulated adapter under random faults for SECONDS, then checks\n"
            "the log against the printed cycles and the values the sensors stored.\n",
            stderr);
        return 2;
    }
    std::printf("fault campaign: seed %llu, %lld s\n", static_cast<unsigned long long>(seed),
        static_cast<long long>(seconds.count()));
    std::fflush(stdout);
    QTemporaryDir work;
    work.setAutoRemove(!keep);
    Campaign campaign(work.path(), seed,
        QStringList {QStringLiteral("--interval"), interval, QStringLiteral("--delay"), delay} + cycle,
        logger);
    if (!campaign.run(seconds)) {
        std::fputs("fault_campaign: the emulated adapter cannot be set up\n", stderr);
        return 2;
    }
    if (keep)
        std::printf("files kept in %s\n", qPrintable(work.path()));
    return campaign.report(seed, seconds);
}
