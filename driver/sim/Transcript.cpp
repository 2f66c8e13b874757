// Transcript storage and its text form.
#include "driver/sim/Transcript.h"

#include <cstdio>

namespace sim {

std::string TranscriptEntry::text() const
{
    switch (kind) {
    case Kind::Reset:
        return reset == onewire::ResetResult::Presence ? "R"
            : reset == onewire::ResetResult::Short     ? "R!"
                                                       : "R-";
    case Kind::Byte: {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", sent);
        return hex;
    }
    case Kind::Bit:
        return sent ? "b1" : "b0";
    case Kind::PullUpArmed:
        return "P^";
    case Kind::PullUpOn:
        return "P+";
    case Kind::PullUpOff:
        return "P-";
    }
    return "?";
}

Transcript::Transcript(std::size_t capacity)
    : capacity_(capacity)
{ }

void Transcript::record(const TranscriptEntry &entry)
{
    if (capacity_ == 0) {
        return;
    }
    if (entries_.size() >= capacity_) {
        entries_.pop_front();
    }
    entries_.push_back(entry);
}

void Transcript::setCapacity(std::size_t capacity)
{
    capacity_ = capacity;
    while (entries_.size() > capacity_) {
        entries_.pop_front();
    }
}

std::string Transcript::text(std::size_t from, bool withBits) const
{
    std::string out;
    for (std::size_t i = from; i < entries_.size(); ++i) {
        if (entries_[i].kind == TranscriptEntry::Kind::Bit && !withBits) {
            continue;
        }
        if (!out.empty()) {
            out += ' ';
        }
        out += entries_[i].text();
    }
    return out;
}

std::vector<uint8_t> Transcript::bytesSent(std::size_t from) const
{
    std::vector<uint8_t> bytes;
    for (std::size_t i = from; i < entries_.size(); ++i) {
        if (entries_[i].kind == TranscriptEntry::Kind::Byte) {
            bytes.push_back(entries_[i].sent);
        }
    }
    return bytes;
}

} // namespace sim
