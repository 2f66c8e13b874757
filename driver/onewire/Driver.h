// The ten driver operations over any Link: sessions, the caller's search state and device access.
#pragma once

#include "driver/XwDriver.h"
#include "driver/onewire/Link.h"

#include <functional>
#include <map>
#include <memory>

namespace onewire {

// Makes the link for an adapter on a port, or gives null when that port has no adapter of that type.
using LinkFactory = std::function<std::unique_ptr<Link>(int16_t portNum, int16_t portType)>;

// Handles start at 1 and are never reused within a driver's life. A port can carry one session at a time,
// as a serial port can be opened only once.
class Driver : public xw::XwDriver
{
public:
    explicit Driver(LinkFactory factory);
    ~Driver() override;

    int32_t XwExtendedStartSession(int16_t portNum, int16_t portType, int32_t options) override;
    int16_t XwSetup(int32_t session) override;
    int16_t XwEndSession(int32_t session) override;
    int16_t XwFirst(int32_t session, uint8_t *stateBuffer) override;
    int16_t XwNext(int32_t session, uint8_t *stateBuffer) override;
    int16_t XwRom(int32_t session, uint8_t *stateBuffer, int16_t *romBuffer) override;
    int16_t XwAccess(int32_t session, uint8_t *stateBuffer) override;
    int16_t XwTouchByte(int32_t session, int16_t byte) override;
    int16_t XwTouchReset(int32_t session) override;
    int16_t XwOneWireLevel(int32_t session, int16_t operation, int16_t level, int16_t prime) override;
    int16_t XwBlock(int32_t session, const uint8_t *out, uint8_t *in, int16_t length) override;
    xw::StartFailure lastStartFailure() const override { return m_lastStartFailure; }

    int openSessionCount() const { return static_cast<int>(m_sessions.size()); }

private:
    struct Session
    {
        int16_t portNum = 0;
        std::unique_ptr<Link> link;
    };

    Link *linkOf(int32_t session) const;
    enum class SearchFrom { Start, LastFork };
    int16_t search(int32_t session, uint8_t *stateBuffer, SearchFrom from);

    LinkFactory m_factory;
    std::map<int32_t, Session> m_sessions;
    int32_t m_nextHandle = 1;
    xw::StartFailure m_lastStartFailure;
};

} // namespace onewire
