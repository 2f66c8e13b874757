// The program's command line: which driver to use and how, or a text to print instead of running.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>

struct CommandLineOptions
{
    bool simulate = false;
    // Sensors on the simulated bus; 0 asks for the demo bus.
    int simulatedSensors = 0;
    // COM port number -> serial device, for the KA7700 driver.
    std::map<int16_t, QString> comPorts;
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
