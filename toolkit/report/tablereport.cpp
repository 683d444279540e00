#include "toolkit/report/tablereport.h"

#include "toolkit/report/painting.h"

#include <cmath>

namespace lumeko::report {

namespace {

constexpr double kTitleHeight = 25;
constexpr double kFooterHeight = 25;
constexpr double kHeaderRowHeight = 30;
constexpr double kRowHeight = 26;
constexpr double kFirstLeft = 20;

PageItem memo(const QRectF &rect, const QString &text, double size, Qt::Alignment alignment, bool framed)
{
    PageItem item;
    item.rect = rect;
    item.text = text;
    QFont font(QStringLiteral("宋体"));
    font.setPointSizeF(size);
    item.font = font;
    item.alignment = alignment;
    item.wordWrap = false;
    if (framed) item.frame = Frame::all(1);
    return item;
}

// The cells of the header and data rows: where each column starts and how wide it is.
QList<QPair<double, double>> columnCells(const QList<TableReportColumn> &columns, double pageWidth)
{
    QList<QPair<double, double>> cells;
    double left = kFirstLeft;
    for (const TableReportColumn &c : columns) {
        if (left > pageWidth - 59) break;
        double width = std::round(c.width * 1.1);
        if (left + width > pageWidth - 20 && width > 60) width = 60;
        cells.append({left, width});
        left += width;
    }
    return cells;
}

} // namespace

bool buildTableReport(const TableReportRequest &r, PreparedReport *out, QString *error)
{
    const double width = r.paperMm.width() * kUnitsPerMmX;
    const double height = r.paperMm.height() * kUnitsPerMmY;
    const QMarginsF margins = r.marginsHundredthsMm / 100; // millimetres
    if (margins.top() + margins.bottom() + kTitleHeight + kFooterHeight > height || margins.left() + margins.right() > width) {
        if (error) *error = QStringLiteral("页边距设置错误！");
        return false;
    }
    PreparedReport report;
    report.page.paperMm = r.paperMm;
    report.page.orientation = r.paperMm.width() > r.paperMm.height() ? QPageLayout::Landscape : QPageLayout::Portrait;
    report.page.marginsMm = margins;
    const QRectF area = report.page.printableUnits();
    const QList<QPair<double, double>> cells = columnCells(r.columns, width);
    const QString date = (r.printDate.isValid() ? r.printDate : QDate::currentDate()).toString(QStringLiteral("yyyy-MM-dd"));
    const Qt::Alignment centred = Qt::AlignCenter;

    // Rows go under the title and the header row until the next one would reach the footer.
    const double firstRowTop = kTitleHeight + kHeaderRowHeight;
    const double footerTop = area.height() - kFooterHeight;
    const int rowsPerPage = std::max(1, int((footerTop - firstRowTop) / kRowHeight));
    const int pageCount = std::max(1, (r.rowCount + rowsPerPage - 1) / rowsPerPage);
    for (int p = 0; p < pageCount; ++p) {
        PreparedPage page;
        const auto at = [&](double x, double y, double w, double h) { return QRectF(area.left() + x, area.top() + y, w, h); };
        page.items << memo(at(kFirstLeft, 0, 200, kTitleHeight), r.caption, 16, centred, false);
        for (int c = 0; c < cells.size(); ++c)
            page.items << memo(at(cells[c].first, kTitleHeight, cells[c].second, kHeaderRowHeight), r.columns[c].caption, 9, centred, true);
        const int firstRow = p * rowsPerPage;
        for (int row = firstRow; row < std::min(r.rowCount, firstRow + rowsPerPage); ++row) {
            const double y = firstRowTop + (row - firstRow) * kRowHeight;
            for (int c = 0; c < cells.size(); ++c)
                page.items << memo(at(cells[c].first, y, cells[c].second, kRowHeight), r.cellText ? r.cellText(row, c) : QString(), 9, centred, true);
        }
        // "第 [ n ] 页，打印日期： [DATE] " with both expressions evaluated.
        const QString footer = QStringLiteral("第 %1 页，打印日期： %2 ").arg(p + 1).arg(date);
        page.items << memo(at(0, footerTop, area.width(), kFooterHeight), footer, 12, centred, false);
        report.pages << page;
    }
    *out = std::move(report);
    return true;
}

} // namespace lumeko::report
