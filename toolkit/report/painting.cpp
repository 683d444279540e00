#include "toolkit/report/painting.h"

#include <QImage>
#include <QPainter>
#include <mutex>

namespace lumeko::report {

namespace {

constexpr double kMmPerPoint = 25.4 / 72;

// A device of 72 dots per inch, on which a font's point size equals its pixel size.
const QImage &referenceDevice()
{
    static const QImage image = [] {
        QImage i(1, 1, QImage::Format_RGB32);
        i.setDotsPerMeterX(qRound(72 / 0.0254));
        i.setDotsPerMeterY(qRound(72 / 0.0254));
        return i;
    }();
    return image;
}

} // namespace

void installFontSubstitutions()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const QStringList cjk = {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Serif CJK SC")};
        for (const char *name : {"宋体", "新宋体", "黑体", "楷体", "仿宋", "微软雅黑", "SimSun", "SimHei", "Microsoft YaHei"})
            QFont::insertSubstitutions(QString::fromUtf8(name), cjk);
    });
}

QFont unitFont(const QFont &font, double dotsPerInch)
{
    QFont f(font);
    const double units = font.pointSizeF() * kMmPerPoint * kUnitsPerMmY;
    f.setPointSizeF(units * 72 / dotsPerInch);
    return f;
}

void paintFrame(QPainter &p, const QRectF &r, const Frame &f)
{
    if (!f.any() || f.width <= 0) return;
    p.setPen(QPen(f.color, f.width, Qt::SolidLine, Qt::SquareCap));
    if (f.left) p.drawLine(r.topLeft(), r.bottomLeft());
    if (f.top) p.drawLine(r.topLeft(), r.topRight());
    if (f.right) p.drawLine(r.topRight(), r.bottomRight());
    if (f.bottom) p.drawLine(r.bottomLeft(), r.bottomRight());
}

double textHeight(const QFont &font, const QString &text, double width, Qt::Alignment alignment, bool wordWrap)
{
    installFontSubstitutions();
    const QFontMetricsF metrics(unitFont(font), &referenceDevice());
    int flags = int(alignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop;
    if (wordWrap) flags |= Qt::TextWordWrap;
    return metrics.boundingRect(QRectF(0, 0, std::max(width, 1.0), 1e6), flags, text).height();
}

} // namespace lumeko::report
