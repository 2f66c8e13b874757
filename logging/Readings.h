// Readings out: what run control tells those who show, chart or publish the readings.
#pragma once

#include <QDateTime>
#include <QList>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

namespace logging {

using RomCode = std::array<uint8_t, 8>;

// What the sensors file says of a sensor; both limits optional, in °C.
struct SensorLimits
{
    std::optional<double> low;
    std::optional<double> high;
    // How far back inside a limit a reading must come to leave its alarm, so one that hovers does not flap.
    double hysteresis = 0.5;
    bool any() const { return low || high; }
};
struct SensorSettings
{
    QString name; // empty: none, the program shows the ROM code or "Sensor #i"
    SensorLimits limits;
};

// A sensor's alarm state: in range (or without limits), past a limit, or "?" three cycles in a row.
enum class AlarmState { Ok, Low, High, NotAnswering };

// One change of a sensor's alarm state, told once in the cycle that made it.
struct AlarmChange
{
    int index = 0;
    RomCode rom {};
    QString name; // of the sensors file; empty: none
    AlarmState state = AlarmState::Ok; // the new one
    AlarmState previous = AlarmState::Ok;
    std::optional<float> celsius; // the reading that made the change; none for "not answering"
    std::optional<double> limit; // the limit passed (Low, High) or come back inside of (Ok after either)
    QDateTime when;
};

// A run that START has begun: the sensors it found, by index.
struct RunRecord
{
    QList<RomCode> roms;
    int32_t intervalMs = 0; // the reading interval the run took over
    QList<SensorSettings> settings {}; // by index, as roms: names and limits read at START
};

struct SensorReading
{
    int index = 0;
    RomCode rom {};
    std::optional<float> celsius; // none when the read failed
    SensorSettings settings {}; // as they were for this cycle (the window may change them during a run)
    AlarmState alarm = AlarmState::Ok; // after this cycle's reading
};

// A cycle that has read every sensor: its local time and what each sensor gave.
struct CycleRecord
{
    QDateTime when;
    QList<SensorReading> sensors;
    // How often the run's readings really come: the interval, or the longest cycle so far when longer.
    int32_t periodMs = 0;
    // How long this cycle's bus work took, without requests run inside it (a write, say).
    int32_t durationMs = 0;
    // The alarm states this cycle changed, in sensor order.
    QList<AlarmChange> alarmChanges {};
};

// Told on the window's thread: a listener must never hold it up.
class ReadingsListener
{
public:
    virtual ~ReadingsListener() = default;
    virtual void runStarted(const RunRecord &) { }
    virtual void cycleEnded(const CycleRecord &cycle) = 0;
    // STOP (or a START that began no run): no more cycles until the next runStarted.
    virtual void runStopped() { }
};

} // namespace logging
