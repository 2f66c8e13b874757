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
    using Reason = xw::StartFailure::Reason;
    if (m_opened)
        return true;
    switch (m_port->open(m_path)) {
    case OpenResult::Opened:
        break;
    case OpenResult::NoSuchDevice:
        m_openFailure = Reason::NoSuchDevice;
        return false;
    case OpenResult::PermissionDenied:
        m_openFailure = Reason::PermissionDenied;
        return false;
    case OpenResult::InUse:
        m_openFailure = Reason::InUse;
        return false;
    case OpenResult::Failed:
        m_openFailure = Reason::NotSerial;
        return false;
    }
    m_opened = true;
    m_needsInit = true;
    m_resync = false;
    if (initialise()) {
        m_openFailure = Reason::None;
        return true;
    }
    m_port->close();
    m_opened = false;
    m_openFailure = m_busShorted ? Reason::ShortedBus : Reason::NoAdapter;
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
    m_busShorted = false;
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
    const QByteArray expected = bytesOf(ka7700::DetectAnswer);
    if (!setupAnswer)
        return false;
    // Only the probe bit reading 0 may still be an adapter, on a bus held low: its reset tells.
    const bool probeReadLow = setupAnswer->chopped(1) == expected.chopped(1)
        && uint8_t(setupAnswer->back()) == (uint8_t(expected.back()) & 0xFC);
    if (*setupAnswer != expected && !probeReadLow)
        return false;

    Request reset;
    reset.bytes += char(ka7700::Reset);
    reset.answers = 1;
    const auto resetAnswer = exchange(reset);
    if (!resetAnswer || !ka7700::isResetAnswer(uint8_t(resetAnswer->at(0))))
        return false;
    if (probeReadLow) {
        m_busShorted = ka7700::resetResult(uint8_t(resetAnswer->at(0))) == onewire::ResetResult::Short;
        return false;
    }
    m_mode = Mode::Command;
    return true;
}

} // namespace serial
