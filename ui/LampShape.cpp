// The status lamp's painting.
#include "ui/LampShape.h"

#include "ui/ColourValue.h"

#include <QPainter>

namespace ui {

LampShape::LampShape(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LampShape::setFillColour(int32_t colour)
{
    if (colour == m_fillColour)
        return;
    m_fillColour = colour;
    update();
}

void LampShape::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), colourFromValue(m_fillColour));
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::NoBrush);
    // A one-pixel pen at the edge needs the rectangle one pixel short to stay inside the widget.
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace ui
