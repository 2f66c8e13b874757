// Serial traffic of the sensor exchanges on the KA7700 driver, and the time of a reading and of
// discovery at 9600 and 115200 baud behind 0, 1 and 16 ms of bridge latency, against the emulated
// adapter on a pseudo-terminal.
#include "bench/ConvertAll.h"
#include "bus/XWBUSLIB.h"
#include "bus/modKX4136.h"
#include "common/SimulatedTime.h"
#include "driver/serial/QtPort.h"
#include "driver/serial/SerialDriver.h"
#include "driver/sim/SimulatedDriver.h"
#include "tools/ka7700-emulator/PtyEmulator.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <thread>

using namespace modKX4136;
using namespace std::chrono_literals;
using std::chrono::microseconds;

namespace {

constexpr microseconds ByteTime9600 {1042};

// Bytes each way and answered requests; the bound is the time the bytes alone need when every
// request waits for its answers before the next goes out.
struct Traffic
{
    microseconds byteTime {0};
    int64_t sent = 0;
    int64_t answered = 0;
    int64_t roundTrips = 0;
    microseconds bound {0};
    int64_t unanswered = 0; // sent since the last read
};

class CountingPort : public serial::Port
{
public:
    explicit CountingPort(std::shared_ptr<Traffic> traffic)
        : m_traffic(std::move(traffic))
    { }

    serial::OpenResult open(const QString &path) override { return m_port.open(path); }
    void close() override { m_port.close(); }
    bool isOpen() const override { return m_port.isOpen(); }
    bool lost() const override { return m_port.lost(); }
    bool setBaudRate(int baud) override { return m_port.setBaudRate(baud); }
    bool setBreak(bool on) override { return m_port.setBreak(on); }
    void pause(std::chrono::milliseconds duration) override { m_port.pause(duration); }
    bool hasInput() override { return m_port.hasInput(); }
    void clearInput() override { m_port.clearInput(); }

    bool write(const QByteArray &bytes) override
    {
        m_traffic->sent += bytes.size();
        m_traffic->unanswered += bytes.size();
        return m_port.write(bytes);
    }
    QByteArray read(int count, Clock::time_point deadline) override
    {
        const QByteArray got = m_port.read(count, deadline);
        m_traffic->answered += got.size();
        // A read straight after another one, for what has come with it, is no new round trip.
        m_traffic->roundTrips += m_traffic->unanswered > 0 ? 1 : 0;
        m_traffic->bound += m_traffic->byteTime * (m_traffic->unanswered + got.size());
        m_traffic->unanswered = 0;
        return got;
    }

private:
    std::shared_ptr<Traffic> m_traffic;
    serial::QtPort m_port;
};

class DiscardedList : public LineList
{
public:
    void clear() override { }
    void addItem(const QString &line) override { benchmark::DoNotOptimize(line.size()); }
};

// A session through the serial driver on `sensors` emulated KX4136. Waits move the bus clock past a
// whole conversion instead of blocking, so a zero conversion wait still reads a finished conversion.
class EmulatedSession
{
public:
    EmulatedSession(int sensors, emulator::Timing timing, int baud = 9600)
        : time(testsupport::SimulatedTime::Events::Simulated, 1s)
        , traffic(std::make_shared<Traffic>())
        , adapter(sim::uniformConfiguration(sensors, time.clock).ports.at(1).bus, {}, timing)
    {
        const microseconds byteTime = timing.realTime ? microseconds(10'000'000 / baud) : timing.byteTime;
        time.shortestWait = 750ms;
        if (!adapter.open())
            return;
        adapter.start();
        XWBUSLIB::Install(serial::makeSerialDriver(
            {{1, adapter.slavePath()}},
            [counted = traffic] { return std::make_unique<CountingPort>(counted); }, baud));
        PortNum = 1;
        PortType = xw::PortTypeKA7700;
        OneWireDelay = 0;
        DiscardedList list;
        ok = StartSession() && DetectSensors(list) == 0 && LastSensor + 1 == sensors
            && adapter.locked([](sim::SimBus &, emulator::LineDriver &line) { return line.baudRate(); })
                == baud;
        *traffic = Traffic {byteTime};
        busTimeAtStart = busTime();
    }

