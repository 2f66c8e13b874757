// A request out to the KA7700 adapter and its answers back, paced for the adapter's one-byte hold.
#pragma once

#include "driver/serial/Port.h"
#include "driver/serial/Request.h"

#include <optional>

namespace serial {

// The answers of `request` sent over `port` at `baud`, the pulse-end byte it ends with taken off;
// nothing when one is missing or they no longer line up with the bytes sent.
std::optional<QByteArray> exchange(Port &port, const Request &request, int baud);

} // namespace serial
