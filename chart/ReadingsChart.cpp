// The chart: Qt Charts gives the axes and the legend; the lines are drawn from the reduced readings, so
// that a gap stays a gap and a redraw costs a few points per pixel column.
#include "chart/ReadingsChart.h"

#include "chart/AxisTicks.h"
#include "chart/ChartLegend.h"
#include "chart/ChartLimits.h"
#include "chart/LogReading.h"
#include "logging/TextFormats.h"

#include <QCategoryAxis>
#include <QDateTime>
#include <QFontMetrics>
#include <QGraphicsItem>
#include <QGraphicsSimpleTextItem>
#include <QLegend>
#include <QLocale>
#include <QPainter>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace chart {

namespace {

constexpr double MinZoomMs = 5 * 1000;
constexpr std::size_t SmoothPoints = 20000;
// Narrower than this (a phone's width), a chart shows its legend above the plot.
constexpr qreal NarrowWidth = 500;

// Distinct colours in a fixed order, so a sensor keeps its colour for as long as the chart lives.
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

} // namespace

// The lines in pixels, as the last refresh laid them out.
class LinesItem : public QGraphicsItem
{
public:
    struct Line
    {
        QColor colour;
        std::vector<std::vector<QPointF>> pieces;
        std::vector<double> limits; // pixel rows of the sensor's alarm limits
    };

    explicit LinesItem(QGraphicsItem *parent)
        : QGraphicsItem(parent)
    {
        setZValue(10);
    }
    void set(const QRectF &area, std::vector<Line> lines)
    {
        prepareGeometryChange();
        m_area = area;
        m_lines = std::move(lines);
        update();
    }
    QRectF boundingRect() const override { return m_area; }
    void paint(QPainter *painter, const QStyleOptionGraphicsItem *, QWidget *) override
    {
        // Sparse lines are drawn smooth; dense ones, a few points per pixel column anyway, in plain
        // one-pixel lines, which costs a fraction of the time.
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

private:
    QRectF m_area;
    std::vector<Line> m_lines;
};

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
    syncLegend(true);
}

void ReadingsChart::syncLegend(bool resized)
{
    QStringList names;
    for (qsizetype i = 0; i < m_data.sensorCount(); ++i)
        names.append(m_data.sensorName(i));
    QStringList notes {leftOutText(m_data), limitsNote(m_data)};
    notes.removeAll(QString());
    const QString note = notes.join(QLatin1Char(' '));
    if (names == m_names && note == m_note->text() && !resized)
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

std::pair<qint64, qint64> ReadingsChart::wholeRange() const
{
    if (m_data.isEmpty()) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        return {now - 60 * 1000, now};
    }
    const qint64 span = m_data.lastTime() - m_data.firstTime();
    const qint64 margin = std::max<qint64>(span / 100, 1000);
    return {m_data.firstTime() - margin, m_data.lastTime() + margin};
}

void ReadingsChart::setWindow(qint64 from, qint64 to)
{
    const auto whole = wholeRange();
    // Never wider than the whole range nor narrower than a few seconds.
    if (to - from >= whole.second - whole.first) {
        m_window.reset();
    } else {
        if (static_cast<double>(to - from) < MinZoomMs) {
            const qint64 middle = from + (to - from) / 2;
            from = middle - static_cast<qint64>(MinZoomMs / 2);
            to = middle + static_cast<qint64>(MinZoomMs / 2);
        }
        const qint64 shift
            = from < whole.first ? whole.first - from : (to > whole.second ? whole.second - to : 0);
        m_window = std::make_pair(from + shift, to + shift);
    }
    refresh();
}

void ReadingsChart::zoomTime(double factor, double atX)
{
    const QRectF area = plotArea();
    if (area.width() <= 0)
        return;
    // The time under the pointer is read on the axis as shown; the zoom starts from the data's own
    // range, not from the round one the whole view shows.
    const auto [shownFrom, shownTo] = m_range;
    const double at = static_cast<double>(shownFrom)
        + std::clamp((atX - area.left()) / area.width(), 0.0, 1.0) * static_cast<double>(shownTo - shownFrom);
    const auto [from, to] = m_window ? *m_window : wholeRange();
    setWindow(static_cast<qint64>(at - (at - static_cast<double>(from)) * factor),
        static_cast<qint64>(at + (static_cast<double>(to) - at) * factor));
}

void ReadingsChart::panTime(double pixels)
{
    const QRectF area = plotArea();
    if (area.width() <= 0 || following())
        return;
    const auto [from, to] = m_range;
    const auto shift = static_cast<qint64>(pixels / area.width() * static_cast<double>(to - from));
    setWindow(from - shift, to - shift);
}

