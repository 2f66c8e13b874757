// The KA7700 adapter on a pseudo-terminal: the line driver behind the master side, with serial timing.
#pragma once

#include "tools/ka7700-emulator/LineDriver.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace emulator {

struct Timing
{
    std::chrono::microseconds byteTime {0}; // each byte on either line; 1042 us is 9600 baud
    std::chrono::milliseconds latency {0}; // added to every answer burst, as a USB-serial bridge does
    // True time instead of byteTime: ten bit times a byte at the adapter's rate, the 1-Wire time of each
    // command before its answer, and one received byte held while the line driver works.
    bool realTime = false;
};

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
    bool open();
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

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
    using Clock = std::chrono::steady_clock;

    struct Answer
    {
        Clock::time_point due;
        char byte;
    };

    void watchOpens();
    void readHost();
    void takeInRealTime(char byte, int hostBaud, Clock::time_point now);
    void hostOpened();
    void hostClosed();
    void schedule(const QByteArray &answers, Clock::time_point after);
    void sendDue();
    std::chrono::microseconds pollTimeout();

    std::shared_ptr<sim::SimBus> m_bus;
    LineDriver m_lineDriver;
    Timing m_timing;
    std::mutex m_mutex;

    int m_master = -1;
    int m_inotify = -1;
    int m_wake[2] = {-1, -1};
    QString m_slavePath;
    QString m_error;
    int m_hostFiles = 0; // the host's open files on the slave side
    bool m_hostGone = false; // where opens cannot be watched: the master side reports a hang-up
    std::atomic<int> m_powerUps {0};
    std::atomic<int> m_overruns {0};

    Clock::time_point m_receiveFree {}; // when the adapter's receive line is free again
    Clock::time_point m_sendFree {};
    Clock::time_point m_workFree {}; // when the line driver is done with the bytes it has taken
    Clock::time_point m_lastStart {}; // when it began on the last of them: until then it is held
    std::deque<Answer> m_answers;

    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

} // namespace emulator