    microseconds busTime()
    {
        return adapter.locked([](sim::SimBus &, emulator::LineDriver &line) { return line.busTime(); });
    }

    // The session ends here, while the adapter still answers: it goes before the time does.
    ~EmulatedSession()
    {
        EndSession();
        XWBUSLIB::Install(nullptr);
    }

    testsupport::SimulatedTime time;
    std::shared_ptr<Traffic> traffic;
    emulator::PtyEmulator adapter;
    bool ok = false;
    microseconds busTimeAtStart {0};
};

void report(benchmark::State &state, const Traffic &traffic, double per)
{
    using benchmark::Counter;
    state.counters["sent"] = Counter(static_cast<double>(traffic.sent) / per);
    state.counters["answered"] = Counter(static_cast<double>(traffic.answered) / per);
    state.counters["round_trips"] = Counter(static_cast<double>(traffic.roundTrips) / per);
}

void TrafficPerReading(benchmark::State &state)
{
    EmulatedSession session(1, {});
    if (!session.ok) {
        state.SkipWithError("no emulated sensor");
        return;
    }
    for (auto _ : state) {
        if (!ReadTemperature(0)) {
            state.SkipWithError("reading failed");
            break;
        }
    }
    report(state, *session.traffic, static_cast<double>(state.iterations()));
}
BENCHMARK(TrafficPerReading)->Unit(benchmark::kMicrosecond);

// What DetectSensors costs per device found: the search and the resolution read of each.
void TrafficPerDeviceFound(benchmark::State &state)
{
    const int sensors = static_cast<int>(state.range(0));
    EmulatedSession session(sensors, {});
    if (!session.ok) {
        state.SkipWithError("detection failed");
        return;
    }
    DiscardedList list;
    for (auto _ : state) {
        if (DetectSensors(list) != 0 || LastSensor + 1 != sensors) {
            state.SkipWithError("detection failed");
            break;
        }
    }
    report(state, *session.traffic, static_cast<double>(state.iterations()) * sensors);
}
BENCHMARK(TrafficPerDeviceFound)->Arg(3)->Arg(32)->Unit(benchmark::kMillisecond);

// The bus search alone (XwFirst, XwNext), per device found.
void SearchTrafficPerDevice(benchmark::State &state)
{
    const int sensors = static_cast<int>(state.range(0));
    EmulatedSession session(sensors, {});
    if (!session.ok) {
        state.SkipWithError("detection failed");
        return;
    }
    for (auto _ : state) {
        int found = 0;
        for (int16_t more = XWBUSLIB::XwFirst(SessionHandle, StateBuffer.data()); more == 1;
             more = XWBUSLIB::XwNext(SessionHandle, StateBuffer.data()))
            ++found;
        if (found != sensors) {
            state.SkipWithError("search failed");
            break;
        }
    }
    report(state, *session.traffic, static_cast<double>(state.iterations()) * sensors);
}
BENCHMARK(SearchTrafficPerDevice)->Arg(3)->Arg(32)->Unit(benchmark::kMillisecond);

// Reads sensor 0 once per iteration; the wall time they took.
std::chrono::steady_clock::duration timeReadings(benchmark::State &state)
{
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!ReadTemperature(0)) {
            state.SkipWithError("reading failed");
            break;
        }
    }
    return std::chrono::steady_clock::now() - start;
}

// One reading with the adapter's bytes taking their time at 9600 baud, against the bound.
void ReadingAt9600(benchmark::State &state)
{
    EmulatedSession session(1, {ByteTime9600, 0ms});
    if (!session.ok) {
        state.SkipWithError("no emulated sensor");
        return;
    }
    const auto elapsed = timeReadings(state);
    const Traffic &traffic = *session.traffic;
    const double readings = static_cast<double>(state.iterations());
    report(state, traffic, readings);
    state.counters["bound_ms"] = static_cast<double>(traffic.bound.count()) / 1000.0 / readings;
    state.counters["to_bound"] = std::chrono::duration<double>(elapsed) / traffic.bound;
}
BENCHMARK(ReadingAt9600)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The emulator keeps true time at the rate the driver switched to; arguments: rate, bridge latency in ms.
// The bound is what the bytes (sent and answered, one after another) and the 1-Wire time alone need.
void reportRealTime(benchmark::State &state, EmulatedSession &session,
    std::chrono::steady_clock::duration elapsed, double per)
{
    const Traffic &traffic = *session.traffic;
    report(state, traffic, per);
    const auto bound
        = traffic.byteTime * (traffic.sent + traffic.answered) + session.busTime() - session.busTimeAtStart;
    state.counters["ms"] = std::chrono::duration<double, std::milli>(elapsed).count() / per;
    state.counters["bound_ms"] = static_cast<double>(bound.count()) / 1000.0 / per;
}

