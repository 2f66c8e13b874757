// One switchable fault: off, on until switched off, or on for the next few occurrences only.
#pragma once

namespace sim {

class FaultSwitch
{
public:
    void on() { m_remaining = Always; }
    void times(int occurrences) { m_remaining = occurrences > 0 ? occurrences : 0; }
    void off() { m_remaining = 0; }

    // Asked where the fault could strike; true when it does, using up one occurrence.
    bool fire()
    {
        if (m_remaining == 0)
            return false;
        if (m_remaining > 0)
            --m_remaining;
        return true;
    }

private:
    static constexpr int Always = -1;
    int m_remaining = 0;
};

} // namespace sim
