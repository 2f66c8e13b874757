// A run without a window: START at once, a printed block per reading cycle, STOP on a signal or a count.
#include "app/ConsoleRun.h"

#include "app/ConsoleOutput.h"
#include "app/DriverChoice.h"
#include "bus/XWBUSLIB.h"

#include <QCoreApplication>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

namespace {

const char sessionFailed[] = "Error when starting session.";

// Guards the count of calls into run control around one call.
class Depth
{
public:
    explicit Depth(int &depth)
        : depth_(depth)
    {
        ++depth_;
    }
    ~Depth() { --depth_; }
    Depth(const Depth &) = delete;
    Depth &operator=(const Depth &) = delete;

private:
    int &depth_;
};

} // namespace

ConsoleRun::ConsoleRun(const ConsoleSettings &settings, int cycles, QTextStream &out, QTextStream &err,
    const QString &pendingFolder)
    : view_(settings, out, err)
    , runControl_(view_, pendingFolder)
    , cycles_(cycles)
{
    connect(&view_, &ConsoleView::timer1Tick, this, &ConsoleRun::onTick);
    connect(&stopSignals_, &StopSignals::stopRequested, this, &ConsoleRun::onStopRequested);
}

int ConsoleRun::exec()
{
    {
        Depth depth(depth_);
        runControl_.StartRun();
    }
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
    switch (runControl_.state()) {
    case logging::RunControl::State::Running:
        return Ended;
    case logging::RunControl::State::Halted:
        // Detection failed: its reason is already in the device list.
        return Failed;
    case logging::RunControl::State::Idle:
        break;
    }
    return view_.lastMessage() == QLatin1String(sessionFailed) ? Failed : WrongSetting;
}

void ConsoleRun::onTick()
{
    if (depth_ > 0) {
        // A tick handled inside a wait of the cycle under way: run control skips it, as the window's.
        runControl_.ReadingCycle();
        return;
    }
    {
        Depth depth(depth_);
        runControl_.ReadingCycle();
    }
    if (view_.printFinishedCycle())
        ++cyclesDone_;
    if (stopRequested_ || (cycles_ > 0 && cyclesDone_ >= cycles_))
        loop_.exit();
}

void ConsoleRun::onStopRequested()
{
    stopRequested_ = true;
    // Inside a transaction STOP is held and runs as soon as the bus is free; the handler that
    // started the transaction leaves the loop afterwards.
    runControl_.StopRun();
    if (depth_ == 0)
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
