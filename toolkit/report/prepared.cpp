#include "toolkit/report/prepared.h"

#include "toolkit/report/painting.h"

#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

namespace lumeko::report {

QStringList PreparedReport::texts(int page) const
{
    QStringList out;
    if (page < 0 || page >= pages.size()) return out;
    for (const PageItem &item : pages[page].items)
        if (item.kind == ObjectKind::Memo) out << item.text;
    return out;
}

namespace {

void paintItem(QPainter &p, const PageItem &item, double dotsPerInch)
{
    switch (item.kind) {
    case ObjectKind::Memo: {
        p.setFont(unitFont(item.font, dotsPerInch));
        p.setPen(Qt::black);
        int flags = int(item.alignment);
        if (item.wordWrap) flags |= Qt::TextWordWrap;
        // A little inner space keeps texts off their frame lines.
        p.drawText(item.rect.adjusted(1.5, 0.5, -1.5, -0.5), flags, item.text);
        paintFrame(p, item.rect, item.frame);
        break;
    }
    case ObjectKind::Picture: {
        if (!item.picture.isNull()) {
            QRectF target = item.rect;
            if (item.keepAspect) {
                QSizeF size = QSizeF(item.picture.size()).scaled(item.rect.size(), Qt::KeepAspectRatio);
                target = QRectF(QPointF(0, 0), size);
                target.moveCenter(item.rect.center());
            }
            p.drawImage(target, item.picture);
        }
        paintFrame(p, item.rect, item.frame);
        break;
    }
    case ObjectKind::Line:
        p.setPen(QPen(item.frame.color, std::max(item.frame.width, 0.1)));
        p.drawLine(item.rect.topLeft(), item.rect.bottomRight());
        break;
    case ObjectKind::Rectangle: {
        Frame f = item.frame;
        if (!f.any()) f = Frame::all(item.frame.width);
        paintFrame(p, item.rect, f);
        break;
    }
    }
}

} // namespace

void PreparedReport::paintPage(QPainter &painter, int pageIndex, const QRectF &target) const
{
    if (pageIndex < 0 || pageIndex >= pages.size()) return;
    installFontSubstitutions();
    const QSizeF units = page.sizeUnits();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(target.topLeft());
    painter.scale(target.width() / units.width(), target.height() / units.height());
    painter.setClipRect(QRectF(QPointF(0, 0), units));
    const double dpi = painter.device() ? painter.device()->logicalDpiY() : 72;
    for (const PageItem &item : pages[pageIndex].items) paintItem(painter, item, dpi);
    painter.restore();
}

QImage PreparedReport::pageImage(int pageIndex, double dotsPerMm) const
{
    const QSizeF mm = page.sizeMm();
    QImage image(qMax(1, qRound(mm.width() * dotsPerMm)), qMax(1, qRound(mm.height() * dotsPerMm)), QImage::Format_RGB32);
    image.setDotsPerMeterX(qRound(dotsPerMm * 1000));
    image.setDotsPerMeterY(qRound(dotsPerMm * 1000));
    image.fill(Qt::white);
    QPainter p(&image);
    paintPage(p, pageIndex, QRectF(QPointF(0, 0), QSizeF(image.size())));
    return image;
}

bool PreparedReport::exportPdf(const QString &path, QString *error) const
{
    QPdfWriter writer(path);
    writer.setCreator(QStringLiteral("LumekoAchieve"));
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(page.sizeMm(), QPageSize::Millimeter), QPageLayout::Portrait, QMarginsF()));
    QPainter p;
    if (!p.begin(&writer)) {
        if (error) *error = QStringLiteral("cannot write the PDF file %1").arg(path);
        return false;
    }
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0) writer.newPage();
        paintPage(p, i, QRectF(0, 0, writer.width(), writer.height()));
    }
    return p.end();
}

bool PreparedReport::print(QPrinter &printer, QString *error) const
{
    printer.setFullPage(true);
    QPainter p;
    if (!p.begin(&printer)) {
        if (error) *error = QStringLiteral("the printer cannot be opened");
        return false;
    }
    int from = printer.fromPage() > 0 ? printer.fromPage() - 1 : 0;
    int to = printer.toPage() > 0 ? std::min(printer.toPage(), pageCount()) - 1 : pageCount() - 1;
    for (int i = from; i <= to; ++i) {
        if (i > from) printer.newPage();
        // Each page fills the printer's paper.
        paintPage(p, i, printer.paperRect(QPrinter::DevicePixel));
    }
    return p.end();
}

} // namespace lumeko::report
