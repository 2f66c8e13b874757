// Run control: START, STOP, the reading cycle, resolution writing and closing, one bus transaction at a time.
#pragma once

#include "logging/Alarms.h"
#include "logging/BusGuard.h"
#include "logging/LogFile.h"
#include "logging/MainView.h"
#include "logging/Readings.h"
#include "logging/RunSettings.h"
#include "logging/SensorsFile.h"

#include <QDateTime>
#include <QList>
#include <functional>
#include <optional>

namespace logging {

class RunControl
{
public:
    enum class State { Idle, Running, Halted };
    enum class StartOutcome {
        Running,
        WrongSetting,
        LogInUse,
        NoSession,
        DetectionFailed,
        StoppedDuringDetection
    };
    using Clock = std::function<QDateTime()>;
    // What a resolution write came to. Written: both the scratchpad write and the EEPROM copy completed.
    enum class WriteOutcome { Written, NotCompleted, AlarmBytesUnread, Refused };

    // Kept log lines wait in the pending folder across runs of the program; without one, in memory only.
    explicit RunControl(MainView &view, const QString &pendingFolder = QString());

    // The click and tick handlers.
    void StartRun();
    void StopRun();
    void ReadingCycle();
    void WriteResolution();
    // True: end the program now, the session is already ended. False: held until the bus work
    // under way has ended; run control then ends the session and calls view.endProgram().
    bool closeRequested();
    // "Write to sensor" for a sensor and a resolution (9 to 12 bits) given otherwise than by Text1 and
    // Combo_res, by the same steps; only while a run is Running and the bus is free, else Refused. An
    // index START did not list is refused with the "Wrong sensor number." message.
    WriteOutcome writeResolution(int16_t index, int bits);
    // At the end of the program: shows where the log lines still kept are, if any; true when lines of
    // this run's own log file are among them.
    bool tellKeptLines();

    State state() const { return m_state; }
    // What the last START came to; none before the first.
    std::optional<StartOutcome> lastStart() const { return m_lastStart; }
    // What the last START's detection found.
    const modKX4136::Discovery &discovery() const { return m_discovery; }
    // START, a cycle or a write is on the bus (a handler called now runs inside its waits).
    bool busy() const { return m_guard.busy(); }

    // Told after every START that began a run and after every cycle that read all its sensors.
    void addListener(ReadingsListener &listener);
    void removeListener(ReadingsListener &listener);

    // The sensors file, read at every START; an empty path: none, so no names and no limits.
    void setSensorsFile(const QString &path) { m_sensorsFile = path; }
    // The ROM code of a sensor the last START listed; none for any other index.
    std::optional<RomCode> sensorRom(int index) const;
    // A sensor's name and limits as the run has them now.
    SensorSettings sensorSettings(const RomCode &rom) const;
    // Changed in the window during a run (and saved to the file by it): they apply from the next cycle on.
    void setSensorSettings(const RomCode &rom, const SensorSettings &settings);

    // The local time the date-time texts are taken from.
    void setClock(Clock clock) { m_clock = std::move(clock); }

private:
    enum class Entry { Now, Held, Refused };
    // What a write is to do, as Text1 and Combo_res were at the click.
    struct WriteChoice
    {
        QString sensor;
        int resolution = -1; // the position in Combo_res
    };

    // Opens every handler: nothing runs once the program is ending; while bus work runs, a request is
    // held to run when the bus is free, and a tick or START (no request) is skipped.
    Entry enter(std::optional<BusGuard::Request> holdAs = std::nullopt);
    void busWork(const std::function<void()> &steps);
    void startSteps();
    // The fields read into m_settings, and the numbers handed to the timer and the module state; false
    // after the message naming a wrong one.
    bool takeOverSettings();
    // The log file claimed and the session started; false after telling why not.
    bool openSession();
    // After START has listed the sensors: the log's header, the timer, the listeners told.
    void beginRun(modKX4136::LineList &devices);
    void stopSteps();
    // The settings, START and Help, locked for a run or given back.
    void lockSettings(bool locked);
    void cycleSteps();
    // Lamp red, pending events handled and held requests run; false when they ended the run.
    bool beginBusWork();
    // One conversion and read per sensor in turn; false when the program is ending.
    bool perSensorSteps(CycleRecord &cycle);
    // One conversion of every sensor, then a read of each; false when the program is ending.
    bool convertAllSteps(CycleRecord &cycle);
    // After START has listed the sensors: how the all-at-once cycle is to wait.
    void readPowerSupply(modKX4136::LineList &devices);
    // START: the sensors file read anew (a wrong one told, and none used), the alarm states cleared.
    void readSensorsFile(RunRecord &run);
    // Each sensor's alarm state after the cycle's readings; each change in the record and in lstDevices.
    void noteAlarms(CycleRecord &cycle);
    // The real reading period grows with a cycle longer than the interval; the first such is told.
    void noteCycleTime(int32_t tookMs);
    // Milliseconds of the tick counter since `tick`, across its wrap.
    static int32_t msSince(int32_t tick);
    // The index the sensor text names, or nothing after the "Wrong sensor number." message.
    std::optional<int16_t> sensorToWrite(const QString &sensor);
    WriteOutcome writeSteps(int16_t index, int resolution);
    void endSessionForClose();
    // Runs what was held while bus work ran; called where one transaction has ended. True when
    // anything ran.
    bool runHeld();
    bool runHeldRequests();
    bool stopOrCloseHeld() const;
    static RomCode romCode(int index);

    MainView &m_view;
    QString m_sensorsFile;
    SensorTable m_sensors;
    AlarmTracker m_alarms;
    BusGuard m_guard;
    LogFile m_log;
    Clock m_clock;
    QList<ReadingsListener *> m_listeners;
    State m_state = State::Idle;
    std::optional<StartOutcome> m_lastStart;
    std::optional<WriteChoice> m_heldWrite;
    // Taken over at START; nothing reads the fields again during the run.
    RunSettings m_settings;
    // Whether a sensor needs the pull-up through the all-at-once cycle.
    bool m_busPowered = true;
    // What START's detection found: the all-at-once cycle waits for the slowest of it.
    modKX4136::Discovery m_discovery;
    int32_t m_periodMs = 0;
    bool m_toldLongCycle = false;
    // Time spent on held requests (a write, say) since the cycle began: not the cycle's own.
    int32_t m_heldWorkMs = 0;
    // START and Help given back by a STOP inside bus work, due once that work has ended.
    bool m_unlockWhenFree = false;
    bool m_ended = false;
};

} // namespace logging
