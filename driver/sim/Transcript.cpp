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
    : m_capacity(capacity)
{ }

void Transcript::record(const TranscriptEntry &entry)
{
    if (m_capacity == 0)
        return;
    if (m_entries.size() >= m_capacity)
        m_entries.pop_front();
    m_entries.push_back(entry);
}

void Transcript::setCapacity(std::size_t capacity)
{
    m_capacity = capacity;
    while (m_entries.size() > m_capacity)
        m_entries.pop_front();
}

std::string Transcript::text(std::size_t from, bool withBits) const
{
    std::string out;
    for (std::size_t i = from; i < m_entries.size(); ++i) {
        if (m_entries[i].kind == TranscriptEntry::Kind::Bit && !withBits)
            continue;
        if (!out.empty())
            out += ' ';
        out += m_entries[i].text();
    }
    return out;
}

std::vector<uint8_t> Transcript::bytesSent(std::size_t from) const
{
    std::vector<uint8_t> bytes;
    for (std::size_t i = from; i < m_entries.size(); ++i)
        if (m_entries[i].kind == TranscriptEntry::Kind::Byte)
            bytes.push_back(m_entries[i].sent);
    return bytes;
}

} // namespace sim
