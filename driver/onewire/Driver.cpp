// Session bookkeeping and the ten operations, each mapped onto the link's primitives.
#include "driver/onewire/Driver.h"

#include "driver/onewire/Search.h"

#include <algorithm>

namespace onewire {
namespace {

// A search step that fails is tried again on a freshly set-up adapter, so that one disturbed answer
// costs milliseconds rather than the devices the search had still to find.
constexpr int SearchAttempts = 3;
constexpr int16_t SearchFailed = -1;

} // namespace

Driver::Driver(LinkFactory factory)
    : m_factory(std::move(factory))
{ }

Driver::~Driver()
{
    for (auto &[handle, session] : m_sessions)
        session.link->close();
}

Link *Driver::linkOf(int32_t session) const
{
    const auto it = m_sessions.find(session);
    return it == m_sessions.end() ? nullptr : it->second.link.get();
}

int32_t Driver::XwExtendedStartSession(int16_t portNum, int16_t portType, int32_t /*options*/)
{
    using Reason = xw::StartFailure::Reason;
    const auto busy = std::find_if(m_sessions.begin(), m_sessions.end(),
        [portNum](const auto &entry) { return entry.second.portNum == portNum; });
    if (busy != m_sessions.end()) {
        m_lastStartFailure = {Reason::InUse, busy->second.link->device()};
        return 0;
    }
    if (!m_factory) {
        m_lastStartFailure = {};
        return 0;
    }
    std::unique_ptr<Link> link = m_factory(portNum, portType);
    if (!link) {
        m_lastStartFailure = {Reason::NoSuchPort, {}};
        return 0;
    }
    if (!link->open()) {
        m_lastStartFailure = {link->openFailure(), link->device()};
        return 0;
    }
    m_lastStartFailure = {Reason::None, link->device()};
    const int32_t handle = m_nextHandle++;
    m_sessions.emplace(handle, Session {portNum, std::move(link)});
    return handle;
}

int16_t Driver::XwSetup(int32_t session)
{
    Link *link = linkOf(session);
    if (!link)
        return 0;
    // An empty bus is still a working bus; the search says so later.
    const ResetResult reset = link->reset();
    if (reset == ResetResult::Presence || reset == ResetResult::NoPresence) {
        m_lastStartFailure = {xw::StartFailure::Reason::None, link->device()};
        return 1;
    }
    m_lastStartFailure = {reset == ResetResult::Short ? xw::StartFailure::Reason::ShortedBus
                                                      : xw::StartFailure::Reason::NoAdapter,
        link->device()};
    return 0;
}

int16_t Driver::XwEndSession(int32_t session)
{
    const auto it = m_sessions.find(session);
    if (it == m_sessions.end())
        return 0;
    it->second.link->close();
    m_sessions.erase(it);
    return 1;
}

int16_t Driver::search(int32_t session, uint8_t *stateBuffer, SearchFrom from)
{
    Link *link = linkOf(session);
    if (!link || !stateBuffer)
        return 0;
    SearchState state = from == SearchFrom::Start ? SearchState {} : SearchState::load(stateBuffer);
    SearchResult result = SearchResult::Failed;
    for (int attempt = 0; attempt < SearchAttempts; ++attempt) {
        result = searchNext(*link, state);
        if (result != SearchResult::Failed)
            break;
        link->recover();
    }
    if (result == SearchResult::Failed && from == SearchFrom::Start) {
        // A later XwNext must not go on with the search that was there before.
        state = SearchState {};
    }
    state.store(stateBuffer);
    switch (result) {
    case SearchResult::Found:
        return 1;
    case SearchResult::Finished:
        return 0;
    case SearchResult::Failed:
        break;
    }
    return SearchFailed;
}

int16_t Driver::XwFirst(int32_t session, uint8_t *stateBuffer)
{
    return search(session, stateBuffer, SearchFrom::Start);
}

int16_t Driver::XwNext(int32_t session, uint8_t *stateBuffer)
{
    return search(session, stateBuffer, SearchFrom::LastFork);
}

int16_t Driver::XwRom(int32_t session, uint8_t *stateBuffer, int16_t *romBuffer)
{
    if (!linkOf(session) || !stateBuffer || !romBuffer)
        return 0;
    SearchState state = SearchState::load(stateBuffer);
    if (romBuffer[0] == 0) {
        if (!state.hasCurrent)
            return 0;
        std::copy(state.current.begin(), state.current.end(), romBuffer);
        return 1;
    }
    for (std::size_t i = 0; i < state.current.size(); ++i) {
        if (romBuffer[i] < 0 || romBuffer[i] > 0xFF)
            return 0;
        state.current[i] = static_cast<uint8_t>(romBuffer[i]);
    }
    state.hasCurrent = true;
    state.store(stateBuffer);
    return 1;
}

int16_t Driver::XwAccess(int32_t session, uint8_t *stateBuffer)
{
    Link *link = linkOf(session);
    if (!link || !stateBuffer)
        return 0;
    const SearchState state = SearchState::load(stateBuffer);
    if (!state.hasCurrent || link->reset() != ResetResult::Presence || !link->touchByte(MatchRom))
        return 0;
    for (const uint8_t byte : state.current)
        if (!link->touchByte(byte))
            return 0;
    return 1;
}

int16_t Driver::XwTouchByte(int32_t session, int16_t byte)
{
    Link *link = linkOf(session);
    if (!link || byte < 0 || byte > 0xFF)
        return -1;
    const auto received = link->touchByte(static_cast<uint8_t>(byte));
    return received ? *received : -1;
}

int16_t Driver::XwTouchReset(int32_t session)
{
    Link *link = linkOf(session);
    return link && link->reset() == ResetResult::Presence ? 1 : 0;
}

int16_t Driver::XwOneWireLevel(int32_t session, int16_t operation, int16_t level, int16_t prime)
{
    Link *link = linkOf(session);
    if (!link || operation != xw::LevelSet)
        return 0;
    if (level == xw::LevelStrongPullUp && prime == xw::PrimeAfterNextByte)
        return link->setLevel(BusLevel::StrongPullUpAfterNextByte) ? 1 : 0;
    if (level == xw::LevelNormal && prime == xw::PrimeNow)
        return link->setLevel(BusLevel::Normal) ? 1 : 0;
    return 0;
}

int16_t Driver::XwBlock(int32_t session, const uint8_t *out, uint8_t *in, int16_t length)
{
    Link *link = linkOf(session);
    if (!link || length < 0 || (length > 0 && (!out || !in)))
        return 0;
    const auto size = static_cast<std::size_t>(length);
    return link->touchBlock({out, size}, {in, size}) ? 1 : 0;
}

} // namespace onewire
