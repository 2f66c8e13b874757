// A scripted fake driver that records every Xw call with its arguments, for exact call-sequence tests.
#pragma once

#include "driver/XwDriver.h"

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

namespace testsupport {

enum class Op {
    ExtendedStartSession,
    Setup,
    EndSession,
    First,
    Next,
    Rom,
    Access,
    TouchByte,
    TouchReset,
    OneWireLevel,
    Block, // args: the session, then the bytes sent
    Note, // not a driver call: a test's marker between calls (a wait, a lamp change ...)
};

using RomCode = std::array<int16_t, 8>;

struct Call
{
    Op op = Op::Note;
    // The integer arguments in order: the session first (for all but XwExtendedStartSession), then
    // the rest; XwRom adds the value of cell 0 of the ROM buffer as the caller handed it.
    std::vector<int32_t> args;
    // The state buffer handed to XwFirst, XwNext, XwRom, XwAccess (nullptr for the others).
    const uint8_t *stateBuffer = nullptr;
    QString note;

    // "XwTouchByte(7, 85)": the operation's name and its integer arguments in decimal; a note as it is.
    QString text() const;
};

// Results come from a queue per operation while it holds any, then from the operation's default.
// Defaults: XwExtendedStartSession gives DefaultHandle, XwTouchReset gives 1, XwFirst and XwNext
// give 0 (empty bus), every other operation gives 1. XwRom, when it gives 1, delivers the next code
// of romCodes (all zero once they run out). XwTouchByte answers from touchByteAt (by the number of
// the XwTouchByte call, counting from 0 since the last clearCalls), else a read slot (0xFF sent) takes the
// next of readBytes (0xFF once they run out), else the byte sent echoes back.
class RecordingDriver : public xw::XwDriver
{
public:
    static constexpr int32_t DefaultHandle = 7;

    std::vector<Call> calls;
    std::map<Op, std::deque<int32_t>> results;
    std::map<Op, int32_t> defaults;
    std::deque<RomCode> romCodes;
    std::map<std::size_t, int16_t> touchByteAt;
    std::deque<int16_t> readBytes;

    // Puts a marker into the call list, so the order of calls around other events can be checked.
    void note(const QString &text);
    // Forgets the calls made so far (the script stays).
    void clearCalls();

    // Queues results for one operation, after those already queued.
    void push(Op op, std::initializer_list<int32_t> values);
    // Queues the nine scratchpad bytes a read-scratchpad answers with.
    void pushScratchpad(const std::array<int16_t, 9> &bytes);

    QStringList texts() const;
    // The calls of one operation only.
    std::vector<Call> callsOf(Op op) const;

    int32_t XwExtendedStartSession(int16_t portNum, int16_t portType, int32_t options) override;
    int16_t XwSetup(int32_t session) override;
    int16_t XwEndSession(int32_t session) override;
    int16_t XwFirst(int32_t session, uint8_t *stateBuffer) override;
    int16_t XwNext(int32_t session, uint8_t *stateBuffer) override;
    int16_t XwRom(int32_t session, uint8_t *stateBuffer, int16_t *romBuffer) override;
    int16_t XwAccess(int32_t session, uint8_t *stateBuffer) override;
    int16_t XwTouchByte(int32_t session, int16_t byte) override;
    int16_t XwTouchReset(int32_t session) override;
    int16_t XwOneWireLevel(int32_t session, int16_t operation, int16_t level, int16_t prime) override;
    // Gives the queued result (1 by default); each byte then comes back as from XwTouchByte's read slots.
    int16_t XwBlock(int32_t session, const uint8_t *out, uint8_t *in, int16_t length) override;

private:
    void record(Op op, std::vector<int32_t> args, const uint8_t *stateBuffer = nullptr);
    int32_t answer(Op op);
    std::size_t touchCount = 0;
};

// Eight data bytes completed with their CRC-8 as the ninth.
std::array<int16_t, 9> withCrc(const std::array<uint8_t, 8> &bytes);

// A ROM code from family and six serial bytes, completed with its CRC-8.
RomCode romWithCrc(uint8_t family, const std::array<uint8_t, 6> &serial);

} // namespace testsupport
