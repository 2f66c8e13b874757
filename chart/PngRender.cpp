// Renders a log file's chart into a PNG on an image, with no display needed.
#include "chart/PngRender.h"

#include "chart/LogReading.h"
#include "chart/ReadingsChart.h"

#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>

namespace chart {

QImage renderChart(const ChartData &data, const QSize &size, std::optional<qint64> lastMs)
{
    QGraphicsScene scene;
    auto *readings = new ReadingsChart(data);
    scene.addItem(readings);
    readings->setGeometry(QRectF(QPointF(0, 0), QSizeF(size)));
    // The layout settles the plot area; the chart is then drawn for it.
    if (QGraphicsLayout *layout = readings->layout())
        layout->activate();
    if (lastMs)
        readings->showLast(*lastMs);
    readings->refresh();
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)), QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    return image;
}

PngResult renderLogPng(
    const QString &logPath, const QString &pngPath, const QSize &size, const QString &sensorsPath)
{
    const base::Result<logging::SensorTable> sensors
        = sensorsPath.isEmpty() ? logging::SensorTable() : logging::readSensorsFile(sensorsPath);
    if (!sensors)
        return {2, sensors.failure()};
    const LogReading read = readLogFile(logPath, *sensors);
    if (!read.error.isEmpty())
        return {UnreadableLogStatus, read.error};
    if (read.dataLines == 0)
        return {NoDataLineStatus, noDataLineText(logPath)};

    const QImage image = renderChart(read.data, size);
    if (!image.save(pngPath, "PNG"))
        return {2, QStringLiteral("Cannot write the PNG \"%1\".").arg(pngPath)};
    QStringList notes {unreadableText(read.unreadable), leftOutText(read.data)};
    notes.removeAll(QString());
    return {0, notes.join(QStringLiteral("; "))};
}

} // namespace chart
