// The scripted recording driver and the bit-by-bit CRC-8 used as the oracle of the tests.
#include "common/RecordingDriver.h"

#include "driver/onewire/Crc8.h"

namespace testsupport {

namespace {

const char *nameOf(Op op)
{
    switch (op) {
    case Op::ExtendedStartSession:
        return "XwExtendedStartSession";
    case Op::Setup:
        return "XwSetup";
    case Op::EndSession:
        return "XwEndSession";
    case Op::First:
        return "XwFirst";
    case Op::Next:
        return "XwNext";
    case Op::Rom:
        return "XwRom";
    case Op::Access:
        return "XwAccess";
    case Op::TouchByte:
        return "XwTouchByte";
    case Op::TouchReset:
        return "XwTouchReset";
    case Op::OneWireLevel:
        return "XwOneWireLevel";
    case Op::Block:
        return "XwBlock";
    case Op::Note:
        return "";
    }
    return "?";
}

int32_t defaultOf(Op op)
{
    switch (op) {
    case Op::ExtendedStartSession:
        return RecordingDriver::DefaultHandle;
    case Op::First:
    case Op::Next:
        return 0;
    default:
        return 1;
    }
}

} // namespace

QString Call::text() const
{
    if (op == Op::Note)
        return note;
    QStringList parts;
    for (const int32_t a : args)
        parts << QString::number(a);
    return QStringLiteral("%1(%2)").arg(QLatin1String(nameOf(op)), parts.join(QStringLiteral(", ")));
}

void RecordingDriver::note(const QString &text)
{
    record(Op::Note, {});
    calls.back().note = text;
}

void RecordingDriver::clearCalls()
{
    calls.clear();
    touchCount = 0;
}

void RecordingDriver::push(Op op, std::initializer_list<int32_t> values)
{
    auto &queue = results[op];
    queue.insert(queue.end(), values.begin(), values.end());
}

void RecordingDriver::pushScratchpad(const std::array<int16_t, 9> &bytes)
{
    readBytes.insert(readBytes.end(), bytes.begin(), bytes.end());
}

QStringList RecordingDriver::texts() const
{
    QStringList out;
    for (const Call &c : calls)
        out << c.text();
    return out;
}

std::vector<Call> RecordingDriver::callsOf(Op op) const
{
    std::vector<Call> out;
    for (const Call &c : calls)
        if (c.op == op)
            out.push_back(c);
    return out;
}

void RecordingDriver::record(Op op, std::vector<int32_t> args, const uint8_t *stateBuffer)
{
    Call call;
    call.op = op;
    call.args = std::move(args);
    call.stateBuffer = stateBuffer;
    calls.push_back(std::move(call));
}

int32_t RecordingDriver::answer(Op op)
{
    auto it = results.find(op);
    if (it != results.end() && !it->second.empty()) {
        const int32_t value = it->second.front();
        it->second.pop_front();
        return value;
    }
    const auto d = defaults.find(op);
    return d != defaults.end() ? d->second : defaultOf(op);
}

int32_t RecordingDriver::XwExtendedStartSession(int16_t portNum, int16_t portType, int32_t options)
{
    record(Op::ExtendedStartSession, {portNum, portType, options});
    return answer(Op::ExtendedStartSession);
}

int16_t RecordingDriver::XwSetup(int32_t session)
{
    record(Op::Setup, {session});
    return static_cast<int16_t>(answer(Op::Setup));
}

int16_t RecordingDriver::XwEndSession(int32_t session)
{
    record(Op::EndSession, {session});
    return static_cast<int16_t>(answer(Op::EndSession));
}

int16_t RecordingDriver::XwFirst(int32_t session, uint8_t *stateBuffer)
{
    record(Op::First, {session}, stateBuffer);
    return static_cast<int16_t>(answer(Op::First));
}

int16_t RecordingDriver::XwNext(int32_t session, uint8_t *stateBuffer)
{
    record(Op::Next, {session}, stateBuffer);
    return static_cast<int16_t>(answer(Op::Next));
}

int16_t RecordingDriver::XwRom(int32_t session, uint8_t *stateBuffer, int16_t *romBuffer)
{
    record(Op::Rom, {session, romBuffer[0]}, stateBuffer);
    const auto result = static_cast<int16_t>(answer(Op::Rom));
    if (result == 1) {
        RomCode code {};
        if (!romCodes.empty()) {
            code = romCodes.front();
            romCodes.pop_front();
        }
        std::copy(code.begin(), code.end(), romBuffer);
    }
    return result;
}

int16_t RecordingDriver::XwAccess(int32_t session, uint8_t *stateBuffer)
{
    record(Op::Access, {session}, stateBuffer);
    return static_cast<int16_t>(answer(Op::Access));
}

int16_t RecordingDriver::XwTouchByte(int32_t session, int16_t byte)
{
    record(Op::TouchByte, {session, byte});
    const std::size_t n = touchCount++;
    if (const auto it = touchByteAt.find(n); it != touchByteAt.end())
        return it->second;
    if (byte != 0xFF)
        return byte;
    if (readBytes.empty())
        return 0xFF;
    const int16_t value = readBytes.front();
    readBytes.pop_front();
    return value;
}

int16_t RecordingDriver::XwTouchReset(int32_t session)
{
    record(Op::TouchReset, {session});
    return static_cast<int16_t>(answer(Op::TouchReset));
}

int16_t RecordingDriver::XwOneWireLevel(int32_t session, int16_t operation, int16_t level, int16_t prime)
{
    record(Op::OneWireLevel, {session, operation, level, prime});
    return static_cast<int16_t>(answer(Op::OneWireLevel));
}

int16_t RecordingDriver::XwBlock(int32_t session, const uint8_t *out, uint8_t *in, int16_t length)
{
    record(Op::Block, {session});
    calls.back().args.insert(calls.back().args.end(), out, out + length);
    const auto result = static_cast<int16_t>(answer(Op::Block));
    for (int16_t i = 0; result == 1 && i < length; ++i) {
        const bool slot = out[i] == 0xFF && !readBytes.empty();
        in[i] = static_cast<uint8_t>(slot ? readBytes.front() : out[i]);
        if (slot)
            readBytes.pop_front();
    }
    return result;
}

std::array<int16_t, 9> withCrc(const std::array<uint8_t, 8> &bytes)
{
    std::array<int16_t, 9> out {};
    std::copy(bytes.begin(), bytes.end(), out.begin());
    out[8] = onewire::crc8(bytes);
    return out;
}

RomCode romWithCrc(uint8_t family, const std::array<uint8_t, 6> &serial)
{
    std::array<uint8_t, 7> head {family};
    std::copy(serial.begin(), serial.end(), head.begin() + 1);
    RomCode code {};
    std::copy(head.begin(), head.end(), code.begin());
    code[7] = onewire::crc8(head);
    return code;
}

} // namespace testsupport
