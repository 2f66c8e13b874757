// The listeners the command line adds to a run, the window's and the console's alike.
#include "app/RunListeners.h"

#include "bus/modKX4136.h"
#include "logging/RunControl.h"
#include "publish/MqttPublisher.h"
#include "web/WebServer.h"

namespace app {

RunListeners::RunListeners() = default;
RunListeners::~RunListeners() = default;
RunListeners::RunListeners(RunListeners &&) noexcept = default;
RunListeners &RunListeners::operator=(RunListeners &&) noexcept = default;

void RunListeners::addTo(logging::RunControl &run) const
{
    if (publisher)
        run.addListener(*publisher);
    if (alarmCommand)
        run.addListener(*alarmCommand);
    if (webServer)
        run.addListener(*webServer);
}

RunListeners makeListeners(
    const CommandLineOptions &options, const std::function<void(const QString &)> &tell)
{
    RunListeners listeners;
    if (options.mqtt) {
        listeners.publisher = std::make_unique<publish::MqttPublisher>(*options.mqtt, tell);
        listeners.publisher->setPortSource([] { return static_cast<int>(modKX4136::PortNum); });
    }
    if (!options.alarmCommand.isEmpty())
        listeners.alarmCommand = std::make_unique<AlarmCommand>(options.alarmCommand, tell);
    return listeners;
}

} // namespace app
