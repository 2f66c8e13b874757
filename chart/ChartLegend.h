// The chart's legend: every line's colour and name in as many columns, and as small a type, as it takes to
// show them all beside the plot; a click hides or shows a line.
#pragma once

#include <QColor>
#include <QFont>
#include <QGraphicsItem>
#include <QStringList>
#include <functional>
#include <vector>

namespace chart {

class ChartLegend : public QGraphicsItem
{
public:
    explicit ChartLegend(QGraphicsItem *parent);

    // Lays the names out in a band at the right of `area`, no wider than `maxWidth`; returns its width.
    qreal place(
        const QRectF &area, qreal maxWidth, const QStringList &names, const std::vector<QColor> &colours);
    // Told the line whose name was clicked.
    void setOnClick(std::function<void(int)> onClick) { m_onClick = std::move(onClick); }
    void setHidden(const std::vector<bool> &hidden);

    QRectF boundingRect() const override { return m_bounds; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *) override;

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent *event) override;

private:
    struct Entry
    {
        QRectF rect;
        QString name;
        QColor colour;
    };
    std::vector<Entry> m_entries;
    std::vector<bool> m_hidden;
    QFont m_font;
    QRectF m_bounds;
    std::function<void(int)> m_onClick;
};

} // namespace chart
