// A run without a window: START at once, a printed block per reading cycle, STOP on a signal or a count.
#include "app/ConsoleRun.h"

#include "app/ConsoleOutput.h"
#include "app/DriverChoice.h"
#include "bus/XWBUSLIB.h"

#include <QCoreApplication>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

ConsoleRun::ConsoleRun(const ConsoleSettings &settings, int cycles, QTextStream &out, QTextStream &err,
    const QString &pendingFolder)
    : view_(settings, out, err)
    , runControl_(view_, pendingFolder)
    , cycles_(cycles)
{
    runControl_.addListener(view_);
    connect(&view_, &ConsoleView::timer1Tick, this, &ConsoleRun::onTick);
    connect(&stopSignals_, &StopSignals::stopRequested, this, &ConsoleRun::onStopRequested);
}

int ConsoleRun::exec()
{
    runControl_.StartRun();
    const int status = statusAfterStart();
    if (status == Ended && !stopRequested_ && runControl_.state() == logging::RunControl::State::Running)
        loop_.exec();
    endSession();
    // Readings that are not in their log yet make the run a failure, whatever else went well.
    return runControl_.tellKeptLines() ? std::max<int>(status, Failed) : status;
}

int ConsoleRun::statusAfterStart()
{
    // A stop that came during START has been run by run control once detection let go of the bus.
    if (stopRequested_)
        return Ended;
    using Outcome = logging::RunControl::StartOutcome;
    switch (*runControl_.lastStart()) {
    case Outcome::Running:
    case Outcome::StoppedDuringDetection:
        return Ended;
    case Outcome::NoSession:
    case Outcome::DetectionFailed:
        // The reason is printed already, below the message or as the device list's last line.
        return Failed;
    case Outcome::WrongSetting:
        break;
    }
    return WrongSetting;
}

void ConsoleRun::onTick()
{
    // A tick handled inside a wait of the cycle under way is skipped by run control, as the window's;
    // the cycle's own tick decides about the end.
    if (runControl_.busy())
        return;
    runControl_.ReadingCycle();
    if (stopRequested_ || (cycles_ > 0 && view_.cyclesPrinted() >= cycles_))
        loop_.exit();
}

void ConsoleRun::onStopRequested()
{
    stopRequested_ = true;
    // Inside a transaction STOP is held and runs as soon as the bus is free; the handler that
    // started the transaction leaves the loop afterwards.
    runControl_.StopRun();
    if (!runControl_.busy())
        loop_.exit();
}

void ConsoleRun::endSession()
{
    if (runControl_.state() != logging::RunControl::State::Idle)
        runControl_.StopRun();
}

int runConsoleProgram(char **argv, const CommandLineOptions &options)
{
    int qtArgc = 1;
    QCoreApplication application(qtArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kx4136-logger"));
    XWBUSLIB::Install(chooseDriver(options));

    // Nobody reading what is printed must never hold up the readings and their log.
    ConsoleOutput errDevice(2);
    ConsoleOutput outDevice(1, &errDevice);
    QTextStream out(&outDevice);
    QTextStream err(&errDevice);
    out.setEncoding(QStringConverter::System);
    err.setEncoding(QStringConverter::System);
    const ConsoleSettings settings {options.port, options.interval, options.delay,
        options.logPath.value_or(logging::DefaultLogPath()), options.log};
    int status = 0;
    {
        ConsoleRun run(settings, options.cycles, out, err, logging::DefaultPendingFolder());
        status = run.exec();
    }
    XWBUSLIB::Install(nullptr);
    return status;
}