void ReadingsChart::showWhole()
{
    m_window.reset();
    refresh();
}

void ReadingsChart::showLast(qint64 ms)
{
    const qint64 end = wholeRange().second;
    setWindow(end - ms, end);
}

void ReadingsChart::refresh()
{
    if (m_refreshing)
        return;
    m_refreshing = true;
    // The data may have grown since the last call: every sensor needs its name first.
    syncLegend();
    const QRectF area = plotArea();
    m_range = m_window ? *m_window : wholeRange();
    const auto [from, to] = m_range;
    const std::vector<ReducedLine> reduced
        = m_data.reduce(from, to, std::max(1, static_cast<int>(area.width())));

    const std::vector<LimitLine> limits = limitLines(m_data, reduced, m_hidden);
    const auto [low, high] = celsiusSpan(reduced, m_hidden, limits).value_or(std::make_pair(0.0, 30.0));
    const double margin = std::max(0.03 * (high - low), 0.2);
    const double bottom = low - margin;
    const double top = high + margin;

    // A category axis, so that the labels stand at round times whatever the range.
    // As many labels as fit side by side: the step is chosen for a guessed label width, then again for
    // the width of a label in the format that step brings. The axis shortens a label to the width divided
    // by one more than the labels' count, whatever the ticks' spacing, so that width must hold it.
    const QLocale locale;
    const auto fitting = [&](int labelWidth) {
        return std::clamp(static_cast<int>(area.width()) / (labelWidth + 24), 2, 14);
    };
    qint64 step = 0;
    std::vector<qint64> ticks = roundTicks(from, to, fitting(60), step);
    QString format = timeFormat(step, to - from);
    const QFontMetrics metrics(m_time->labelsFont());
    ticks = roundTicks(from, to,
        fitting(metrics.horizontalAdvance(locale.toString(QDateTime::fromMSecsSinceEpoch(to), format))),
        step);
    format = timeFormat(step, to - from);
    // Labels laid out anew only when they change: that costs more than the lines.
    if (ticks != m_ticks || format != m_tickFormat) {
        for (const QString &label : m_time->categoriesLabels())
            m_time->remove(label);
        for (const qint64 tick : ticks) {
            // The axis keeps one label per text, and the hour that the end of summer time repeats
            // has its texts twice: the second gets an invisible mark.
            QString label = locale.toString(QDateTime::fromMSecsSinceEpoch(tick), format);
            while (m_time->categoriesLabels().contains(label))
                label += QChar(0x200B);
            m_time->append(label, static_cast<double>(tick));
        }
        m_ticks = ticks;
        m_tickFormat = format;
    }
    m_time->setStartValue(static_cast<double>(from));
    m_time->setRange(static_cast<double>(from), static_cast<double>(to));
    int celsiusTicks = 0;
    const auto [niceBottom, niceTop] = roundCelsius(
        bottom, top, std::clamp(static_cast<int>(area.height() / 40) + 1, 3, 12), celsiusTicks);
    m_celsius->setTickCount(celsiusTicks);
    m_celsius->setRange(niceBottom, niceTop);
    const double celsiusStep = (niceTop - niceBottom) / std::max(1, celsiusTicks - 1);
    int decimals = 0;
    while (decimals < 3
        && std::fabs(celsiusStep * std::pow(10, decimals) - std::round(celsiusStep * std::pow(10, decimals)))
            > 1e-6)
        ++decimals;
    m_celsius->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));

    // The axes' labels may have moved the plot area; the lines are laid out in the area as it is now.
    const QRectF now = plotArea();
    const double xScale = now.width() / static_cast<double>(to - from);
    const double yScale = now.height() / (niceTop - niceBottom);
    std::vector<LinesItem::Line> lines;
    for (std::size_t i = 0; i < reduced.size(); ++i) {
        if (m_hidden[i])
            continue;
        LinesItem::Line line {sensorColour(static_cast<qsizetype>(i)), {}, {}};
        std::vector<QPointF> piece;
        for (const QPointF &p : reduced[i].points) {
            if (std::isnan(p.y())) {
                if (!piece.empty())
                    line.pieces.push_back(std::move(piece));
                piece.clear();
                continue;
            }
            piece.emplace_back(now.left() + (p.x() - static_cast<double>(from)) * xScale,
                now.bottom() - (p.y() - niceBottom) * yScale);
        }
        if (!piece.empty())
            line.pieces.push_back(std::move(piece));
        for (const LimitLine &limit : limits) {
            if (limit.sensor == i)
                line.limits.push_back(now.bottom() - (limit.celsius - niceBottom) * yScale);
        }
        lines.push_back(std::move(line));
    }
    m_lines->set(now, std::move(lines));
    m_refreshing = false;
}

} // namespace chart
