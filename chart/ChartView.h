// The chart's view: the wheel zooms the time axis about the pointer, dragging pans, a double click
// shows the whole range again.
#pragma once

#include <QChartView>

namespace chart {

class ReadingsChart;

class ChartView : public QChartView
{
    Q_OBJECT

public:
    ChartView(ReadingsChart *chart, QWidget *parent);

protected:
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    ReadingsChart *m_readings;
    bool m_dragging = false;
    double m_lastX = 0;
};

} // namespace chart
