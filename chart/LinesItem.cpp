// The chart's lines: laid out in pixels once per refresh, painted as often as the scene asks.
#include "chart/LinesItem.h"

#include <QPainter>
#include <cmath>

namespace chart {

namespace {

// Sparse lines are drawn smooth; dense ones, a few points per pixel column anyway, in plain one-pixel lines,
// which costs a fraction of the time.
constexpr std::size_t SmoothPoints = 20000;

} // namespace

QColor sensorColour(qsizetype i)
{
    static const QColor first[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
        QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd),
        QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f),
        QColor(0xbc, 0xbd, 0x22), QColor(0x17, 0xbe, 0xcf)};
    constexpr qsizetype known = std::size(first);
    if (i < known)
        return first[i];
    // Beyond those: hues a golden angle apart, at two depths.
    const int hue = static_cast<int>((i * 137) % 360);
    return QColor::fromHsv(hue, 200, i % 2 == 0 ? 170 : 220);
}

LinesItem::LinesItem(QGraphicsItem *parent)
    : QGraphicsItem(parent)
{
    setZValue(10);
}

void LinesItem::set(const QRectF &area, const Scale &scale, const std::vector<ReducedLine> &reduced,
    const std::vector<bool> &hidden, const std::vector<LimitLine> &limits)
{
    const double xScale = area.width() / static_cast<double>(scale.to - scale.from);
    const double yScale = area.height() / (scale.top - scale.bottom);
    std::vector<Line> lines;
    for (std::size_t i = 0; i < reduced.size(); ++i) {
        if (hidden[i])
            continue;
        Line line {sensorColour(static_cast<qsizetype>(i)), {}, {}};
        std::vector<QPointF> piece;
        for (const QPointF &p : reduced[i].points) {
            if (std::isnan(p.y())) {
                if (!piece.empty())
                    line.pieces.push_back(std::move(piece));
                piece.clear();
                continue;
            }
            piece.emplace_back(area.left() + (p.x() - static_cast<double>(scale.from)) * xScale,
                area.bottom() - (p.y() - scale.bottom) * yScale);
        }
        if (!piece.empty())
            line.pieces.push_back(std::move(piece));
        for (const LimitLine &limit : limits)
            if (limit.sensor == i)
                line.limits.push_back(area.bottom() - (limit.celsius - scale.bottom) * yScale);
        lines.push_back(std::move(line));
    }
    prepareGeometryChange();
    m_area = area;
    m_lines = std::move(lines);
    update();
}

void LinesItem::paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *)
{
    std::size_t count = 0;
    for (const Line &line : m_lines)
        for (const std::vector<QPointF> &piece : line.pieces)
            count += piece.size();
    const bool smooth = count <= SmoothPoints;
    painter->save();
    painter->setClipRect(m_area);
    painter->setRenderHint(QPainter::Antialiasing, smooth);
    // The limits first: every line of readings stays in front of them.
    for (const Line &line : m_lines) {
        painter->setPen(QPen(line.colour, 1.2, Qt::DashLine));
        for (const double y : line.limits)
            painter->drawLine(QPointF(m_area.left(), y), QPointF(m_area.right(), y));
    }
    for (const Line &line : m_lines) {
        QPen pen(line.colour, smooth ? 1.6 : 0);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        const QPen dot(line.colour, 3.5, Qt::SolidLine, Qt::RoundCap);
        painter->setPen(pen);
        for (const std::vector<QPointF> &piece : line.pieces) {
            if (piece.size() == 1) {
                // A reading alone between gaps: a dot, not nothing.
                painter->setPen(dot);
                painter->drawPoint(piece.front());
                painter->setPen(pen);
            } else {
                painter->drawPolyline(piece.data(), static_cast<int>(piece.size()));
            }
        }
    }
    painter->restore();
}

} // namespace chart