void ReadingRealTime(benchmark::State &state)
{
    const int baud = static_cast<int>(state.range(0));
    EmulatedSession session(1, {0us, std::chrono::milliseconds(state.range(1)), true}, baud);
    if (!session.ok) {
        state.SkipWithError("no emulated sensor at this rate");
        return;
    }
    const auto elapsed = timeReadings(state);
    reportRealTime(state, session, elapsed, static_cast<double>(state.iterations()));
}
BENCHMARK(ReadingRealTime)
    ->ArgsProduct({{9600, 115200}, {0, 1, 16}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

// Discovery of 32 sensors, per device found: the search passes and the resolution read of each.
void DiscoveryRealTime(benchmark::State &state)
{
    constexpr int Sensors = 32;
    const int baud = static_cast<int>(state.range(0));
    EmulatedSession session(Sensors, {0us, std::chrono::milliseconds(state.range(1)), true}, baud);
    if (!session.ok) {
        state.SkipWithError("detection failed at this rate");
        return;
    }
    DiscardedList list;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (DetectSensors(list) != 0 || LastSensor + 1 != Sensors) {
            state.SkipWithError("detection failed");
            break;
        }
    }
    reportRealTime(state, session, std::chrono::steady_clock::now() - start,
        static_cast<double>(state.iterations()) * Sensors);
}
BENCHMARK(DiscoveryRealTime)
    ->ArgsProduct({{9600, 115200}, {0, 1, 16}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// A session on `sensors` 12-bit KX4136 behind the emulator in true time: its bus runs on the steady
// clock and every wait is a real one, so a cycle takes what it would on the hardware.
class RealTimeSession
{
public:
    RealTimeSession(int sensors, int baud, std::chrono::milliseconds latency)
        : adapter(sim::uniformConfiguration(sensors, std::make_shared<sim::SteadyClock>()).ports.at(1).bus,
            {}, {0us, latency, true})
    {
        resetModuleState();
        if (!adapter.open())
            return;
        adapter.start();
        XWBUSLIB::Install(serial::makeSerialDriver({{1, adapter.slavePath()}}, baud));
        PortNum = 1;
        PortType = xw::PortTypeKA7700;
        OneWireDelay = 750;
        DiscardedList list;
        if (StartSession())
            found = discover(list);
        ok = found.result == 0 && LastSensor + 1 == sensors;
    }
    ~RealTimeSession()
    {
        EndSession();
        XWBUSLIB::Install(nullptr);
        resetModuleState();
    }

    emulator::PtyEmulator adapter;
    Discovery found;
    bool ok = false;
};

// One whole cycle per iteration; arguments: all at once (1) or sensor by sensor (0), sensors, rate,
// bridge latency in ms. The sensor-by-sensor cycle is the system's own: convert, wait, read, per sensor.
void CycleRealTime(benchmark::State &state)
{
    const bool allAtOnce = state.range(0) != 0;
    RealTimeSession session(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)),
        std::chrono::milliseconds(state.range(3)));
    if (!session.ok) {
        state.SkipWithError("detection failed");
        return;
    }
    int failed = 0;
    for (auto _ : state) {
        if (allAtOnce) {
            failed += bench::convertAllAndRead(true, session.found) ? 0 : 1;
            continue;
        }
        for (int16_t index = 0; index <= LastSensor; ++index)
            failed += ReadTemperature(index) ? 0 : 1;
    }
    state.counters["failed"] = failed;
    state.counters["overruns"] = session.adapter.overruns();
}
BENCHMARK(CycleRealTime)
    ->ArgsProduct({{1, 0}, {1, 8, 32}, {9600, 115200}, {0, 1, 16}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv); // the serial port wants an application object
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
