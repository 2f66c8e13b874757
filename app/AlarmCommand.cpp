// Runs the alarm command without a shell, a few at a time, each killed when it runs past its time limit.
#include "app/AlarmCommand.h"

#include "logging/Alarms.h"
#include "logging/SensorsFile.h"
#include "logging/TextFormats.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <cstdlib>

namespace app {

namespace {

QString dotNumber(double value)
{
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

} // namespace

AlarmCommand::AlarmCommand(
    const QString &command, logging::LineSink tell, std::chrono::milliseconds timeLimit, QObject *parent)
    : QObject(parent)
    , m_tell(std::move(tell))
    , m_timeLimit(timeLimit)
{
    m_arguments = splitCommand(command).value_or(QStringList());
    if (!m_arguments.isEmpty())
        m_program = m_arguments.takeFirst();
}

std::optional<QStringList> AlarmCommand::splitCommand(const QString &command)
{
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote;
    for (const QChar c : command) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                word += c;
        } else if (c == u'\'' || c == u'"') {
            quote = c;
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words << std::exchange(word, QString());
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (!quote.isNull())
        return std::nullopt;
    if (inWord)
        words << word;
    return words.isEmpty() ? std::nullopt : std::optional(words);
}

AlarmCommand::~AlarmCommand()
{
    // A command still running when the program ends is ended with it.
    for (QProcess *process : findChildren<QProcess *>()) {
        process->disconnect(this);
        process->kill();
        process->waitForFinished(1000);
    }
}

QProcessEnvironment AlarmCommand::changeEnvironment(const logging::AlarmChange &change)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("KX4136_ROM"), logging::romKey(change.rom));
    environment.insert(QStringLiteral("KX4136_NAME"), change.name);
    environment.insert(QStringLiteral("KX4136_STATE"), logging::alarmStateWord(change.state));
    environment.insert(QStringLiteral("KX4136_READING"),
        change.celsius ? dotNumber(static_cast<double>(*change.celsius)) : QString());
    environment.insert(QStringLiteral("KX4136_LIMIT"), change.limit ? dotNumber(*change.limit) : QString());
    environment.insert(QStringLiteral("KX4136_TIME"), logging::isoTimeText(change.when));
    return environment;
}

void AlarmCommand::cycleEnded(const logging::CycleRecord &cycle)
{
    std::size_t dropped = 0;
    for (const logging::AlarmChange &change : cycle.alarmChanges) {
        if (m_waiting.size() >= MaxWaiting) {
            ++dropped;
            continue;
        }
        const QString who = change.name.isEmpty() ? logging::romKey(change.rom) : change.name;
        m_waiting.push_back({changeEnvironment(change),
            QStringLiteral("%1 (%2)").arg(who, logging::alarmStateWord(change.state))});
    }
    tellDropped(dropped);
    // Not from inside the cycle: the cycle goes on while the commands start.
    QTimer::singleShot(0, this, &AlarmCommand::startWaiting);
}

void AlarmCommand::finish()
{
    startWaiting();
    tellDropped(m_waiting.size());
    m_waiting.clear();
    if (m_running.isEmpty())
        return;
    QEventLoop loop;
    m_whenNoneRuns = [&loop] { loop.quit(); };
    loop.exec();
    m_whenNoneRuns = nullptr;
}

void AlarmCommand::tellDropped(std::size_t count)
{
    if (count > 0)
        m_tell(
            QStringLiteral("The alarm command was not run for %1 alarm changes: too many runs were waiting.")
                .arg(count));
}

void AlarmCommand::startWaiting()
{
    while (!m_waiting.empty() && m_running.size() < MaxRunning) {
        const Run run = m_waiting.front();
        m_waiting.pop_front();
        start(run);
    }
}

void AlarmCommand::start(const Run &run)
{
    auto *process = new QProcess(this);
    m_running.append(process);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(run.environment);
    process->setProcessEnvironment(environment);
    process->setProgram(m_program);
    process->setArguments(m_arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    const QString about = run.about;
    auto *limit = new QTimer(process);
    limit->setSingleShot(true);
    connect(
        limit, &QTimer::timeout, this,
        [this, process, about] {
            if (!m_running.contains(process))
                return; // it ended just before
            process->kill();
            ended(process,
                QStringLiteral("The alarm command for %1 was killed after %2 s.")
                    .arg(about)
                    .arg(dotNumber(static_cast<double>(m_timeLimit.count()) / 1000)));
        });
    connect(
        process, &QProcess::errorOccurred, this,
        [this, process, about](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                ended(process,
                    QStringLiteral("The alarm command for %1 could not be started: %2.")
                        .arg(about, process->errorString()));
        });
    connect(process, &QProcess::finished, this,
        [this, process, about](int exitCode, QProcess::ExitStatus status) {
            if (status == QProcess::CrashExit)
                ended(process, QStringLiteral("The alarm command for %1 ended abnormally.").arg(about));
            else if (exitCode != 0)
                ended(process,
                    QStringLiteral("The alarm command for %1 ended with exit status %2.")
                        .arg(about)
                        .arg(exitCode));
            else
                ended(process, QString());
        });
    limit->start(m_timeLimit);
    process->start();
}

void AlarmCommand::ended(QProcess *process, const QString &failure)
{
    // Told once: a killed command still finishes afterwards.
    if (!m_running.removeOne(process))
        return;
    if (!failure.isEmpty())
        m_tell(failure);
    process->disconnect(this);
    // A killed one is gone once it has finished.
    if (process->state() == QProcess::NotRunning)
        process->deleteLater();
    else
        connect(process, &QProcess::finished, process, &QObject::deleteLater);
    startWaiting();
    if (m_running.isEmpty() && m_whenNoneRuns)
        m_whenNoneRuns();
}

} // namespace app
