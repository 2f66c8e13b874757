// The listeners the command line adds to a run, the window's and the console's alike.
#pragma once

#include "app/AlarmCommand.h"
#include "app/CommandLine.h"

#include <functional>
#include <memory>

namespace logging {
class RunControl;
}
namespace publish {
class MqttPublisher;
}
namespace web {
class WebServer;
}

namespace app {

struct RunListeners
{
    RunListeners();
    ~RunListeners();
    RunListeners(RunListeners &&) noexcept;
    RunListeners &operator=(RunListeners &&) noexcept;

    // Each is there when the command line asks for it.
    std::unique_ptr<publish::MqttPublisher> publisher;
    std::unique_ptr<AlarmCommand> alarmCommand;
    std::unique_ptr<web::WebServer> webServer;

    void addTo(logging::RunControl &run) const;
};

// The publisher and the alarm command the options ask for; each tells its lines (connection changes,
// failures) to `tell`. The web server is the caller's: a window and a console meet its failure apart.
RunListeners makeListeners(
    const CommandLineOptions &options, const std::function<void(const QString &)> &tell);

} // namespace app
