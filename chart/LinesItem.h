// The chart's lines in pixels, drawn from the reduced readings, so that a gap stays a gap and a redraw costs
// a few points per pixel column; each sensor keeps its colour.
#pragma once

#include "chart/ChartData.h"
#include "chart/ChartLimits.h"

#include <QColor>
#include <QGraphicsItem>
#include <vector>

namespace chart {

// Distinct colours in a fixed order, so a sensor keeps its colour for as long as the chart lives.
QColor sensorColour(qsizetype i);

class LinesItem : public QGraphicsItem
{
public:
    // Where the plot's corners are in time and °C.
    struct Scale
    {
        qint64 from = 0;
        qint64 to = 1;
        double bottom = 0;
        double top = 1;
    };

    explicit LinesItem(QGraphicsItem *parent);
    // The shown lines and their limits laid out in `area`.
    void set(const QRectF &area, const Scale &scale, const std::vector<ReducedLine> &reduced,
        const std::vector<bool> &hidden, const std::vector<LimitLine> &limits);

    QRectF boundingRect() const override { return m_area; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *) override;

private:
    struct Line
    {
        QColor colour;
        std::vector<std::vector<QPointF>> pieces;
        std::vector<double> limits; // pixel rows of the sensor's alarm limits
    };

    QRectF m_area;
    std::vector<Line> m_lines;
};

} // namespace chart
