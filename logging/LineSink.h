// A line of text for the user, handed to whoever shows it: the window's device list, the console, a log.
#pragma once

#include <QString>
#include <functional>

namespace logging {

using LineSink = std::function<void(const QString &line)>;

} // namespace logging
