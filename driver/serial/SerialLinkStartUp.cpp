// Bringing the KA7700 adapter up: opening the port, master reset, set-up and the checks that it is one.
#include "driver/serial/SerialLink.h"

#include "driver/serial/Exchange.h"
#include "driver/serial/Ka7700.h"

using namespace std::chrono_literals;

namespace serial {

namespace {

constexpr int DetectAttempts = 3;
constexpr auto BreakTime = 5ms; // several frames at 9600 baud
constexpr auto AfterBreak = 2ms;
constexpr auto AfterTimingByte = 4ms;
constexpr auto AfterResync = 10ms;
// Around switching the port's rate: the rate write must have left, and whatever the adapter sent
// meanwhile must have arrived, before the port changes and is flushed.
constexpr auto BeforeRateSwitch = 20ms;
constexpr auto AfterRateSwitch = 5ms;

QByteArray bytesOf(const auto &array)
{
    return QByteArray(reinterpret_cast<const char *>(array.data()), static_cast<qsizetype>(array.size()));
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
    m_condition = Condition::Fresh;
    m_highRate = HighRate::Allowed;
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
    if (m_condition == Condition::Ready)
        m_condition = Condition::Fresh;
    m_line.mode = Mode::Unknown;
    m_baud = ka7700::PowerUpBaud; // the port opens at it again
}

bool SerialLink::ready()
{
    if (!m_opened)
        return false;
    if (!m_port->isOpen()) {
        if (m_port->open(m_path) != OpenResult::Opened)
            return false;
        if (m_condition == Condition::Ready)
            m_condition = Condition::Fresh;
    }
    return m_condition == Condition::Ready || initialise();
}

bool SerialLink::initialise()
{
    for (int attempt = 0; attempt < DetectAttempts; ++attempt) {
        bool found = detect();
        if (found && m_highRate != HighRate::Refused && m_wantedBaud != ka7700::PowerUpBaud
            && !switchRate()) {
            // A rate that does not work never costs the session: back to 9600 until it ends.
            m_highRate = HighRate::Refused;
            m_condition = Condition::Lost;
            found = detect();
        }
        if (found) {
            m_condition = Condition::Ready;
            return true;
        }
        m_condition = Condition::Lost;
        if (m_port->lost()) {
            m_port->close();
            return false;
        }
    }
    return false;
}

bool SerialLink::detect()
{
    m_line.mode = Mode::Unknown;
    if (m_line.pulse == Pulse::On)
        m_line.pulse = Pulse::Off;
    m_armed = false;
    m_busShorted = false;
    return resetAdapter() && probeAdapter();
}

bool SerialLink::resetAdapter()
{
    if (m_condition == Condition::Lost) {
        // Leave data mode, end a pull-up and stop the accelerator by bytes as well, for a line that
        // does not carry the break.
        QByteArray resync;
        if (m_line.pulse == Pulse::Unknown)
            resync += static_cast<char>(ka7700::EndPulse);
        resync += static_cast<char>(ka7700::CommandMode);
        resync += static_cast<char>(ka7700::EndPulse);
        resync += static_cast<char>(ka7700::AcceleratorOff);
        if (!m_port->write(resync))
            return false;
        m_port->pause(AfterResync);
    }
    m_line.pulse = Pulse::Off;
    m_port->setBaudRate(ka7700::PowerUpBaud);
    m_baud = ka7700::PowerUpBaud;
    m_port->setBreak(true);
    m_port->pause(BreakTime);
    m_port->setBreak(false);
    if (m_rateUnsure) {
        // Not every line carries the break (a pseudo-terminal does not): a 00 at 4800 baud is a master
        // reset at whatever rate the adapter is.
        m_port->setBaudRate(ka7700::ResetByteBaud);
        m_port->write(QByteArray(1, static_cast<char>(ka7700::ResetByte)));
        m_port->drain();
        m_port->setBaudRate(ka7700::PowerUpBaud);
    }
    m_port->pause(AfterBreak);
    m_port->clearInput();
    if (!m_port->write(QByteArray(1, static_cast<char>(ka7700::TimingByte))))
        return false;
    m_port->pause(AfterTimingByte);
    return true;
}

bool SerialLink::probeAdapter()
{
    Request setup;
    for (const uint8_t byte : ka7700::DetectRequest)
        setup.add(byte, Answer::One);
    const auto setupAnswer = exchange(setup);
    const QByteArray expected = bytesOf(ka7700::DetectAnswer);
    if (!setupAnswer)
        return false;
    // Only the probe bit reading 0 may still be an adapter, on a bus held low: its reset tells.
    const bool probeReadLow = setupAnswer->chopped(1) == expected.chopped(1)
        && static_cast<uint8_t>(setupAnswer->back()) == (static_cast<uint8_t>(expected.back()) & 0xFC);
    if (*setupAnswer != expected && !probeReadLow)
        return false;

    Request reset;
    reset.add(ka7700::Reset, Answer::One);
    const auto resetSent = Port::Clock::now();
    const auto resetAnswer = exchange(reset);
    m_roundTrip = std::chrono::ceil<std::chrono::milliseconds>(Port::Clock::now() - resetSent);
    if (!resetAnswer || !ka7700::isResetAnswer(static_cast<uint8_t>(resetAnswer->at(0))))
        return false;
    if (probeReadLow) {
        m_busShorted
            = ka7700::resetResult(static_cast<uint8_t>(resetAnswer->at(0))) == onewire::ResetResult::Short;
        return false;
    }
    m_line.mode = Mode::Command;
    m_rateUnsure = false;
    return true;
}

bool SerialLink::switchRate()
{
    const auto code = ka7700::baudCode(m_wantedBaud);
    if (!code)
        return false;
    // The adapter answers the rate write at the new rate already: garbage to the port, flushed below.
    m_port->clearInput();
    m_rateUnsure = true;
    if (!m_port->write(QByteArray(1, static_cast<char>(ka7700::baudWrite(*code)))))
        return false;
    m_port->drain();
    // Its answer comes back sooner than a reset's did, so behind a bridge that holds answers back it
    // has arrived, and is flushed, after that long.
    m_port->pause(BeforeRateSwitch + m_roundTrip);
    if (!m_port->setBaudRate(m_wantedBaud))
        return false;
    m_baud = m_wantedBaud;
    m_port->pause(AfterRateSwitch);

    Request readBack;
    readBack.add(ka7700::ReadBaud, Answer::One);
    const auto rate = exchange(readBack);
    if (!rate || static_cast<uint8_t>(rate->at(0)) != ka7700::baudReadBack(*code))
        return false;
    Request reset;
    reset.add(ka7700::Reset, Answer::One);
    const auto resetAnswer = exchange(reset);
    return resetAnswer && ka7700::isResetAnswer(static_cast<uint8_t>(resetAnswer->at(0)));
}

} // namespace serial
