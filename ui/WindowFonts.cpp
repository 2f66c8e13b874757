// Builds the windows' fonts.
#include "ui/WindowFonts.h"

#include <QFontMetrics>
#include <array>

namespace ui {

namespace {

// Qt fonts carry no character-set choice: glyph fallback already covers the Central European letters.
QFont named(const QString &face, qreal points, QFont::Weight weight, QFont::StyleHint hint)
{
    QFont font(face);
    font.setPointSizeF(points);
    font.setWeight(weight);
    font.setStyleHint(hint);
    if (hint == QFont::TypeWriter)
        font.setFixedPitch(true);
    return font;
}

bool allFit(const QFont &font, const QList<WindowFonts::TextRoom> &texts)
{
    const QFontMetrics metrics(font);
    for (const auto &[text, room] : texts)
        if (metrics.horizontalAdvance(text) > room)
            return false;
    return true;
}

// Below this a line is left to be cut off rather than become unreadable.
constexpr qreal smallestPoints = 6.0;

} // namespace

namespace WindowFonts {

QFont windowDefault()
{
    // The buttons' face at normal weight: small enough for the 17-pixel rows of the settings.
    return named(QStringLiteral("MS Sans Serif"), 8.25, QFont::Normal, QFont::SansSerif);
}

QFont runButtons()
{
    return named(QStringLiteral("MS Sans Serif"), 8.25, QFont::Bold, QFont::SansSerif);
}

QFont deviceList()
{
    return named(QStringLiteral("Courier New"), 8.25, QFont::Normal, QFont::TypeWriter);
}

QFont readingList()
{
    return named(QStringLiteral("Courier New"), 14.25, QFont::Bold, QFont::TypeWriter);
}

QFont infoLine(QFont::Weight weight)
{
    return named(QStringLiteral("Verdana"), 9.75, weight, QFont::SansSerif);
}

QFont fitting(QFont font, const QList<TextRoom> &texts)
{
    for (const int stretch : std::array {static_cast<int>(QFont::Unstretched),
             static_cast<int>(QFont::SemiCondensed), static_cast<int>(QFont::Condensed)}) {
        font.setStretch(stretch);
        if (allFit(font, texts))
            return font;
    }
    while (!allFit(font, texts) && font.pointSizeF() > smallestPoints)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    return font;
}

} // namespace WindowFonts

} // namespace ui
