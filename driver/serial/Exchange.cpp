// A request out to the KA7700 adapter and its answers back, paced for the adapter's one-byte hold.
#include "driver/serial/Exchange.h"

#include "driver/serial/Ka7700.h"

#include <algorithm>

using namespace std::chrono_literals;

namespace serial {

namespace {

constexpr auto ReplyBase = 50ms;
constexpr auto ReplyPerByte = 2ms; // a byte takes about 1 ms each way at 9600 baud

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
        got += port.read(request.answers() - static_cast<int>(answer.size()) - 1, Port::Clock::now());
        for (const char byte : got) {
            if (taken == sent)
                return false; // an answer to nothing sent: they no longer line up
            answer += byte;
            ++taken;
            settle();
        }
    }
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
    const bool sent = baud > ka7700::PowerUpBaud ? exchangePaced(port, request, answer)
                                                 : exchangeWhole(port, request, answer);
    if (!sent || answer.size() != request.answers())
        return std::nullopt;
    // One byte more than asked for means the answers no longer line up with the requests, unless it
    // repeats the pulse-end byte, as some adapters do.
    if (port.hasInput()) {
        const QByteArray surplus
            = port.read(static_cast<int>(request.bytes().size()) + request.answers(), Port::Clock::now());
        const bool repeatedPulseEnd = request.endsPulse()
            && std::all_of(surplus.cbegin(), surplus.cend(),
                [](char b) { return ka7700::isPulseEnd(static_cast<uint8_t>(b)); });
        if (!repeatedPulseEnd || port.hasInput())
            return std::nullopt;
    }
    if (request.endsPulse()) {
        if (!ka7700::isPulseEnd(static_cast<uint8_t>(answer.at(0))))
            return std::nullopt;
        answer.remove(0, 1);
    }
    return answer;
}

} // namespace serial
