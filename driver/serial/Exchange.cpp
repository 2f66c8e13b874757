// A request out to the KA7700 adapter and its answers back, paced for the adapter's one-byte hold.
#include "driver/serial/Exchange.h"

#include "driver/serial/Ka7700.h"

#include <algorithm>

using namespace std::chrono_literals;

namespace serial {

namespace {

constexpr auto ReplyBase = 50ms;
constexpr auto ReplyPerByte = 2ms; // a byte takes about 1 ms each way at 9600 baud
// What the line driver spends on a data byte: eight slots at flexible speed, 70 us each.
constexpr auto DataByteWork = 8 * 70us;
// For the host's timer and the time a write takes to leave.
constexpr auto StreamMargin = 250us;

// The line driver holds one byte while it works on another and loses a third; faster than 9600 baud
// that happens, so no byte goes out more than one ahead of the one being worked on. A byte without an
// answer is taken at once when nothing is waiting before it.
bool exchangePaced(Port &port, const Request &request, QByteArray &answer)
{
    const qsizetype total = request.bytes().size();
    qsizetype sent = 0;
    qsizetype taken = 0; // bytes the line driver is known to be done with
    const auto settle = [&] {
        while (taken < sent && !request.answered(taken))
            ++taken;
    };
    for (;;) {
        const qsizetype from = sent;
        while (sent < total && sent - taken < 2) {
            ++sent;
            settle();
        }
        if (sent > from && !port.write(request.bytes().mid(from, sent - from)))
            return false;
        if (answer.size() == request.answers())
            return true;
        const auto deadline = Port::Clock::now() + ReplyBase + ReplyPerByte * 2 * (sent - taken);
        QByteArray got = port.read(1, deadline);
        if (got.isEmpty())
            return false;
        got += port.read(request.answers() - int(answer.size()) - 1, Port::Clock::now());
        for (const char byte : got) {
            if (taken == sent)
                return false; // an answer to nothing sent: they no longer line up
            answer += byte;
            ++taken;
            settle();
        }
    }
}

// Data bytes alone cost the line driver the same known time each, so faster than 9600 baud they can go
// out spaced by that time instead of by their answers: it never holds more than one, and the whole
// request costs one round trip however long the line's answers take. The first two go at once, the
// second held while the first is worked on; a byte without an answer goes with the one after it.
bool exchangeStreamed(Port &port, const Request &request, int baud, QByteArray &answer)
{
    const auto spacing = DataByteWork + std::chrono::microseconds(10'000'000 / baud) + StreamMargin;
    const QByteArray &bytes = request.bytes();
    auto due = Port::Clock::time_point::min();
    int answered = 0;
    for (qsizetype from = 0; from < bytes.size();) {
        qsizetype to = from;
        while (to < bytes.size() && !request.answered(to))
            ++to;
        to = std::min(to + 1, bytes.size());
        if (const auto now = Port::Clock::now(); due > now)
            port.pause(std::chrono::ceil<std::chrono::microseconds>(due - now));
        if (!port.write(bytes.mid(from, to - from)))
            return false;
        if (++answered >= 2)
            due = Port::Clock::now() + spacing;
        from = to;
    }
    const auto deadline = Port::Clock::now() + ReplyBase + ReplyPerByte * request.answers();
    answer = port.read(request.answers(), deadline);
    return true;
}

// At 9600 baud a byte takes longer to arrive than the line driver needs for it: all go at once.
bool exchangeWhole(Port &port, const Request &request, QByteArray &answer)
{
    if (!port.write(request.bytes()))
        return false;
    const auto deadline
        = Port::Clock::now() + ReplyBase + ReplyPerByte * (request.bytes().size() + request.answers());
    answer = port.read(request.answers(), deadline);
    return true;
}

} // namespace

std::optional<QByteArray> exchange(Port &port, const Request &request, int baud)
{
    port.clearInput();
    QByteArray answer;
    bool sent = false;
    if (baud <= ka7700::PowerUpBaud)
        sent = exchangeWhole(port, request, answer);
    else if (request.dataOnly())
        sent = exchangeStreamed(port, request, baud, answer);
    else
        sent = exchangePaced(port, request, answer);
    if (!sent || answer.size() != request.answers())
        return std::nullopt;
    // One byte more than asked for means the answers no longer line up with the requests, unless it
    // repeats the pulse-end byte, as some adapters do.
    if (port.hasInput()) {
        const QByteArray surplus = port.read(request.bytes().size() + request.answers(), Port::Clock::now());
        const bool repeatedPulseEnd = request.endsPulse()
            && std::all_of(
                surplus.cbegin(), surplus.cend(), [](char b) { return ka7700::isPulseEnd(uint8_t(b)); });
        if (!repeatedPulseEnd || port.hasInput())
            return std::nullopt;
    }
    if (request.endsPulse()) {
        if (!ka7700::isPulseEnd(uint8_t(answer.at(0))))
            return std::nullopt;
        answer.remove(0, 1);
    }
    return answer;
}

} // namespace serial
