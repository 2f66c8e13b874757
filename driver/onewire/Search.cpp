// One step of the ROM search: reset, search command, one or more passes, then the bookkeeping.
#include "driver/onewire/Search.h"

#include <algorithm>

namespace onewire {
namespace {

constexpr uint8_t FlagStarted = 0x01;
constexpr uint8_t FlagLastDevice = 0x02;
constexpr uint8_t FlagHasCurrent = 0x04;
constexpr std::size_t CurrentOffset = 2;
constexpr std::size_t PathOffset = 10;

// Up to the last fork we follow the previous path, at it we try the 1 way, beyond it the 0 way.
RomBits directionsFor(const SearchState &state)
{
    RomBits directions {};
    for (int n = 0; n < state.lastDiscrepancy; ++n)
        directions[n] = state.path[n];
    if (state.lastDiscrepancy >= 0)
        directions[state.lastDiscrepancy] = true;
    return directions;
}

// Highest fork below `limit` where the pass went the 0 way: the next branch still to try.
int highestOpenFork(const SearchPass &pass, int limit)
{
    for (int n = limit - 1; n >= 0; --n)
        if (pass.discrepancy[n] && !pass.romBits[n])
            return n;
    return -1;
}

// The first bit up to the last fork where the pass could not go the way asked: a branch has gone away
// since the previous pass. Gives -1 when the pass followed the request.
int firstDeviation(const SearchPass &pass, const RomBits &directions, int lastDiscrepancy)
{
    for (int n = 0; n <= lastDiscrepancy; ++n)
        if (pass.romBits[n] != directions[n])
            return n;
    return -1;
}

} // namespace

SearchState SearchState::load(const uint8_t *buffer)
{
    SearchState state;
    state.started = (buffer[0] & FlagStarted) != 0;
    state.lastDevice = (buffer[0] & FlagLastDevice) != 0;
    state.hasCurrent = (buffer[0] & FlagHasCurrent) != 0;
    state.lastDiscrepancy = std::min<int>(buffer[1], 64) - 1;
    std::copy_n(buffer + CurrentOffset, state.current.size(), state.current.begin());
    RomCode path {};
    std::copy_n(buffer + PathOffset, path.size(), path.begin());
    state.path = toBits(path);
    return state;
}

void SearchState::store(uint8_t *buffer) const
{
    buffer[0] = static_cast<uint8_t>(
        (started ? FlagStarted : 0) | (lastDevice ? FlagLastDevice : 0) | (hasCurrent ? FlagHasCurrent : 0));
    buffer[1] = static_cast<uint8_t>(lastDiscrepancy + 1);
    std::copy(current.begin(), current.end(), buffer + CurrentOffset);
    const RomCode pathBytes = fromBits(path);
    std::copy(pathBytes.begin(), pathBytes.end(), buffer + PathOffset);
}

SearchResult searchNext(Link &link, SearchState &state)
{
    SearchState next = state;
    if (!next.started) {
        next = SearchState {};
        next.started = true;
    }
    // A pass that ran into devices already reported has narrowed the search: kept when a later pass of
    // the step fails, so that trying the step again goes on from there.
    const auto failed = [&state, &next] {
        state = next;
        return SearchResult::Failed;
    };
    // Each pass that lands in a part of the tree already reported lowers the fork, so this ends.
    while (!next.lastDevice) {
        const ResetResult reset = link.reset();
        if (reset == ResetResult::NoPresence) {
            next.lastDevice = true;
            break;
        }
        if (reset != ResetResult::Presence || !link.touchByte(SearchRom))
            return failed();
        const RomBits directions = directionsFor(next);
        const auto pass = link.searchPass(directions);
        // Someone answered the reset, so every pass ends on a device's code, even one that runs into
        // devices already reported: anything else was disturbed and says nothing about the bus.
        if (!pass || pass->nobodyAnswered)
            return failed();
        const RomCode rom = fromBits(pass->romBits);
        if (!isValidRomCode(rom))
            return failed();
        const int deviation = firstDeviation(*pass, directions, next.lastDiscrepancy);
        if (deviation >= 0 && directions[deviation]) {
            // The branch asked for has gone: this pass ran into devices already reported.
            next.lastDiscrepancy = highestOpenFork(*pass, deviation);
            next.lastDevice = next.lastDiscrepancy < 0;
            continue;
        }
        next.path = pass->romBits;
        next.lastDiscrepancy = highestOpenFork(*pass, 64);
        next.lastDevice = next.lastDiscrepancy < 0;
        next.current = rom;
        next.hasCurrent = true;
        state = next;
        return SearchResult::Found;
    }
    state = next;
    return SearchResult::Finished;
}

} // namespace onewire
