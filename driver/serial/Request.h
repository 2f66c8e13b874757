// One request to the KA7700 adapter: its bytes, which of them are answered, and the mode and pulse
// prefixes they need, built against what the host knows of the adapter's state.
#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

namespace serial {

enum class Mode { Command, Data, Unknown };

enum class Pulse {
    Off,
    On, // a strong pull-up runs until F1
    Unknown, // one may have started during a call that failed
};

// What the line driver is doing between requests, as far as the host knows.
struct LineState
{
    Mode mode = Mode::Unknown;
    Pulse pulse = Pulse::Off;
};

enum class Answer { None, One };

class Request
{
public:
    // A request built against `line`: the mode switches and the pulse end it needs go in first and
    // `line` follows them as they are added.
    explicit Request(LineState &line)
        : m_line(&line)
    { }
    // A request sent as it is, for the start-up, where the adapter's state is set anew.
    Request() = default;

    // A byte as it is, without switching mode.
    void add(uint8_t byte, Answer answer);
    // A command byte, after the switch to command mode.
    void command(uint8_t byte, Answer answer);
    // A data byte (escaped where it is the mode switch), after the switch to data mode; always answered.
    void data(uint8_t byte);
    // Only the switch to command mode, and the end of a running pull-up.
    void toCommand();

    const QByteArray &bytes() const { return m_bytes; }
    bool answered(qsizetype index) const { return m_answered[index]; }
    int answers() const { return m_answers; }
    // The first answer is the pulse-end byte of a pull-up still running.
    bool endsPulse() const { return m_endsPulse; }

private:
    void toData();

    LineState *m_line = nullptr;
    QByteArray m_bytes;
    QList<bool> m_answered; // per byte
    int m_answers = 0;
    bool m_endsPulse = false;
};

} // namespace serial
