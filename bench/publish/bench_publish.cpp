// A reading cycle's time with publishing to a broker that never answers or is not there, against none.
#include "bus/XWBUSLIB.h"
#include "common/SimulatedTime.h"
#include "driver/sim/SimulatedDriver.h"
#include "logging/RunControl.h"
#include "publish/MqttPublisher.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <benchmark/benchmark.h>
#include <memory>

using namespace std::chrono_literals;

namespace {

enum Broker { NoPublishing, SilentBroker, NoBroker };

// The window as run control sees it: a run on COM port 1 without a log, and nothing shown.
class QuietView : public logging::MainView
{
public:
    QString text(logging::TextField field) const override
    {
        switch (field) {
        case logging::TextField::Text3:
            return QStringLiteral("5");
        case logging::TextField::Text4:
            return QStringLiteral("750");
        case logging::TextField::Text5:
            return QString();
        default:
            return QStringLiteral("1");
        }
    }
    int check1State() const override { return 0; }
    int comboResPosition() const override { return -1; }
    void setLampColour(int32_t) override { }
    void clearDevices() override { }
    void appendDeviceLine(const QString &) override { }
    void setControlEnabled(logging::Control, bool) override { }
    void setTimerEnabled(bool) override { }
    void setTimerInterval(int32_t) override { }
    void showMessage(const QString &) override { }
    void endProgram() override { }
};

// A port of 127.0.0.1 that takes connections and never answers (the kernel completes them), or one
// where nothing listens.
uint16_t brokerPort(Broker broker, QTcpServer &silent)
{
    silent.listen(QHostAddress::LocalHost, 0);
    const uint16_t port = silent.serverPort();
    if (broker == NoBroker)
        silent.close();
    return port;
}

// Eight sensors on the simulated bus; every wait moves the simulated clock instead of blocking.
void ReadingCycle(benchmark::State &state)
{
    const auto broker = static_cast<Broker>(state.range(0));
    testsupport::SimulatedTime time(testsupport::SimulatedTime::Events::Simulated, 1s);
    time.shortestWait = 750ms;
    XWBUSLIB::Install(std::make_shared<sim::SimulatedDriver>(sim::uniformConfiguration(8, time.clock)));
    QTcpServer silent;
    std::unique_ptr<publish::MqttPublisher> publisher;
    if (broker != NoPublishing) {
        publish::MqttSettings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = brokerPort(broker, silent);
        publisher = std::make_unique<publish::MqttPublisher>(settings, [](const QString &) {});
    }
    QuietView view;
    logging::RunControl control(view);
    if (publisher)
        control.addListener(*publisher);
    control.StartRun();
    if (control.state() != logging::RunControl::State::Running) {
        state.SkipWithError("the run did not start");
        return;
    }
    for (auto _ : state)
        control.ReadingCycle();
    control.StopRun();
    state.SetLabel(broker == NoPublishing ? "no publishing"
            : broker == SilentBroker      ? "broker never answers"
                                          : "no broker listening");
}
BENCHMARK(ReadingCycle)->Arg(NoPublishing)->Arg(SilentBroker)->Arg(NoBroker)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    // The publisher tells its lines through the event loop's queue.
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
