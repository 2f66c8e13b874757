// Keeps bus work to one transaction at a time: ticks during it are skipped, STOP, writes and closing held.
#pragma once

#include "bus/modKX4136.h"

#include <QList>
#include <optional>

namespace logging {

class BusGuard
{
public:
    enum class Request { Stop, Write, Close };

    // Marks START, a reading cycle or a resolution write as running for as long as it lives.
    class Activity
    {
    public:
        explicit Activity(BusGuard &guard)
            : m_guard(guard)
            , m_cutWaits([&guard] { return guard.isHeld(Request::Stop) || guard.isHeld(Request::Close); })
        {
            ++m_guard.m_depth;
        }
        ~Activity() { --m_guard.m_depth; }
        Activity(const Activity &) = delete;
        Activity &operator=(const Activity &) = delete;

    private:
        BusGuard &m_guard;
        // A held STOP or close ends the wait of the transaction under way rather than waiting for it.
        modKX4136::CutWaitsWhen m_cutWaits;
    };

    bool busy() const { return m_depth > 0; }

    // True when the request had to be held because bus work is running; the caller then does nothing now.
    bool holdWhileBusy(Request request);
    bool isHeld(Request request) const { return m_held.contains(request); }

    // The next held request in the order they came; closing goes first and drops the rest,
    // since nothing else matters once the program is to end.
    std::optional<Request> takeHeld();

private:
    int m_depth = 0;
    QList<Request> m_held;
};

} // namespace logging
