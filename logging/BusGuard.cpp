// Keeps bus work to one transaction at a time: ticks during it are skipped, STOP, writes and closing held.
#include "logging/BusGuard.h"

namespace logging {

bool BusGuard::holdWhileBusy(Request request)
{
    if (!busy())
        return false;
    // A second click on the same thing while the first still waits adds nothing.
    if (!held_.contains(request))
        held_.append(request);
    return true;
}

std::optional<BusGuard::Request> BusGuard::takeHeld()
{
    if (held_.isEmpty())
        return std::nullopt;
    if (held_.contains(Request::Close)) {
        held_.clear();
        return Request::Close;
    }
    return held_.takeFirst();
}

} // namespace logging
