#include "toolkit/chart/chartview.h"

#include <QApplication>
#include <QChart>
#include <QClipboard>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>

namespace lumeko::chart {

ChartView::ChartView(QWidget *parent) : QChartView(parent)
{
    setRenderHint(QPainter::Antialiasing);
    setMinimumSize(320, 240);
}

void ChartView::showChart(QChart *chart)
{
    QChart *old = this->chart();
    setChart(chart);
    // setChart leaves the chart it replaces to its owner: here, the view.
    if (old && old != chart) delete old;
}

void ChartView::showData(const ChartData &data, ChartKind kind, const ChartOptions &options)
{
    showChart(buildChart(data, kind, options));
}

QImage ChartView::image(QSize size) const
{
    if (size.isEmpty()) size = this->size();
    QImage picture(size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    QChart *c = chart();
    if (!c) return picture;
    // The chart is laid out for the picture's size and put back for the view after.
    const QRectF before = c->geometry();
    c->resize(size);
    QApplication::sendPostedEvents(); // the chart lays itself out on a posted event
    {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        c->scene()->render(&painter, QRectF(QPointF(0, 0), size), c->sceneBoundingRect());
    }
    c->setGeometry(before);
    QApplication::sendPostedEvents();
    return picture;
}

void ChartView::copyToClipboard() const
{
    QApplication::clipboard()->setImage(image());
}

bool ChartView::saveImage(const QString &path, QString *error, QSize size) const
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    QByteArray format;
    if (suffix == u"png")
        format = "PNG";
    else if (suffix == u"jpg" || suffix == u"jpeg")
        format = "JPEG";
    else if (suffix == u"bmp")
        format = "BMP";
    if (format.isEmpty()) {
        if (error) *error = QStringLiteral("不支持的图片格式：%1（可用 PNG、JPEG 或 BMP）").arg(suffix.isEmpty() ? path : suffix);
        return false;
    }
    QImageWriter writer(path, format);
    if (format == "JPEG") writer.setQuality(92);
    // JPEG and BMP have no transparency: the picture is drawn on white anyway.
    if (!writer.write(image(size).convertToFormat(QImage::Format_RGB32))) {
        if (error) *error = QStringLiteral("图片保存失败：%1").arg(writer.errorString());
        return false;
    }
    return true;
}

QString imageFileFilter()
{
    return QStringLiteral("PNG 图片 (*.png);;JPEG 图片 (*.jpg *.jpeg);;位图 BMP (*.bmp)");
}

} // namespace lumeko::chart
