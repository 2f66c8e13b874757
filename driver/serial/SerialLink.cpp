// The KA7700 serial adapter as a 1-Wire link: what each primitive operation sends and accepts.
#include "driver/serial/SerialLink.h"

#include "driver/serial/Ka7700.h"

#include <algorithm>

using namespace std::chrono_literals;

namespace serial {

namespace {

constexpr auto ReplyBase = 50ms;
constexpr auto ReplyPerByte = 2ms; // a byte takes about 1 ms each way at 9600 baud

} // namespace

SerialLink::SerialLink(std::unique_ptr<Port> port, QString path, int baud)
    : m_port(std::move(port))
    , m_path(std::move(path))
    , m_wantedBaud(baud)
{ }

SerialLink::~SerialLink()
{
    close();
}

onewire::ResetResult SerialLink::reset()
{
    if (!ready())
        return onewire::ResetResult::IoError;
    Request request;
    toCommand(request);
    request.add(ka7700::Reset, true);
    const auto answer = exchange(request);
    if (!answer || !ka7700::isResetAnswer(uint8_t(answer->at(0)))) {
        fail();
        return onewire::ResetResult::IoError;
    }
    return ka7700::resetResult(uint8_t(answer->at(0)));
}

std::optional<bool> SerialLink::touchBit(bool bit)
{
    if (!ready())
        return std::nullopt;
    Request request;
    toCommand(request);
    const uint8_t command = ka7700::bitCommand(bit, false);
    request.add(command, true);
    const auto answer = exchange(request);
    if (!answer || !ka7700::isBitAnswer(command, uint8_t(answer->at(0)))) {
        fail();
        return std::nullopt;
    }
    return (answer->at(0) & 1) != 0;
}

std::optional<uint8_t> SerialLink::touchByte(uint8_t byte)
{
    if (!ready())
        return std::nullopt;
    Request request;
    if (!m_armed) {
        toData(request);
        appendData(request, byte);
        const auto answer = exchange(request);
        if (!answer) {
            fail();
            return std::nullopt;
        }
        return uint8_t(answer->at(0));
    }

    // The pull-up must follow the last slot at once, which only the single-bit command can promise.
    toCommand(request);
    request.add(ka7700::PullUpInfinite, true);
    std::array<uint8_t, 8> commands {};
    for (int i = 0; i < 8; ++i) {
        commands[i] = ka7700::bitCommand((byte >> i) & 1, i == 7);
        request.add(commands[i], true);
    }
    m_armed = false;
    m_pulseMaybeActive = true;
    const auto answer = exchange(request);
    bool valid = answer && uint8_t(answer->at(0)) == ka7700::configEcho(ka7700::PullUpInfinite);
    uint8_t value = 0;
    for (int i = 0; valid && i < 8; ++i) {
        const auto bitAnswer = uint8_t(answer->at(1 + i));
        valid = ka7700::isBitAnswer(commands[i], bitAnswer);
        value |= uint8_t((bitAnswer & 1) << i);
    }
    if (!valid) {
        fail();
        return std::nullopt;
    }
    m_pulseActive = true;
    m_pulseMaybeActive = false;
    return value;
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
    if (!m_pulseActive)
        return true;
    if (!ready())
        return false;
    Request request;
    toCommand(request);
    if (exchange(request))
        return true;
    fail();
    return false;
}

std::optional<onewire::SearchPass> SerialLink::searchPass(const std::array<bool, 64> &directions)
{
    if (!ready())
        return std::nullopt;
    Request request;
    toCommand(request);
    request.add(ka7700::AcceleratorOn, false);
    toData(request);
    for (uint8_t byte : ka7700::searchRequest(directions))
        appendData(request, byte);
    toCommand(request);
    request.add(ka7700::AcceleratorOff, false);
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
    if (m_baud != ka7700::PowerUpBaud && ++m_highRateFailures >= 2)
        m_highRateAllowed = false;
    m_mode = Mode::Unknown;
    m_needsInit = true;
    m_resync = true;
    m_armed = false;
    if (m_pulseActive)
        m_pulseMaybeActive = true;
    m_pulseActive = false;
    if (m_port->lost())
        m_port->close();
}

void SerialLink::toCommand(Request &request)
{
    if (m_mode == Mode::Data)
        request.add(ka7700::CommandMode, false);
    m_mode = Mode::Command;
    if (m_pulseActive && !request.endsPulse) {
        // Only F1 may follow a running pull-up; its pulse-end byte comes first among the answers.
        request.add(ka7700::EndPulse, true);
        request.endsPulse = true;
    }
}

void SerialLink::toData(Request &request)
{
    if (m_pulseActive && !request.endsPulse)
        toCommand(request);
    if (m_mode != Mode::Data)
        request.add(ka7700::DataMode, false);
    m_mode = Mode::Data;
}

void SerialLink::Request::add(uint8_t byte, bool answers)
{
    bytes += char(byte);
    answered += answers;
    this->answers += answers ? 1 : 0;
}

void SerialLink::appendData(Request &request, uint8_t byte)
{
    if (byte == ka7700::CommandMode)
        request.add(byte, false);
    request.add(byte, true);
}

std::optional<QByteArray> SerialLink::exchange(const Request &request)
{
    m_port->clearInput();
    QByteArray answer;
    if (m_baud > ka7700::PowerUpBaud) {
        if (!exchangePaced(request, answer))
            return std::nullopt;
    } else {
        // At 9600 baud a byte takes longer to arrive than the line driver needs for it: send at once.
        if (!m_port->write(request.bytes))
            return std::nullopt;
        const auto deadline
            = Port::Clock::now() + ReplyBase + ReplyPerByte * (request.bytes.size() + request.answers);
        answer = m_port->read(request.answers, deadline);
    }
    if (answer.size() != request.answers)
        return std::nullopt;
    // One byte more than asked for means the answers no longer line up with the requests, unless it
    // repeats the pulse-end byte, as some adapters do.
    if (m_port->hasInput()) {
        const QByteArray surplus = m_port->read(request.bytes.size() + request.answers, Port::Clock::now());
        const bool repeatedPulseEnd = request.endsPulse
            && std::all_of(
                surplus.cbegin(), surplus.cend(), [](char b) { return ka7700::isPulseEnd(uint8_t(b)); });
        if (!repeatedPulseEnd || m_port->hasInput())
            return std::nullopt;
    }
    if (request.endsPulse) {
        if (!ka7700::isPulseEnd(uint8_t(answer.at(0))))
            return std::nullopt;
        answer.remove(0, 1);
        m_pulseActive = false;
    }
    return answer;
}

// The line driver holds one byte while it works on another and loses a third; faster than 9600 baud
// that happens, so no byte goes out more than one ahead of the one being worked on. A byte without an
// answer is taken at once when nothing is waiting before it.
bool SerialLink::exchangePaced(const Request &request, QByteArray &answer)
{
    const qsizetype total = request.bytes.size();
    qsizetype sent = 0;
    qsizetype taken = 0; // bytes the line driver is known to be done with
    const auto settle = [&] {
        while (taken < sent && !request.answered[taken])
            ++taken;
    };
    for (;;) {
        const qsizetype from = sent;
        while (sent < total && sent - taken < 2) {
            ++sent;
            settle();
        }
        if (sent > from && !m_port->write(request.bytes.mid(from, sent - from)))
            return false;
        if (answer.size() == request.answers)
            return true;
        const auto deadline = Port::Clock::now() + ReplyBase + ReplyPerByte * 2 * (sent - taken);
        QByteArray got = m_port->read(1, deadline);
        if (got.isEmpty())
            return false;
        got += m_port->read(request.answers - int(answer.size()) - 1, Port::Clock::now());
        for (const char byte : got) {
            if (taken == sent)
                return false; // an answer to nothing sent: they no longer line up
            answer += byte;
            ++taken;
            settle();
        }
    }
}

} // namespace serial
