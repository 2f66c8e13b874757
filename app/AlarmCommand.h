// The user's command run on each change of an alarm state, with the facts in its environment.
#pragma once

#include "logging/LineSink.h"
#include "logging/Readings.h"

#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>

class QProcess;

namespace app {

class AlarmCommand : public QObject, public logging::ReadingsListener
{
    Q_OBJECT

public:
    static constexpr int MaxRunning = 4;
    static constexpr int MaxWaiting = 32;
    static constexpr std::chrono::milliseconds DefaultTimeLimit {30000};

    // `command` is split by splitCommand and run without a shell. Each failure is one line to `tell`.
    AlarmCommand(const QString &command, logging::LineSink tell,
        std::chrono::milliseconds timeLimit = DefaultTimeLimit, QObject *parent = nullptr);
    ~AlarmCommand() override;

    // Queues one run per change and returns at once: the runs start from the event loop.
    void cycleEnded(const logging::CycleRecord &cycle) override;

    // At the end of a run: starts what is waiting, as many as may run at once (the rest are dropped and
    // told in one line), and returns once every command has ended, at the latest at its time limit.
    void finish();

    // The program and its arguments: words apart at blanks, '...' and "..." each one word or part of one
    // (the quotes taken away, nothing inside them special). None for an unended quote or no word at all.
    static std::optional<QStringList> splitCommand(const QString &command);

    // The environment the command gets for a change, besides the program's own.
    static QProcessEnvironment changeEnvironment(const logging::AlarmChange &change);

private:
    struct Run
    {
        QProcessEnvironment environment;
        QString about; // the sensor and its new state, for the lines
    };
    void startWaiting();
    void start(const Run &run);
    void ended(QProcess *process, const QString &failure);
    void tellDropped(std::size_t count);

    QString m_program;
    QStringList m_arguments;
    logging::LineSink m_tell;
    std::chrono::milliseconds m_timeLimit;
    std::deque<Run> m_waiting;
    QList<QProcess *> m_running;
    std::function<void()> m_whenNoneRuns;
};

} // namespace app
