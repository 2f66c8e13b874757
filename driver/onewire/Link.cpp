// The optional primitives, built from smaller ones for links that have no hardware help.
#include "driver/onewire/Link.h"

namespace onewire {

std::optional<Triplet> Link::searchTriplet(bool direction)
{
    const auto idBit = touchBit(true);
    const auto complementBit = touchBit(true);
    if (!idBit || !complementBit)
        return std::nullopt;
    Triplet triplet {*idBit, *complementBit, direction};
    if (*idBit != *complementBit)
        triplet.taken = *idBit;
    else if (*idBit)
        triplet.taken = true; // nobody answered: writing 1 keeps the bus released
    if (!touchBit(triplet.taken))
        return std::nullopt;
    return triplet;
}

bool Link::touchBlock(std::span<const uint8_t> out, std::span<uint8_t> in)
{
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto received = touchByte(out[i]);
        if (!received)
            return false;
        in[i] = *received;
    }
    return true;
}

std::optional<SearchPass> Link::searchPass(const std::array<bool, 64> &directions)
{
    SearchPass pass;
    for (std::size_t n = 0; n < directions.size(); ++n) {
        const auto triplet = searchTriplet(directions[n]);
        if (!triplet)
            return std::nullopt;
        if (triplet->idBit && triplet->complementBit) {
            // Everyone has dropped out; an accelerator reports every later bit as 1, and so do we.
            pass.nobodyAnswered = true;
            for (std::size_t rest = n; rest < directions.size(); ++rest)
                pass.romBits[rest] = true;
            return pass;
        }
        pass.romBits[n] = triplet->taken;
        pass.discrepancy[n] = !triplet->idBit && !triplet->complementBit;
    }
    return pass;
}

} // namespace onewire
