// When the emulated adapter takes each byte from the host and when its answers leave: pure arithmetic
// on the times it is given.
#pragma once

#include <QByteArray>
#include <chrono>
#include <deque>
#include <optional>

namespace emulator {

struct Timing
{
    std::chrono::microseconds byteTime {0}; // each byte on either line; 1042 us is 9600 baud
    std::chrono::milliseconds latency {0}; // added to every answer burst, as a USB-serial bridge does
    // True time instead of byteTime: ten bit times a byte at the adapter's rate, the 1-Wire time of each
    // command before its answer, and one received byte held while the line driver works.
    bool realTime = false;
};

class SerialTiming
{
public:
    using Clock = std::chrono::steady_clock;

    explicit SerialTiming(Timing timing = {})
        : m_timing(timing)
    { }
    const Timing &timing() const { return m_timing; }

    // In real time: a byte read at `now`, whose frame took ten bit times at `frameBaud`, reaches the line
    // driver. Gives when the line driver starts on it; nothing when the byte is lost because it came
    // while the line driver worked and the one place to hold it was taken (or, unless `holds`, is none).
    std::optional<Clock::time_point> take(Clock::time_point now, int frameBaud, bool holds);
    // In real time: the line driver worked `busTime` on the byte it started on at `start`; its answers
    // leave after that, at `adapterBaud`.
    void worked(Clock::time_point start, std::chrono::microseconds busTime, const QByteArray &answers,
        int adapterBaud);
    // Not in real time: a byte read at `now` and its answers, each byteTime on the line.
    void received(Clock::time_point now, const QByteArray &answers);
    // Answers that leave once `after` has come, one after another at `adapterBaud`.
    void schedule(const QByteArray &answers, Clock::time_point after, int adapterBaud);

    // The answers due by `now`, in order, taken off the queue.
    QByteArray takeDue(Clock::time_point now);
    std::optional<Clock::time_point> nextDue() const;
    // The adapter lost its supply: nothing it was going to send leaves.
    void clear() { m_answers.clear(); }

private:
    struct Answer
    {
        Clock::time_point due;
        char byte;
    };

    Timing m_timing;
    Clock::time_point m_receiveFree {}; // when the adapter's receive line is free again
    Clock::time_point m_sendFree {};
    Clock::time_point m_workFree {}; // when the line driver is done with the bytes it has taken
    Clock::time_point m_lastStart {}; // when it began on the last of them: until then it is held
    std::deque<Answer> m_answers;
};

} // namespace emulator
