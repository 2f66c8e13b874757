// Runs of the console and of the window on the simulated bus with simulated time, for the console tests.
#pragma once

#include "app/ConsoleView.h"
#include "driver/sim/Clock.h"
#include "driver/sim/SimulatedDriver.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QStringList>
#include <functional>
#include <memory>

class QTemporaryDir;

// Simulated time: the tick counter follows the bus's clock and every wait moves it on at once, while
// pending events are still processed for real so that timers and signals are handled inside waits.
// Puts the module state and the installed driver back to their start when it ends.
class ManualTime
{
public:
    ManualTime();
    ~ManualTime();
    ManualTime(const ManualTime &) = delete;
    ManualTime &operator=(const ManualTime &) = delete;

    std::shared_ptr<sim::ManualClock> clock = std::make_shared<sim::ManualClock>(std::chrono::seconds(10));
    std::function<void(int32_t timeoutMs)> duringWait;
};

// The same local time for every run: one second further at each reading.
std::function<QDateTime()> localTime();

enum class Bus { Demo, Empty };
std::shared_ptr<sim::SimulatedDriver> simulatedDriver(Bus bus, const ManualTime &time);

struct Printed
{
    int status = -1;
    QStringList out;
    QStringList err;
};
// A console run to its end on the installed driver.
Printed runConsole(const ConsoleSettings &settings, int cycles, const QString &pendingFolder = QString());

// What the window shows at the end of a run driven as the program drives it.
struct WindowRun
{
    QStringList devices;
    QString label5;
    QStringList readings;
};
// A window run on the installed driver, stopped after `cycles` cycles.
WindowRun runWindow(const ConsoleSettings &settings, int cycles);

// Settings for a log file in `dir`, with an interval that leaves simulated time alone.
ConsoleSettings settingsIn(const QTemporaryDir &dir, const QString &file);

QByteArray fileBytes(const QString &path);
// The log's lines without their CR LF.
QList<QByteArray> logLines(const QString &path);
