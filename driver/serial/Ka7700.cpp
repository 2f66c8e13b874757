// The KA7700 adapter's command bytes and the packing of its search accelerator, as the host sees them.
#include "driver/serial/Ka7700.h"

namespace serial::ka7700 {

onewire::ResetResult resetResult(uint8_t answer)
{
    switch (answer & 0x03) {
    case 0x00:
        return onewire::ResetResult::Short;
    case 0x03:
        return onewire::ResetResult::NoPresence;
    default: // 10 is a presence pulse from a device that wants attention: still presence
        return onewire::ResetResult::Presence;
    }
}

std::optional<int> baudCode(int baud)
{
    for (int code = 0; code < static_cast<int>(AdapterRates.size()); ++code)
        if (AdapterRates[static_cast<size_t>(code)] == baud)
            return code;
    return std::nullopt;
}

uint8_t bitCommand(bool bit, AfterSlot after)
{
    return (bit ? BitWrite1 : BitWrite0) | (after == AfterSlot::PullUp ? BitPullUpFlag : 0);
}

std::array<uint8_t, 16> searchRequest(const std::array<bool, 64> &directions)
{
    std::array<uint8_t, 16> request {};
    for (int n = 0; n < 64; ++n)
        if (directions[n])
            request[n / 4] |= static_cast<uint8_t>(1U << (2 * (n % 4) + 1));
    return request;
}

onewire::SearchPass decodeSearch(
    const std::array<uint8_t, 16> &answer, const std::array<bool, 64> &directions)
{
    onewire::SearchPass pass;
    for (int n = 0; n < 64; ++n) {
        const unsigned pair = answer[n / 4] >> (2 * (n % 4));
        pass.discrepancy[n] = pair & 1;
        pass.romBits[n] = (pair >> 1) & 1;
        // After a bit that read 1,1 the adapter reports flag and bit 1 to the end. A fork cannot end up
        // on 1 where 0 was asked for, and no two valid codes part at the last bit, so either shape
        // means that nobody was answering.
        if (pass.discrepancy[n] && pass.romBits[n] && (!directions[n] || n == 63))
            pass.nobodyAnswered = true;
    }
    return pass;
}

} // namespace serial::ka7700
