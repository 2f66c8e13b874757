#include "chart/ChartView.h"

#include "chart/ReadingsChart.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>

namespace chart {

ChartView::ChartView(ReadingsChart *chart, QWidget *parent)
    : QChartView(chart, parent)
    , m_readings(chart)
{
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::NoRubberBand);
}

void ChartView::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y();
    if (steps == 0) {
        QChartView::wheelEvent(event);
        return;
    }
    // One notch of the wheel is 120; each zooms by a fifth.
    m_readings->zoomTime(std::pow(0.8, steps / 120.0), mapToScene(event->position().toPoint()).x());
    event->accept();
}

void ChartView::mousePressEvent(QMouseEvent *event)
{
    // The legend takes its clicks first; only a press in the plot starts a drag.
    QChartView::mousePressEvent(event);
    const QPointF at = mapToScene(event->position().toPoint());
    if (event->button() == Qt::LeftButton && m_readings->plotArea().contains(at)) {
        m_dragging = true;
        m_lastX = at.x();
        setCursor(Qt::ClosedHandCursor);
        event->accept();
    }
}

void ChartView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging) {
        QChartView::mouseMoveEvent(event);
        return;
    }
    const double x = mapToScene(event->position().toPoint()).x();
    m_readings->panTime(x - m_lastX);
    m_lastX = x;
    event->accept();
}

void ChartView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_dragging && event->button() == Qt::LeftButton) {
        m_dragging = false;
        unsetCursor();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void ChartView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (m_readings->plotArea().contains(mapToScene(event->position().toPoint()))) {
        m_readings->showWhole();
        event->accept();
        return;
    }
    QChartView::mouseDoubleClickEvent(event);
}

void ChartView::resizeEvent(QResizeEvent *event)
{
    QChartView::resizeEvent(event);
    m_readings->refresh();
}

} // namespace chart
