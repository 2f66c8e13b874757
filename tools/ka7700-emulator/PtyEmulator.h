// The KA7700 adapter on a pseudo-terminal: the line driver behind the master side, with serial timing.
#pragma once

#include "tools/ka7700-emulator/LineDriver.h"
#include "tools/ka7700-emulator/Pty.h"
#include "tools/ka7700-emulator/SerialTiming.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

namespace emulator {

// A pseudo-terminal carries no break, so the host closing its side counts as the adapter losing its
// supply (the control lines) and opening it as power-up.
class PtyEmulator
{
public:
    PtyEmulator(std::shared_ptr<sim::SimBus> bus, Faults faults = {}, Timing timing = {});
    ~PtyEmulator();
    PtyEmulator(const PtyEmulator &) = delete;
    PtyEmulator &operator=(const PtyEmulator &) = delete;

    // Creates the pseudo-terminal; false (with errorString()) when that fails.
    bool open() { return m_pty.open(); }
    QString slavePath() const { return m_pty.slavePath(); }
    QString errorString() const { return m_pty.errorString(); }

    // Answers the host until `stop` is set; looks at it at least every 50 ms.
    void run(const std::atomic<bool> &stop);
    // The same loop in a thread of its own, until stop() or destruction.
    void start();
    void stop();

    // The running loop shares the bus and the line driver: reach them only through this.
    template<class F> auto locked(F &&f)
    {
        std::lock_guard lock(m_mutex);
        return f(*m_bus, m_lineDriver);
    }
    int powerUps() const { return m_powerUps.load(); }
    // Bytes lost in real time because they arrived while the line driver worked and held another.
    int overruns() const { return m_overruns.load(); }

private:
    using Clock = SerialTiming::Clock;

    void readHost();
    void takeInRealTime(char byte, int hostBaud, Clock::time_point now);
    void hostOpened();
    void hostClosed();
    std::chrono::microseconds pollTimeout();

    std::shared_ptr<sim::SimBus> m_bus;
    LineDriver m_lineDriver;
    SerialTiming m_serial;
    std::mutex m_mutex;
    Pty m_pty;

    bool m_hostGone = false; // where opens cannot be watched: the master side reports a hang-up
    std::atomic<int> m_powerUps {0};
    std::atomic<int> m_overruns {0};

    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

} // namespace emulator
