// The chart: Qt Charts' axes, with a legend and lines of our own, for the time window and the data.
#include "chart/ReadingsChart.h"

#include "chart/AxisTicks.h"
#include "chart/ChartLegend.h"
#include "chart/ChartLimits.h"
#include "chart/LinesItem.h"
#include "chart/LogReading.h"

#include <QCategoryAxis>
#include <QFontMetrics>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QValueAxis>
#include <algorithm>

namespace chart {

namespace {

// Narrower than this (a phone's width), a chart shows its legend above the plot.
constexpr qreal NarrowWidth = 500;

} // namespace

ReadingsChart::ReadingsChart(const ChartData &data)
    : m_data(data)
{
    setTitle(QString());
    // Qt's legend shows one column and drops the names that do not fit; ours shows them all.
    legend()->hide();
    m_legend = new ChartLegend(this);
    m_legend->setOnClick([this](int sensor) { toggleLine(sensor); });
    m_note = new QGraphicsSimpleTextItem(this);
    m_time = new QCategoryAxis(this);
    m_time->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_celsius = new QValueAxis(this);
    m_celsius->setTitleText(QStringLiteral("\u00B0C"));
    addAxis(m_time, Qt::AlignBottom);
    addAxis(m_celsius, Qt::AlignLeft);
    m_lines = new LinesItem(this);
    connect(this, &QChart::plotAreaChanged, this, [this] { refresh(); });
    dataChanged();
}

ReadingsChart::~ReadingsChart() = default;

void ReadingsChart::resizeEvent(QGraphicsSceneResizeEvent *event)
{
    QChart::resizeEvent(event);
    syncLegend(Layout::Anew);
}

void ReadingsChart::syncLegend(Layout layout)
{
    QStringList names;
    for (qsizetype i = 0; i < m_data.sensorCount(); ++i)
        names.append(m_data.sensorName(i));
    QStringList notes {leftOutText(m_data), limitsNote(m_data)};
    notes.removeAll(QString());
    const QString note = notes.join(QLatin1Char(' '));
    if (names == m_names && note == m_note->text() && layout == Layout::IfChanged)
        return;
    m_names = names;
    m_hidden.resize(static_cast<std::size_t>(names.size()), false);
    constexpr int Margin = 12;
    m_note->setText(note);
    const qreal noteHeight = note.isEmpty() ? 0 : m_note->boundingRect().height() + 4;
    m_note->setPos(Margin, size().height() - Margin / 2.0 - noteHeight);
    std::vector<QColor> colours;
    for (qsizetype i = 0; i < names.size(); ++i)
        colours.push_back(sensorColour(i));
    // The legend takes up to two fifths of the width and the plot keeps the rest; on a chart as narrow as a
    // phone's it goes above the plot instead, in up to a third of the height, so the plot keeps the width.
    const bool narrow = size().width() < NarrowWidth;
    const qreal bandHeight = size().height() - 2 * Margin - noteHeight;
    const QRectF band(0, Margin, size().width() - Margin, narrow ? bandHeight / 3 : bandHeight);
    const qreal legendWidth
        = m_legend->place(band, narrow ? band.width() - Margin : 0.4 * size().width(), names, colours);
    m_legend->setHidden(m_hidden);
    const int legendHeight = narrow ? static_cast<int>(m_legend->boundingRect().height()) : 0;
    const QMargins margins(Margin, Margin + legendHeight,
        Margin + (narrow ? 0 : static_cast<int>(legendWidth)), Margin + static_cast<int>(noteHeight));
    if (margins != this->margins())
        setMargins(margins);
}

void ReadingsChart::toggleLine(int sensor)
{
    if (sensor < 0 || static_cast<std::size_t>(sensor) >= m_hidden.size())
        return;
    m_hidden[static_cast<std::size_t>(sensor)] = !m_hidden[static_cast<std::size_t>(sensor)];
    m_legend->setHidden(m_hidden);
    refresh();
}

void ReadingsChart::dataChanged()
{
    syncLegend();
    refresh();
}

void ReadingsChart::zoomTime(double factor, double atX)
{
    const QRectF area = plotArea();
    if (area.width() <= 0)
        return;
    m_window.zoom(factor, (atX - area.left()) / area.width(), m_range, wholeRange(m_data));
    refresh();
}

void ReadingsChart::panTime(double pixels)
{
    const QRectF area = plotArea();
    if (area.width() <= 0 || following())
        return;
    m_window.pan(pixels / area.width(), m_range, wholeRange(m_data));
    refresh();
}

void ReadingsChart::showWhole()
{
    m_window.showWhole();
    refresh();
}

void ReadingsChart::showLast(qint64 ms)
{
    m_window.showLast(ms, wholeRange(m_data));
    refresh();
}

void ReadingsChart::refresh()
{
    if (m_refreshing)
        return;
    m_refreshing = true;
    // The data may have grown since the last call: every sensor needs its name first.
    syncLegend();
    const QRectF area = plotArea();
    m_range = m_window.shown(wholeRange(m_data));
    const auto [from, to] = m_range;
    const std::vector<ReducedLine> reduced
        = m_data.reduce(from, to, std::max(1, static_cast<int>(area.width())));
    const std::vector<LimitLine> limits = limitLines(m_data, reduced, m_hidden);
    setTimeAxis(from, to, static_cast<int>(area.width()));
    const auto [bottom, top] = setCelsiusAxis(
        celsiusSpan(reduced, m_hidden, limits).value_or(std::make_pair(0.0, 30.0)), area.height());
    // The axes' labels may have moved the plot area; the lines are laid out in the area as it is now.
    m_lines->set(plotArea(), {from, to, bottom, top}, reduced, m_hidden, limits);
    m_refreshing = false;
}

// A category axis, so that the labels stand at round times whatever the range.
void ReadingsChart::setTimeAxis(qint64 from, qint64 to, int width)
{
    const QFontMetrics metrics(m_time->labelsFont());
    const TimeTicks ticks = fittingTimeTicks(
        from, to, width, [&metrics](const QString &label) { return metrics.horizontalAdvance(label); });
    // Labels laid out anew only when they change: that costs more than the lines.
    if (ticks.ticks != m_ticks || ticks.format != m_tickFormat) {
        for (const QString &label : m_time->categoriesLabels())
            m_time->remove(label);
        const QStringList labels = timeLabels(ticks.ticks, ticks.format);
        for (std::size_t i = 0; i < ticks.ticks.size(); ++i)
            m_time->append(labels[static_cast<qsizetype>(i)], static_cast<double>(ticks.ticks[i]));
        m_ticks = ticks.ticks;
        m_tickFormat = ticks.format;
    }
    m_time->setStartValue(static_cast<double>(from));
    m_time->setRange(static_cast<double>(from), static_cast<double>(to));
}

std::pair<double, double> ReadingsChart::setCelsiusAxis(std::pair<double, double> span, double height)
{
    const CelsiusAxis axis = celsiusAxis(span.first, span.second, height);
    m_celsius->setTickCount(axis.ticks);
    m_celsius->setRange(axis.bottom, axis.top);
    m_celsius->setLabelFormat(QStringLiteral("%.%1f").arg(axis.decimals));
    return {axis.bottom, axis.top};
}

} // namespace chart
