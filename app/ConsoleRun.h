// A run without a window: START at once, a printed block per reading cycle, STOP on a signal or a count.
#pragma once

#include "app/CommandLine.h"
#include "app/ConsoleView.h"
#include "app/ExitStatus.h"
#include "app/StopSignals.h"
#include "logging/RunControl.h"

#include <QEventLoop>

class QTextStream;

namespace app {

class ConsoleRun : public QObject
{
    Q_OBJECT

public:
    // Needs an application object and an installed driver; `cycles` 0 runs until stopped. Kept log lines
    // wait in the pending folder (none: in memory only).
    ConsoleRun(const ConsoleSettings &settings, int cycles, QTextStream &out, QTextStream &err,
        const QString &pendingFolder = QString());

    // Runs to the end and gives the program's exit status; the session is ended whatever happened.
    int exec();

    // Tests set the local time here before exec().
    logging::RunControl &runControl() { return m_runControl; }
    // --set-resolution: written once START has listed the sensors, before the first cycle.
    void setResolutionWrites(const QList<ResolutionWrite> &writes) { m_writes = writes; }
    // --cycles 0: the run ends after START and the writes.
    void setEndAfterStart(bool end) { m_endAfterStart = end; }

private:
    void onTick();
    void onStopRequested();
    int statusAfterStart();
    // Ends the session unless it has ended; never called inside a bus transaction.
    void endSession();

    ConsoleView m_view;
    logging::RunControl m_runControl;
    StopSignals m_stopSignals;
    QEventLoop m_loop;
    int m_cycles;
    QList<ResolutionWrite> m_writes;
    bool m_endAfterStart = false;
    bool m_stopRequested = false;
};

// The whole program for --console, once the command line has been read; argv[0] is all Qt sees.
int runConsoleProgram(char **argv, const CommandLineOptions &options);

} // namespace app
