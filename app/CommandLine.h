// The program's command line: which driver to use and how, or a text to print instead of running.
#pragma once

#include "app/HttpOption.h"
#include "app/ResolutionWrites.h"
#include "logging/SensorsFile.h"
#include "publish/MqttOptions.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>

namespace app {

// COM ports are numbered from 1 to this.
inline constexpr int MaxComPort = 255;

struct CommandLineOptions
{
    bool simulate = false;
    // Sensors on the simulated bus; 0 asks for the demo bus.
    int simulatedSensors = 0;
    // COM port number -> serial device, for the KA7700 driver.
    std::map<int16_t, QString> comPorts;
    // The rate the KA7700 driver switches the adapter to once it is found (README: why this default).
    int baud = 115200;
    // --convert-all: the all-at-once cycle (the window's menu entry starts ticked).
    bool convertAll = false;
    // --sensors FILE: the sensors' names and alarm limits.
    QString sensorsPath = logging::defaultSensorsFilePath();

    // --console: a run without a window. The settings stay texts, so they meet the very checks the
    // window's fields meet; the defaults are the window's.
    bool console = false;
    QString port = QStringLiteral("1");
    QString interval = QStringLiteral("5");
    QString delay = QStringLiteral("500");
    std::optional<QString> logPath; // nothing: the window's default path
    bool log = true;
    int cycles = 0; // 0: until stopped
    // --cycles 0: the run ends after START (and the resolution writes); nothing is read, no log written.
    bool startOnly = false;
    // --set-resolution INDEX=BITS: written after START, in the order given.
    QList<ResolutionWrite> resolutionWrites;
    // --alarm-command CMD: run on each change of an alarm state (window and console); empty: none.
    QString alarmCommand;
    bool json = false; // --format json: JSON Lines on standard output

    // --mqtt: publishing, for the window and the console alike; nothing: no publishing.
    std::optional<publish::MqttSettings> mqtt;
    // --http: the web page, for the window and the console alike; nothing: no web server.
    std::optional<HttpEndpoint> http;
    // --chart FILE: a log file in the chart window; --plot FILE --output PNG [--size WxH]: as a PNG.
    std::optional<QString> chartPath;
    std::optional<QString> plotPath;
    QString plotOutput;
    QSize plotSize {1200, 600};
};

struct CommandLineResult
{
    enum class Action { Run, Print, Fail };

    Action action = Action::Run;
    CommandLineOptions options;
    // Print: the help or version text for standard output. Fail: one line for standard error.
    QString text;
    int exitCode = 0;
};

// Reads the arguments, the program's own path first.
CommandLineResult parseCommandLine(const QStringList &arguments);

} // namespace app
