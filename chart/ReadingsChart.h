// The chart itself, for the window and the PNG alike: a line per sensor over local time and °C.
#pragma once

#include "chart/ChartData.h"
#include "chart/TimeWindow.h"

#include <QChart>
#include <utility>

class QCategoryAxis;
class QGraphicsSimpleTextItem;
class QValueAxis;

namespace chart {

class ChartLegend;
class LinesItem;

class ReadingsChart : public QChart
{
    Q_OBJECT

public:
    explicit ReadingsChart(const ChartData &data);
    ~ReadingsChart() override;

    // New sensors or cycles: names and lines anew, the view kept where the user put it.
    void dataChanged();
    // Draws again at the current size and range.
    void refresh();

    // Zoom about the time at a pixel, factor < 1 zooms in; pan by pixels; back to the whole range.
    void zoomTime(double factor, double atX);
    void panTime(double pixels);
    void showWhole();
    // The last `ms` milliseconds up to the latest cycle (the whole range when it is shorter).
    void showLast(qint64 ms);
    // The whole range, following new cycles; false while the user looks at a part.
    bool following() const { return m_window.following(); }
    TimeRange timeRange() const { return m_range; }
    // Hides or shows a sensor's line, as a click on its name does.
    void toggleLine(int sensor);

protected:
    void resizeEvent(QGraphicsSceneResizeEvent *event) override;

private:
    // The legend and the note below the plot for the sensors and the size as they are now.
    enum class Layout { IfChanged, Anew };
    void syncLegend(Layout layout = Layout::IfChanged);
    // The axes for the range and the readings in view; returns the °C at the plot's bottom and top.
    void setTimeAxis(qint64 from, qint64 to, int width);
    std::pair<double, double> setCelsiusAxis(std::pair<double, double> span, double height);

    const ChartData &m_data;
    QCategoryAxis *m_time = nullptr;
    QValueAxis *m_celsius = nullptr;
    ChartLegend *m_legend = nullptr;
    QGraphicsSimpleTextItem *m_note = nullptr;
    QStringList m_names;
    std::vector<bool> m_hidden;
    LinesItem *m_lines = nullptr;
    TimeWindow m_window;
    TimeRange m_range {0, 1}; // as last drawn
    std::vector<qint64> m_ticks;
    QString m_tickFormat;
    bool m_refreshing = false;
};

} // namespace chart
