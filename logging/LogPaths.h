// Where the logger's files go by default: the log file and the folder where kept lines wait.
#pragma once

#include <QString>

namespace logging {

// Which bus a run reads: the simulated one logs into a file of its own by default, so that demo
// readings never mix with real ones.
enum class LogBus { Adapter, Simulated };
// The log path both the window and the console run start with.
QString defaultLogPath(LogBus bus = LogBus::Adapter);
// Where kept lines wait across runs of the program: $XDG_STATE_HOME/kx4136-logger, by default
// ~/.local/state/kx4136-logger; elsewhere kx4136-logger in the local application-data folder.
QString defaultPendingFolder();

} // namespace logging
