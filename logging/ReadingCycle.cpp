// The reading cycle: every sensor read in turn, then the time, the reading list and the log's data line.
#include "logging/RunControl.h"

#include "bus/modKX4136.h"
#include "logging/TextFormats.h"
#include "wait/modMsgWait.h"

namespace logging {

void RunControl::cycleSteps()
{
    const int last = modKX4136::LastSensor;
    QStringList readings;
    for (int i = 0; i <= last; ++i) {
        view_.setLampColour(LampRed);
        modMsgWait::ProcessPendingEvents();
        // No transaction runs here, so what came in just now must not wait for this sensor's read.
        if (runHeld()) {
            if (ended_)
                return;
            view_.setLampColour(LampRed);
        }
        const auto index = static_cast<int16_t>(i);
        readings.append(
            modKX4136::ReadTemperature(index) ? readingText(modKX4136::GetTemperature()) : FailedReading);
        view_.setLampColour(LampGreen);
        // Between two sensors the bus is free: what the user asked for meanwhile runs now.
        runHeld();
        if (ended_)
            return;
    }
    view_.setLabel5Text(dateTimeText(clock_()));
    const QString when = dateTimeText(clock_());
    view_.clearList(ListBox::lstTemp);
    for (int i = 0; i <= last; ++i)
        view_.appendListLine(ListBox::lstTemp, sensorListLine(i, readings.at(i)));
    if (view_.check1State() != 0)
        log_.AppendLogLine(view_.text(TextField::Text5), LogDataLine(when, readings));
}

} // namespace logging
