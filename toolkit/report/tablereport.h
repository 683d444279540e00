#pragma once
// The generated table report of a page's grid: a title, a framed header row and framed data rows
// over as many pages as the rows need, with the page number and the print date in the footer.

#include "toolkit/report/prepared.h"

#include <QDate>
#include <QStringList>

#include <functional>

namespace lumeko::report {

struct LUMEKO_REPORT_EXPORT TableReportColumn {
    QString caption;
    int width = 80; // the grid column's width in pixels
};

struct LUMEKO_REPORT_EXPORT TableReportRequest {
    QString caption;                   // the page caption, printed as the title
    QSizeF paperMm{297, 210};          // the printer's paper as it will be printed
    QMarginsF marginsHundredthsMm{2500, 2500, 2500, 2500}; // the page setup's margins
    QList<TableReportColumn> columns;  // the visible columns in grid order
    int rowCount = 0;
    std::function<QString(int row, int column)> cellText; // the grid's display text
    QDate printDate;                   // invalid: today
};

// Builds the report; false with `error` = "页边距设置错误！" when the margins leave no room.
LUMEKO_REPORT_EXPORT bool buildTableReport(const TableReportRequest &request, PreparedReport *out, QString *error);

} // namespace lumeko::report
