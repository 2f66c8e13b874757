// Builds the windows' fonts.
#include "ui/WindowFonts.h"

namespace {

// Qt fonts carry no character-set choice: glyph fallback already covers the Central European letters.
QFont named(const QString &face, qreal points, bool bold, QFont::StyleHint hint)
{
    QFont font(face);
    font.setPointSizeF(points);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setStyleHint(hint);
    if (hint == QFont::TypeWriter)
        font.setFixedPitch(true);
    return font;
}

} // namespace

namespace WindowFonts {

QFont windowDefault()
{
    // The buttons' face at normal weight: small enough for the 17-pixel rows of the settings.
    return named(QStringLiteral("MS Sans Serif"), 8.25, false, QFont::SansSerif);
}

QFont runButtons()
{
    return named(QStringLiteral("MS Sans Serif"), 8.25, true, QFont::SansSerif);
}

QFont deviceList()
{
    return named(QStringLiteral("Courier New"), 8.25, false, QFont::TypeWriter);
}

QFont readingList()
{
    return named(QStringLiteral("Courier New"), 14.25, true, QFont::TypeWriter);
}

QFont infoLine(bool bold)
{
    return named(QStringLiteral("Verdana"), 9.75, bold, QFont::SansSerif);
}

} // namespace WindowFonts
