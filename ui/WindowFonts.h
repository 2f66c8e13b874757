// The fonts of the two windows: the named faces, with a fallback of the same kind where a face is missing.
#pragma once

#include <QFont>
#include <QList>
#include <utility>

namespace ui::WindowFonts {

// The font of every control that has no font of its own.
QFont windowDefault();
// The bold captions of START and STOP.
QFont runButtons();
// The device list and the reading list: both must stay fixed-pitch even where the face is missing.
QFont deviceList();
QFont readingList();
// The lines of the information window; its title is bold.
QFont infoLine(QFont::Weight weight);

// A text and the pixels it has to fit into.
using TextRoom = std::pair<QString, int>;
// The font itself when every text fits; otherwise the first narrower stretch that makes them all fit, and
// past the narrowest one smaller sizes. Faces standing in for missing ones are often wider than these rows.
QFont fitting(QFont font, const QList<TextRoom> &texts);

} // namespace ui::WindowFonts
