// The log file: header and data lines, appended one at a time, kept in memory while the file cannot be
// written.
#include "logging/LogFile.h"

#include "bus/modKX4136.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <algorithm>

namespace logging {

namespace {

const QByteArray LineEnd = QByteArrayLiteral("\r\n");

QByteArray encodeLine(const QString &line)
{
    QStringEncoder encoder(QStringConverter::System);
    QByteArray bytes = encoder.encode(line);
    bytes.append(LineEnd);
    return bytes;
}

} // namespace

QString DefaultLogPath()
{
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\KX4136_log.txt");
#else
    // A drive letter means nothing here: the home folder takes the place of the drive's root.
    return QDir::toNativeSeparators(QDir::homePath() + QStringLiteral("/KX4136_log.txt"));
#endif
}

QString LogHeaderLine()
{
    QString line = QStringLiteral("KX4136");
    // RomTable has 33 rows; LastSensor never exceeds 31, the bound only keeps a stray value in the table.
    const int last = std::min<int>(modKX4136::LastSensor, 32);
    for (int i = 0; i <= last; ++i) {
        line += QLatin1Char('\t') + modKX4136::HexByte(modKX4136::RomTable[i][0]);
        for (int j = 1; j <= 7; ++j)
            line += QLatin1Char(' ') + modKX4136::HexByte(modKX4136::RomTable[i][j]);
    }
    return line;
}

QString LogDataLine(const QString &dateTimeText, const QStringList &readingTexts)
{
    QString line = dateTimeText;
    for (const QString &reading : readingTexts)
        line += QLatin1Char('\t') + reading;
    return line;
}

AppendResult appendToFile(const QString &path, const std::deque<QByteArray> &encodedLines)
{
    AppendResult result;
    if (path.isEmpty()) {
        result.reason = QStringLiteral("no file name given");
        return result;
    }
    QFile file(path);
    // Unbuffered, so a full disk shows in the write's result and not only in a lost flush at close.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        result.reason = file.errorString();
        return result;
    }
    for (const QByteArray &line : encodedLines) {
        const qint64 before = file.size();
        if (file.write(line) != line.size()) {
            result.reason = file.error() != QFileDevice::NoError
                ? file.errorString()
                : QStringLiteral("only part of a line could be written");
            // The line is written whole later: a part of it now would be a line of its own.
            if (!file.isSequential())
                file.resize(before);
            return result;
        }
        ++result.written;
    }
    file.close();
    result.ok = true;
    return result;
}

LogFile::LogFile(Report report, qsizetype keptLimit)
    : report_(std::move(report))
    , keptLimit_(std::max<qsizetype>(keptLimit, 1))
{ }

LogFile::~LogFile()
{
    for (const PathLines &p : failing_)
        appendToFile(p.path, p.lines);
}

void LogFile::AppendLogLine(const QString &path, const QString &line)
{
    const bool wasFailing = failingFor(path) != nullptr;
    PathLines &target = linesFor(path);
    const qsizetype keptBefore = static_cast<qsizetype>(target.lines.size());
    target.lines.push_back(encodeLine(line));
    ++kept_;

    const AppendResult result = appendToFile(path, target.lines);
    target.lines.erase(target.lines.begin(), target.lines.begin() + result.written);
    kept_ -= result.written;
    target.keptWritten += std::min(result.written, keptBefore);

    if (!result.ok) {
        if (!wasFailing)
            report_(QStringLiteral("Log file %1 cannot be written (%2): its lines are kept until it can.")
                        .arg(path, result.reason));
        if (kept_ > keptLimit_)
            dropOldest();
        return;
    }
    if (wasFailing) {
        QString recovered = QStringLiteral("Log file %1 written again: %2 kept line(s) written.")
                                .arg(path, QString::number(target.keptWritten));
        if (target.dropped > 0)
            recovered += QStringLiteral(" %1 oldest line(s) were dropped.").arg(target.dropped);
        report_(recovered);
    }
    failing_.removeIf([&path](const PathLines &p) { return p.path == path; });
}

LogFile::PathLines *LogFile::failingFor(const QString &path)
{
    for (PathLines &p : failing_) {
        if (p.path == path)
            return &p;
    }
    return nullptr;
}

LogFile::PathLines &LogFile::linesFor(const QString &path)
{
    if (PathLines *known = failingFor(path))
        return *known;
    failing_.append(PathLines {path, {}, 0, 0});
    return failing_.back();
}

void LogFile::dropOldest()
{
    // A file whose lines have all been dropped stays listed, so its recovery still tells of them.
    for (PathLines &p : failing_) {
        if (!p.lines.empty()) {
            p.lines.pop_front();
            --kept_;
            ++p.dropped;
            return;
        }
    }
}

} // namespace logging
