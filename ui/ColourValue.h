// Colour values of the windows: 24 bits with red in the low byte, green in the middle, blue in the high byte.
#pragma once

#include <QColor>
#include <cstdint>

namespace ui {

inline QColor colourFromValue(int32_t value)
{
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

} // namespace ui
