// Keeps bus work to one transaction at a time: ticks during it are skipped, STOP, writes and closing held.
#include "logging/BusGuard.h"

namespace logging {

bool BusGuard::holdWhileBusy(Request request)
{
    if (!busy())
        return false;
    // A second click on the same thing while the first still waits adds nothing.
    if (!m_held.contains(request))
        m_held.append(request);
    return true;
}

std::optional<BusGuard::Request> BusGuard::takeHeld()
{
    if (m_held.isEmpty())
        return std::nullopt;
    if (m_held.contains(Request::Close)) {
        m_held.clear();
        return Request::Close;
    }
    return m_held.takeFirst();
}

} // namespace logging
