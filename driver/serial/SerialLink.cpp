// The KA7700 serial adapter as a 1-Wire link: what each primitive operation sends and accepts.
#include "driver/serial/SerialLink.h"

#include "driver/serial/Exchange.h"
#include "driver/serial/Ka7700.h"

#include <algorithm>

namespace serial {

SerialLink::SerialLink(std::unique_ptr<Port> port, QString path, int baud)
    : m_port(std::move(port))
    , m_path(std::move(path))
    , m_wantedBaud(baud)
{ }

SerialLink::~SerialLink()
{
    close();
}

template<class Valid> std::optional<uint8_t> SerialLink::oneAnswer(uint8_t command, Valid valid)
{
    if (!ready())
        return std::nullopt;
    Request request(m_line);
    request.command(command, Answer::One);
    const auto answer = exchange(request);
    if (!answer || !valid(static_cast<uint8_t>(answer->at(0)))) {
        fail();
        return std::nullopt;
    }
    return static_cast<uint8_t>(answer->at(0));
}

onewire::ResetResult SerialLink::reset()
{
    const auto answer = oneAnswer(ka7700::Reset, ka7700::isResetAnswer);
    return answer ? ka7700::resetResult(*answer) : onewire::ResetResult::IoError;
}

std::optional<bool> SerialLink::touchBit(bool bit)
{
    const uint8_t command = ka7700::bitCommand(bit, ka7700::AfterSlot::Nothing);
    const auto answer
        = oneAnswer(command, [command](uint8_t got) { return ka7700::isBitAnswer(command, got); });
    return answer ? std::optional<bool>((*answer & 1) != 0) : std::nullopt;
}

std::optional<uint8_t> SerialLink::touchByte(uint8_t byte)
{
    if (!ready())
        return std::nullopt;
    Request request(m_line);
    if (!m_armed) {
        request.data(byte);
        const auto answer = exchange(request);
        if (!answer) {
            fail();
            return std::nullopt;
        }
        return static_cast<uint8_t>(answer->at(0));
    }

    // The pull-up must follow the last slot at once, which only the single-bit command can promise.
    request.command(ka7700::PullUpInfinite, Answer::One);
    std::array<uint8_t, 8> commands {};
    for (int i = 0; i < 8; ++i) {
        commands[i] = ka7700::bitCommand(
            (byte >> i) & 1, i == 7 ? ka7700::AfterSlot::PullUp : ka7700::AfterSlot::Nothing);
        request.add(commands[i], Answer::One);
    }
    m_armed = false;
    m_line.pulse = Pulse::Unknown;
    const auto answer = exchange(request);
    bool valid = answer && static_cast<uint8_t>(answer->at(0)) == ka7700::configEcho(ka7700::PullUpInfinite);
    uint8_t value = 0;
    for (int i = 0; valid && i < 8; ++i) {
        const auto bitAnswer = static_cast<uint8_t>(answer->at(1 + i));
        valid = ka7700::isBitAnswer(commands[i], bitAnswer);
        value |= static_cast<uint8_t>((bitAnswer & 1) << i);
    }
    if (!valid) {
        fail();
        return std::nullopt;
    }
    m_line.pulse = Pulse::On;
    return value;
}

bool SerialLink::touchBlock(std::span<const uint8_t> out, std::span<uint8_t> in)
{
    if (m_armed)
        return onewire::Link::touchBlock(out, in);
    if (!ready())
        return false;
    if (out.empty())
        return true;
    Request request(m_line);
    for (const uint8_t byte : out)
        request.data(byte);
    const auto answer = exchange(request);
    if (!answer) {
        fail();
        return false;
    }
    std::copy(answer->cbegin(), answer->cend(), in.begin());
    return true;
}

bool SerialLink::setLevel(onewire::BusLevel level)
{
    if (!m_opened)
        return false;
    if (level == onewire::BusLevel::StrongPullUpAfterNextByte) {
        m_armed = true;
        return true;
    }
    m_armed = false;
    if (m_line.pulse != Pulse::On)
        return true;
    if (!ready())
        return false;
    Request request(m_line);
    request.toCommand();
    if (exchange(request))
        return true;
    fail();
    return false;
}

std::optional<onewire::SearchPass> SerialLink::searchPass(const std::array<bool, 64> &directions)
{
    if (!ready())
        return std::nullopt;
    Request request(m_line);
    request.command(ka7700::AcceleratorOn, Answer::None);
    for (uint8_t byte : ka7700::searchRequest(directions))
        request.data(byte);
    request.command(ka7700::AcceleratorOff, Answer::None);
    const auto answer = exchange(request);
    if (!answer) {
        fail();
        return std::nullopt;
    }
    std::array<uint8_t, 16> steps {};
    std::copy(answer->cbegin(), answer->cend(), steps.begin());
    return ka7700::decodeSearch(steps, directions);
}

void SerialLink::fail()
{
    if (m_baud != ka7700::PowerUpBaud && m_highRate != HighRate::Refused)
        m_highRate = m_highRate == HighRate::Allowed ? HighRate::FailedOnce : HighRate::Refused;
    m_line.mode = Mode::Unknown;
    if (m_line.pulse == Pulse::On)
        m_line.pulse = Pulse::Unknown;
    m_condition = Condition::Lost;
    m_armed = false;
    if (m_port->lost())
        m_port->close();
}

std::optional<QByteArray> SerialLink::exchange(const Request &request)
{
    auto answer = serial::exchange(*m_port, request, m_baud);
    if (answer && request.endsPulse())
        m_line.pulse = Pulse::Off;
    return answer;
}

} // namespace serial
