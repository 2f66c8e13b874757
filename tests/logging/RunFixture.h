// Shared set-up of the run-control tests: simulated time, a fake window, run control and a log file.
#pragma once

#include "FakeMainView.h"
#include "common/RecordingDriver.h"
#include "common/SimulatedTime.h"
#include "driver/sim/SimulatedDriver.h"
#include "logging/RunControl.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// The log's lines without their CR LF; empty when the file cannot be read.
QStringList fileLines(const QString &path);

// Test classes derive from this and call setUpRun() from init() and tearDownRun() from cleanup();
// it has no slots of its own, so the test runner sees only the derived class's.
class RunFixture : public QObject
{
protected:
    // A fresh zero state, the window's defaults, a 800 ms conversion wait (a 12-bit conversion takes
    // 750 ms) and a log file in a folder of its own.
    void setUpRun();
    void tearDownRun();

    std::shared_ptr<sim::SimulatedDriver> installSim(sim::SimConfiguration configuration);
    std::shared_ptr<sim::SimulatedDriver> installSim(int sensors);
    // START on `sensors` simulated sensors; true when the run is Running. The bus's transcript then
    // starts empty.
    bool startOnSim(int sensors);
    std::shared_ptr<testsupport::RecordingDriver> installRecording();
    // A recording driver with an open session and `rows` sensors in RomTable, rows told apart by byte 1;
    // the window's calls go into its call list as notes.
    std::shared_ptr<testsupport::RecordingDriver> recordingWithRows(int rows);
    // START on a recording driver listing `rows` sensors as recordingWithRows does, read slots after
    // detection answering `readSlots`; then waits and the window's calls go into its call list as notes.
    std::shared_ptr<testsupport::RecordingDriver> startOnRecording(int rows, const QList<int> &readSlots);

    sim::SimBus &bus() { return *driver->bus(1); }

    std::unique_ptr<QTemporaryDir> dir;
    std::shared_ptr<sim::SimulatedDriver> driver;
    std::unique_ptr<testsupport::SimulatedTime> harness;
    std::unique_ptr<FakeMainView> view;
    std::unique_ptr<logging::RunControl> run;
    QString logPath;
};
