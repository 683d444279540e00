#include "toolkit/report/template.h"

#include <array>

namespace lumeko::report {

QSizeF PageSetup::sizeMm() const
{
    const bool landscape = orientation == QPageLayout::Landscape;
    const double shortSide = std::min(paperMm.width(), paperMm.height());
    const double longSide = std::max(paperMm.width(), paperMm.height());
    return landscape ? QSizeF(longSide, shortSide) : QSizeF(shortSide, longSide);
}

QSizeF PageSetup::sizeUnits() const
{
    const QSizeF mm = sizeMm();
    return {mm.width() * kUnitsPerMmX, mm.height() * kUnitsPerMmY};
}

QRectF PageSetup::printableUnits() const
{
    const QSizeF size = sizeUnits();
    return QRectF(QPointF(marginsMm.left() * kUnitsPerMmX, marginsMm.top() * kUnitsPerMmY),
                  QPointF(size.width() - marginsMm.right() * kUnitsPerMmX, size.height() - marginsMm.bottom() * kUnitsPerMmY));
}

QFont ReportObject::font() const
{
    QFont f(fontFamily);
    f.setPointSizeF(fontSize > 0 ? fontSize : 10);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

bool ReportObject::operator==(const ReportObject &o) const
{
    // Pictures compare by content: a template read back from its file holds an equal image,
    // not the same one.
    return kind == o.kind && name == o.name && rect == o.rect && text == o.text && fontFamily == o.fontFamily &&
           fontSize == o.fontSize && bold == o.bold && italic == o.italic && alignment == o.alignment && frame == o.frame &&
           wordWrap == o.wordWrap && autoHeight == o.autoHeight && keepAspect == o.keepAspect &&
           picture.convertToFormat(QImage::Format_ARGB32) == o.picture.convertToFormat(QImage::Format_ARGB32);
}

namespace {

constexpr std::array<std::pair<BandKind, const char *>, 8> kBandNames{{
    {BandKind::ReportTitle, "ReportTitle"}, {BandKind::PageHeader, "PageHeader"}, {BandKind::MasterData, "MasterData"},
    {BandKind::DetailData, "DetailData"},   {BandKind::GroupHeader, "GroupHeader"}, {BandKind::GroupFooter, "GroupFooter"},
    {BandKind::PageFooter, "PageFooter"},   {BandKind::ReportSummary, "ReportSummary"},
}};
constexpr std::array<std::pair<ObjectKind, const char *>, 4> kObjectNames{{
    {ObjectKind::Memo, "memo"}, {ObjectKind::Picture, "picture"}, {ObjectKind::Line, "line"}, {ObjectKind::Rectangle, "rectangle"},
}};

} // namespace

QString bandKindName(BandKind kind)
{
    for (const auto &[k, n] : kBandNames)
        if (k == kind) return QString::fromLatin1(n);
    return {};
}

bool bandKindFromName(QStringView name, BandKind *kind)
{
    for (const auto &[k, n] : kBandNames)
        if (name == QLatin1StringView(n)) { *kind = k; return true; }
    return false;
}

QString objectKindName(ObjectKind kind)
{
    for (const auto &[k, n] : kObjectNames)
        if (k == kind) return QString::fromLatin1(n);
    return {};
}

bool objectKindFromName(QStringView name, ObjectKind *kind)
{
    for (const auto &[k, n] : kObjectNames)
        if (name == QLatin1StringView(n)) { *kind = k; return true; }
    return false;
}

const Band *ReportTemplate::firstBand(BandKind kind) const
{
    for (const Band &b : bands)
        if (b.kind == kind) return &b;
    return nullptr;
}

QList<const Band *> ReportTemplate::bandsOf(BandKind kind) const
{
    QList<const Band *> out;
    for (const Band &b : bands)
        if (b.kind == kind) out << &b;
    return out;
}

} // namespace lumeko::report
