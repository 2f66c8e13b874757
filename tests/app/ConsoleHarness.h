// Runs of the console and of the window on the simulated bus with simulated time, for the console tests.
#pragma once

#include "app/ConsoleView.h"
#include "common/SimulatedTime.h"
#include "driver/sim/SimulatedDriver.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <functional>
#include <memory>

class QTemporaryDir;

// Simulated time whose waits still process pending events for real, so that timers and signals are
// handled inside them.
class ManualTime : public testsupport::SimulatedTime
{
public:
    ManualTime()
        : SimulatedTime(Events::Processed)
    { }
};

enum class Bus { Demo, Empty };
std::shared_ptr<sim::SimulatedDriver> simulatedDriver(Bus bus, const ManualTime &time);

struct Printed
{
    int status = -1;
    QStringList out;
    QStringList err;
};
namespace app {
class ConsoleRun;
}
// A console run to its end on the installed driver; `configure` is called before it starts.
Printed runConsole(const app::ConsoleSettings &settings, int cycles, const QString &pendingFolder = QString(),
    const std::function<void(app::ConsoleRun &)> &configure = {});

// What the window shows at the end of a run driven as the program drives it.
struct WindowRun
{
    QStringList devices;
    QString label5;
    QStringList readings;
};
// A window run on the installed driver, stopped after `cycles` cycles.
WindowRun runWindow(const app::ConsoleSettings &settings, int cycles);

// Settings for a log file in `dir`, with an interval that leaves simulated time alone.
app::ConsoleSettings settingsIn(const QTemporaryDir &dir, const QString &file);

QByteArray fileBytes(const QString &path);
// The log's lines without their CR LF.
QList<QByteArray> logLines(const QString &path);
