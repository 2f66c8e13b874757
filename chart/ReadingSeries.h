// One sensor's readings in the chart, one float per cycle in chunks, with a min/max summary per block of
// cycles so that a reduction takes whole blocks without reading them one by one.
#pragma once

#include <QtGlobal>
#include <cstdint>
#include <memory>
#include <vector>

namespace chart {

class ReadingSeries
{
public:
    static constexpr qint64 BlockSize = 64;

    // Extremes of a piece of a block, positions within the block.
    struct Piece
    {
        float low = 0;
        float high = 0;
        uint8_t lowAt = 0;
        uint8_t highAt = 0;
        bool any = false;
        void add(float value, uint8_t at);
    };
    // A block of cycles as the reduction needs it: the readings before its first gap, those after
    // it, and whether it ends in a gap.
    struct Summary
    {
        Piece before;
        Piece after;
        bool gap = false;
        bool endsInGap = false;
    };

    // NaN for a gap.
    void append(float value);
    qint64 size() const { return m_size; }
    // The readings from `i` on, contiguous at least to the end of i's block.
    const float *at(qint64 i) const
    {
        return &m_chunks[static_cast<std::size_t>(i / ChunkSize)][i % ChunkSize];
    }
    // The summary of the block that holds cycle `i`.
    const Summary &blockOf(qint64 i) const { return m_blocks[static_cast<std::size_t>(i / BlockSize)]; }

private:
    static constexpr qint64 ChunkSize = 4096; // a whole number of blocks

    std::vector<std::unique_ptr<float[]>> m_chunks;
    std::vector<Summary> m_blocks;
    qint64 m_size = 0;
};

} // namespace chart
