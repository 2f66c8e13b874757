// Bringing the KA7700 adapter up: opening the port, master reset, set-up and the checks that it is one.
#include "driver/serial/SerialLink.h"

#include "driver/serial/Ka7700.h"

using namespace std::chrono_literals;

namespace serial {

namespace {

constexpr int DetectAttempts = 3;
constexpr int Baud = 9600;
constexpr auto BreakTime = 5ms; // several frames at 9600 baud
constexpr auto AfterBreak = 2ms;
constexpr auto AfterTimingByte = 4ms;
constexpr auto AfterResync = 10ms;

QByteArray bytesOf(const auto &array)
{
    return QByteArray(reinterpret_cast<const char *>(array.data()), qsizetype(array.size()));
}

} // namespace

bool SerialLink::open()
{
    if (m_opened)
        return true;
    if (m_port->open(m_path) != OpenResult::Opened)
        return false;
    m_opened = true;
    m_needsInit = true;
    m_resync = false;
    if (initialise())
        return true;
    m_port->close();
    m_opened = false;
    return false;
}

void SerialLink::close()
{
    if (!m_opened)
        return;
    setLevel(onewire::BusLevel::Normal);
    m_port->close();
    m_opened = false;
    m_needsInit = true;
    m_mode = Mode::Unknown;
}

bool SerialLink::ready()
{
    if (!m_opened)
        return false;
    if (!m_port->isOpen()) {
        if (m_port->open(m_path) != OpenResult::Opened)
            return false;
        m_needsInit = true;
    }
    return !m_needsInit || initialise();
}

bool SerialLink::initialise()
{
    for (int attempt = 0; attempt < DetectAttempts; ++attempt) {
        if (detect()) {
            m_needsInit = false;
            m_resync = false;
            return true;
        }
        m_resync = true;
        if (m_port->lost()) {
            m_port->close();
            return false;
        }
    }
    return false;
}

bool SerialLink::detect()
{
    m_mode = Mode::Unknown;
    m_armed = false;
    m_pulseActive = false;
    if (m_resync) {
        // Leave data mode, end a pull-up and stop the accelerator by bytes as well, for a line that
        // does not carry the break.
        QByteArray resync;
        if (m_pulseMaybeActive)
            resync += char(ka7700::EndPulse);
        resync += char(ka7700::CommandMode);
        resync += char(ka7700::EndPulse);
        resync += char(ka7700::AcceleratorOff);
        if (!m_port->write(resync))
            return false;
        m_port->pause(AfterResync);
    }
    m_pulseMaybeActive = false;
    m_port->setBaudRate(Baud);
    m_port->setBreak(true);
    m_port->pause(BreakTime);
    m_port->setBreak(false);
    m_port->pause(AfterBreak);
    m_port->clearInput();
    if (!m_port->write(QByteArray(1, char(ka7700::TimingByte))))
        return false;
    m_port->pause(AfterTimingByte);

    Request setup;
    setup.bytes = bytesOf(ka7700::DetectRequest);
    setup.answers = int(ka7700::DetectAnswer.size());
    const auto setupAnswer = exchange(setup);
    if (!setupAnswer || *setupAnswer != bytesOf(ka7700::DetectAnswer))
        return false;

    Request reset;
    reset.bytes += char(ka7700::Reset);
    reset.answers = 1;
    const auto resetAnswer = exchange(reset);
    if (!resetAnswer || !ka7700::isResetAnswer(uint8_t(resetAnswer->at(0))))
        return false;
    m_mode = Mode::Command;
    return true;
}

} // namespace serial
