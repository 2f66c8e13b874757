// One switchable fault: off, on until switched off, or on for the next few occurrences only.
#pragma once

namespace sim {

class FaultSwitch
{
public:
    void on() { remaining_ = Always; }
    void times(int occurrences) { remaining_ = occurrences > 0 ? occurrences : 0; }
    void off() { remaining_ = 0; }
    bool isOn() const { return remaining_ != 0; }

    // Asked where the fault could strike; true when it does, using up one occurrence.
    bool fire()
    {
        if (remaining_ == 0) {
            return false;
        }
        if (remaining_ > 0) {
            --remaining_;
        }
        return true;
    }

private:
    static constexpr int Always = -1;
    int remaining_ = 0;
};

} // namespace sim
