// The chart's legend, laid out to fit.
#include "chart/ChartLegend.h"

#include <QFontMetricsF>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <cmath>

namespace chart {

namespace {
constexpr qreal Swatch = 14;
constexpr qreal Gap = 10;
constexpr int LargestPoint = 9;
constexpr int SmallestPoint = 6;
} // namespace

ChartLegend::ChartLegend(QGraphicsItem *parent)
    : QGraphicsItem(parent)
{
    setZValue(11);
    setAcceptedMouseButtons(Qt::LeftButton);
}

qreal ChartLegend::place(
    const QRectF &area, qreal maxWidth, const QStringList &names, const std::vector<QColor> &colours)
{
    prepareGeometryChange();
    m_entries.clear();
    m_bounds = QRectF();
    if (names.isEmpty())
        return 0;
    // The largest type that fits; at the smallest, the columns that fit.
    int rows = 1;
    int columns = 1;
    qreal columnWidth = 0;
    qreal rowHeight = 0;
    for (int point = LargestPoint; point >= SmallestPoint; --point) {
        m_font.setPointSize(point);
        const QFontMetricsF metrics(m_font);
        rowHeight = metrics.height() + 1;
        qreal widest = 0;
        for (const QString &name : names)
            widest = std::max(widest, metrics.horizontalAdvance(name));
        columnWidth = Swatch + 4 + widest + Gap;
        rows = std::max(1, static_cast<int>(area.height() / rowHeight));
        columns = (static_cast<int>(names.size()) + rows - 1) / rows;
        if (columns * columnWidth <= maxWidth)
            break;
        if (point == SmallestPoint)
            columns = std::max(1, static_cast<int>(maxWidth / columnWidth));
    }
    const qreal width = columns * columnWidth;
    const qreal left = area.right() - width;
    for (int i = 0; i < names.size() && i < rows * columns; ++i) {
        const QRectF rect(left + (i / rows) * columnWidth, area.top() + (i % rows) * rowHeight,
            columnWidth - Gap, rowHeight);
        m_entries.push_back({rect, names[i], colours[static_cast<std::size_t>(i)]});
        m_bounds = m_bounds.united(rect);
    }
    update();
    return width;
}

void ChartLegend::setHidden(const std::vector<bool> &hidden)
{
    m_hidden = hidden;
    update();
}

void ChartLegend::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    painter->save();
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry &entry = m_entries[i];
        const bool hidden = i < m_hidden.size() && m_hidden[i];
        const qreal y = entry.rect.center().y();
        painter->setPen(QPen(hidden ? QColor(Qt::lightGray) : entry.colour, 2.5));
        painter->drawLine(QPointF(entry.rect.left(), y), QPointF(entry.rect.left() + Swatch, y));
        QFont font = m_font;
        font.setStrikeOut(hidden);
        painter->setFont(font);
        painter->setPen(hidden ? Qt::gray : Qt::black);
        painter->drawText(
            entry.rect.adjusted(Swatch + 4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, entry.name);
    }
    painter->restore();
}

void ChartLegend::mousePressEvent(QGraphicsSceneMouseEvent *event)
{
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].rect.contains(event->pos())) {
            if (m_onClick)
                m_onClick(static_cast<int>(i));
            event->accept();
            return;
        }
    }
    event->ignore();
}

} // namespace chart
