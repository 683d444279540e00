#include "toolkit/report/ui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace lumeko::report {

namespace {

const QColor kInk(0x30, 0x30, 0x30);
const QColor kBlue(0x1f, 0x6f, 0xd6);

void page(QPainter &p)
{
    p.setPen(QPen(kInk, 2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(7, 3, 18, 26));
}

void lines(QPainter &p, double left = 11, double right = 21)
{
    p.setPen(QPen(kInk, 1.5));
    for (int y = 9; y <= 23; y += 4) p.drawLine(QPointF(left, y), QPointF(right, y));
}

void magnifier(QPainter &p, QPointF centre, double radius)
{
    p.setPen(QPen(kInk, 2.5));
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(kInk, 4, Qt::SolidLine, Qt::RoundCap));
    const QPointF d(radius * 0.75, radius * 0.75);
    p.drawLine(centre + d, centre + d * 1.9);
}

} // namespace

QIcon glyphIcon(Glyph glyph)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(kInk, 2.5));
    switch (glyph) {
    case Glyph::ZoomIn:
    case Glyph::ZoomOut:
        magnifier(p, QPointF(13, 13), 9);
        p.setPen(QPen(kInk, 2.5));
        p.drawLine(QPointF(8, 13), QPointF(18, 13));
        if (glyph == Glyph::ZoomIn) p.drawLine(QPointF(13, 8), QPointF(13, 18));
        break;
    case Glyph::WholePage:
        page(p);
        lines(p);
        break;
    case Glyph::PageWidth:
        page(p);
        lines(p);
        p.setPen(QPen(kBlue, 2.5));
        p.drawLine(QPointF(1, 16), QPointF(31, 16));
        for (double x : {1.0, 31.0}) {
            const double in = x < 16 ? 4 : -4;
            p.drawLine(QPointF(x, 16), QPointF(x + in, 12));
            p.drawLine(QPointF(x, 16), QPointF(x + in, 20));
        }
        break;
    case Glyph::Printer:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 3, 14, 10));
        p.setBrush(QColor(0xb0, 0xb0, 0xb0));
        p.drawRoundedRect(QRectF(3, 12, 26, 12), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 19, 14, 10));
        break;
    case Glyph::Preview:
        page(p);
        lines(p, 11, 17);
        magnifier(p, QPointF(19, 18), 6);
        break;
    case Glyph::PageSetup:
        page(p);
        p.setPen(QPen(kBlue, 1.5, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(11, 7, 10, 18));
        break;
    case Glyph::Memo: {
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 5, 26, 22));
        QFont f(QStringLiteral("DejaVu Serif"));
        f.setPixelSize(20);
        f.setBold(true);
        p.setFont(f);
        p.setPen(kBlue);
        p.drawText(QRectF(3, 5, 26, 22), Qt::AlignCenter, QStringLiteral("A"));
        break;
    }
    case Glyph::Picture: {
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(QColor(0xdd, 0xee, 0xff));
        p.drawRect(QRectF(3, 5, 26, 22));
        QPainterPath hills;
        hills.moveTo(4, 26);
        hills.lineTo(12, 14);
        hills.lineTo(18, 21);
        hills.lineTo(22, 17);
        hills.lineTo(28, 26);
        hills.closeSubpath();
        p.setBrush(QColor(0x4c, 0x9a, 0x4c));
        p.setPen(Qt::NoPen);
        p.drawPath(hills);
        p.setBrush(QColor(0xf0, 0xb0, 0x20));
        p.drawEllipse(QPointF(22, 11), 3, 3);
        break;
    }
    case Glyph::Line:
        p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 27), QPointF(28, 5));
        break;
    case Glyph::Rectangle:
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(4, 8, 24, 17));
        break;
    case Glyph::Band:
        p.setPen(QPen(kInk, 1.5));
        p.setBrush(QColor(0xd6, 0xe4, 0xf5));
        p.drawRect(QRectF(3, 6, 26, 6));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3, 12, 26, 14));
        break;
    case Glyph::Delete:
        p.setPen(QPen(QColor(0xc0, 0x30, 0x30), 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 8), QPointF(24, 24));
        p.drawLine(QPointF(24, 8), QPointF(8, 24));
        break;
    case Glyph::Undo: {
        p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        QPainterPath back;
        back.moveTo(9, 13);
        back.cubicTo(14, 6, 28, 8, 26, 20);
        back.cubicTo(25, 25, 20, 27, 16, 27);
        p.drawPath(back);
        p.setBrush(kInk);
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygonF({QPointF(3, 8), QPointF(13, 7), QPointF(6, 17)}));
        break;
    }
    }
    return QIcon(pixmap);
}

} // namespace lumeko::report
