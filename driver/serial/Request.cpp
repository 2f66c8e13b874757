// One request to the KA7700 adapter, with the mode switches and the pulse end it needs.
#include "driver/serial/Request.h"

#include "driver/serial/Ka7700.h"

namespace serial {

void Request::add(uint8_t byte, Answer answer)
{
    m_bytes += static_cast<char>(byte);
    m_answered += answer == Answer::One;
    m_answers += answer == Answer::One ? 1 : 0;
}

void Request::command(uint8_t byte, Answer answer)
{
    toCommand();
    add(byte, answer);
}

void Request::data(uint8_t byte)
{
    toData();
    if (byte == ka7700::CommandMode)
        add(byte, Answer::None);
    add(byte, Answer::One);
}

void Request::toCommand()
{
    if (m_line->mode == Mode::Data)
        add(ka7700::CommandMode, Answer::None);
    m_line->mode = Mode::Command;
    if (m_line->pulse == Pulse::On && !m_endsPulse) {
        // Only F1 may follow a running pull-up; its pulse-end byte comes first among the answers.
        add(ka7700::EndPulse, Answer::One);
        m_endsPulse = true;
    }
}

void Request::toData()
{
    if (m_line->pulse == Pulse::On && !m_endsPulse)
        toCommand();
    if (m_line->mode != Mode::Data)
        add(ka7700::DataMode, Answer::None);
    m_line->mode = Mode::Data;
}

} // namespace serial
