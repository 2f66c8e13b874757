// One sensor's readings and their block summaries.
#include "chart/ReadingSeries.h"

#include <cmath>

namespace chart {

void ReadingSeries::Piece::add(float value, uint8_t at)
{
    if (!any || value < low) {
        low = value;
        lowAt = at;
    }
    if (!any || value > high) {
        high = value;
        highAt = at;
    }
    any = true;
}

void ReadingSeries::append(float value)
{
    const qint64 at = m_size++;
    if (at % ChunkSize == 0)
        m_chunks.push_back(std::make_unique<float[]>(ChunkSize));
    m_chunks.back()[at % ChunkSize] = value;
    if (at % BlockSize == 0)
        m_blocks.emplace_back();
    Summary &block = m_blocks.back();
    if (std::isnan(value)) {
        block.gap = true;
        block.endsInGap = true;
    } else {
        (block.gap ? block.after : block.before).add(value, static_cast<uint8_t>(at % BlockSize));
        block.endsInGap = false;
    }
}

} // namespace chart
