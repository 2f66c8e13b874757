// Run control: START, STOP, the reading cycle, resolution writing and closing, one bus transaction at a time.
#pragma once

#include "logging/BusGuard.h"
#include "logging/LogFile.h"
#include "logging/MainView.h"

#include <QDateTime>
#include <functional>
#include <optional>

namespace logging {

class RunControl
{
public:
    enum class State { Idle, Running, Halted };
    using Clock = std::function<QDateTime()>;

    explicit RunControl(MainView &view);

    // The click and tick handlers; each applies the one-transaction guard before it does anything.
    void StartRun();
    void StopRun();
    void ReadingCycle();
    void WriteResolution();
    // True: end the program now, the session is already ended. False: held until the bus work
    // under way has ended; run control then ends the session and calls view.endProgram().
    bool CloseRequested();

    State state() const { return state_; }
    // The local time the date-time texts are taken from.
    void setClock(Clock clock) { clock_ = std::move(clock); }

private:
    void startSteps();
    bool takeOverSettings();
    void stopSteps();
    void cycleSteps();
    // The index in Text1, or nothing after the "Wrong sensor number." message.
    std::optional<int16_t> sensorToWrite();
    void writeSteps(int16_t index);
    void endSessionForClose();
    // Runs what was held while bus work ran; called where one transaction has ended. True when
    // anything ran.
    bool runHeld();
    bool stopOrCloseHeld() const;

    MainView &view_;
    BusGuard guard_;
    LogFile log_;
    Clock clock_;
    State state_ = State::Idle;
    bool ended_ = false;
};

} // namespace logging
