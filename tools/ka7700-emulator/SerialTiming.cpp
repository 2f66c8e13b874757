// When the emulated adapter takes each byte from the host and when its answers leave.
#include "tools/ka7700-emulator/SerialTiming.h"

#include <algorithm>

namespace emulator {

namespace {

// Start bit, eight data bits and a stop bit.
std::chrono::nanoseconds frameTime(int baud)
{
    return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

} // namespace

std::optional<SerialTiming::Clock::time_point> SerialTiming::take(
    Clock::time_point now, int frameBaud, bool holds)
{
    // The frames come at the host's rate, whether the adapter's matches or not.
    m_receiveFree = std::max(m_receiveFree, now) + frameTime(frameBaud);
    const auto arrived = m_receiveFree;
    if (arrived >= m_workFree)
        return arrived;
    if (m_lastStart > arrived || !holds)
        return std::nullopt;
    return m_workFree;
}

void SerialTiming::worked(
    Clock::time_point start, std::chrono::microseconds busTime, const QByteArray &answers, int adapterBaud)
{
    m_lastStart = start;
    m_workFree = start + busTime;
    schedule(answers, m_workFree, adapterBaud);
}

void SerialTiming::received(Clock::time_point now, const QByteArray &answers)
{
    m_receiveFree = std::max(m_receiveFree, now) + m_timing.byteTime;
    schedule(answers, m_receiveFree, 0);
}

void SerialTiming::schedule(const QByteArray &answers, Clock::time_point after, int adapterBaud)
{
    for (const char byte : answers) {
        const std::chrono::nanoseconds byteTime
            = m_timing.realTime ? frameTime(adapterBaud) : std::chrono::nanoseconds(m_timing.byteTime);
        m_sendFree = std::max(m_sendFree, after) + byteTime;
        m_answers.push_back({m_sendFree + m_timing.latency, byte});
    }
}

QByteArray SerialTiming::takeDue(Clock::time_point now)
{
    QByteArray due;
    while (!m_answers.empty() && m_answers.front().due <= now) {
        due += m_answers.front().byte;
        m_answers.pop_front();
    }
    return due;
}

std::optional<SerialTiming::Clock::time_point> SerialTiming::nextDue() const
{
    if (m_answers.empty())
        return std::nullopt;
    return m_answers.front().due;
}

} // namespace emulator
