// Software time of the sensor exchanges on the simulated bus, with waits replaced by a clock advance.
#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "driver/sim/SimulatedDriver.h"
#include "wait/modMsgWait.h"

#include <benchmark/benchmark.h>

using namespace modKX4136;
using namespace std::chrono_literals;

namespace {

class DiscardedList : public LineList
{
public:
    void Clear() override { }
    void AddItem(const QString &line) override { benchmark::DoNotOptimize(line.size()); }
};

// A session on `sensors` simulated KX4136; every wait moves the manual clock instead of blocking, and
// by at least a full 12-bit conversion, so each read finds a finished conversion however short its wait.
class SimSession
{
public:
    explicit SimSession(int sensors)
        : clock(std::make_shared<sim::ManualClock>(1s))
    {
        ResetModuleState();
        XWBUSLIB::Install(std::make_shared<sim::SimulatedDriver>(sim::uniformConfiguration(sensors, clock)));
        modMsgWait::SetTickSource([this] {
            return static_cast<int32_t>(
                std::chrono::duration_cast<std::chrono::milliseconds>(clock->now()).count());
        });
        modMsgWait::SetPlatformWait([this](int32_t, const int32_t *, int32_t timeoutMs) {
            clock->advance(std::max(std::chrono::milliseconds(timeoutMs), std::chrono::milliseconds(750)));
            return modMsgWait::WaitTimedOut;
        });
        modMsgWait::SetEventPump([] {});
        PortNum = 1;
        PortType = 1;
        ok = StartSession();
    }

    ~SimSession()
    {
        EndSession();
        XWBUSLIB::Install(nullptr);
        modMsgWait::SetTickSource({});
        modMsgWait::SetPlatformWait({});
        modMsgWait::SetEventPump({});
    }

    std::shared_ptr<sim::ManualClock> clock;
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

} // namespace

BENCHMARK_MAIN();
