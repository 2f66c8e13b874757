// Software time of the sensor exchanges on the simulated bus, with waits replaced by a clock advance.
#include "bench/ConvertAll.h"
#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "common/SimulatedTime.h"
#include "driver/sim/SimulatedDriver.h"

#include <benchmark/benchmark.h>

using namespace modKX4136;
using namespace std::chrono_literals;

namespace {

class DiscardedList : public LineList
{
public:
    void clear() override { }
    void addItem(const QString &line) override { benchmark::DoNotOptimize(line.size()); }
};

// A session on `sensors` simulated KX4136; every wait moves the manual clock instead of blocking, and
// by at least a full 12-bit conversion, so each read finds a finished conversion however short its wait.
class SimSession
{
public:
    explicit SimSession(int sensors)
        : time(testsupport::SimulatedTime::Events::Simulated, 1s)
    {
        time.shortestWait = 750ms;
        XWBUSLIB::Install(
            std::make_shared<sim::SimulatedDriver>(sim::uniformConfiguration(sensors, time.clock)));
        PortNum = 1;
        PortType = 1;
        ok = StartSession();
    }

    testsupport::SimulatedTime time;
    bool ok = false;
};

void ReadTemperatureOnSim(benchmark::State &state)
{
    SimSession session(1);
    DiscardedList list;
    if (!session.ok || DetectSensors(list) != 0) {
        state.SkipWithError("no simulated sensor");
        return;
    }
    OneWireDelay = 0;
    for (auto _ : state) {
        if (!ReadTemperature(0)) {
            state.SkipWithError("reading failed");
            break;
        }
        benchmark::DoNotOptimize(GetTemperature());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ReadTemperatureOnSim)->Unit(benchmark::kMicrosecond);

void Enumerate32OnSim(benchmark::State &state)
{
    SimSession session(32);
    DiscardedList list;
    for (auto _ : state) {
        if (!session.ok || DetectSensors(list) != 0 || LastSensor != 31) {
            state.SkipWithError("enumeration failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * 32);
}
BENCHMARK(Enumerate32OnSim)->Unit(benchmark::kMicrosecond);

// One all-at-once cycle of 32 sensors: what it costs beyond the conversion itself (aim: under 50 ms).
void ConvertAll32OnSim(benchmark::State &state)
{
    SimSession session(32);
    DiscardedList list;
    const Discovery found = session.ok ? discover(list) : Discovery {};
    if (found.result != 0 || LastSensor != 31) {
        state.SkipWithError("enumeration failed");
        return;
    }
    const bool busPowered = AnyBusPowered();
    for (auto _ : state) {
        if (!bench::convertAllAndRead(busPowered, found)) {
            state.SkipWithError("a reading failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * 32);
}
BENCHMARK(ConvertAll32OnSim)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
