#pragma once
// A prepared report: pages of positioned items, ready to paint on a screen, a printer or a PDF.

#include "toolkit/report/template.h"

#include <QList>

class QPainter;
class QPrinter;

namespace lumeko::report {

// One thing to paint, at its place on the page (report units).
struct LUMEKO_REPORT_EXPORT PageItem {
    ObjectKind kind = ObjectKind::Memo;
    QRectF rect;
    QString text;          // memo: the final text
    QFont font;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    bool wordWrap = true;
    Frame frame;           // memo, picture, rectangle; a line uses frame.width
    QImage picture;
    bool keepAspect = true;
};

struct LUMEKO_REPORT_EXPORT PreparedPage {
    QList<PageItem> items;
};

class LUMEKO_REPORT_EXPORT PreparedReport {
public:
    PageSetup page;
    QList<PreparedPage> pages;

    int pageCount() const { return int(pages.size()); }
    // All texts of a page, in painting order (tests and search use it).
    QStringList texts(int page) const;

    // Paints one page so that the whole page fills `target` (device coordinates).
    void paintPage(QPainter &painter, int page, const QRectF &target) const;
    // Renders one page to an image, `dotsPerMm` pixels per millimetre (about 3.8 is a screen).
    QImage pageImage(int page, double dotsPerMm) const;

    // Writes every page to a PDF file with the fonts embedded; false with the reason on failure.
    bool exportPdf(const QString &path, QString *error = nullptr) const;
    // Prints pages on the printer, each page scaled to the printer's paper. `fromPage`/`toPage`
    // count from 1; 0 means all.
    bool print(QPrinter &printer, QString *error = nullptr) const;
};

} // namespace lumeko::report
