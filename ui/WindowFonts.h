// The fonts of the two windows: the named faces, with a fallback of the same kind where a face is missing.
#pragma once

#include <QFont>

namespace WindowFonts {

// The font of every control that has no font of its own.
QFont windowDefault();
// The bold captions of START and STOP.
QFont runButtons();
// The device list and the reading list: both must stay fixed-pitch even where the face is missing.
QFont deviceList();
QFont readingList();
// The lines of the information window.
QFont infoLine(bool bold);

} // namespace WindowFonts
