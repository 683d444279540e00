#pragma once
// A report template: the page, the bands from title to summary, and the objects printed in each
// band. Templates are kept in ".frf" files as a readable XML document (see templatexml.h).
//
// Positions and sizes are in report units: the page is paper width × 3.6172 units wide and paper
// height × 3.6112 units high (paper in millimetres), roughly a screen pixel. Font sizes are points.

#include "toolkit/report/report_export.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPageLayout>
#include <QRectF>
#include <QString>

namespace lumeko::report {

inline constexpr double kUnitsPerMmX = 3.6172;
inline constexpr double kUnitsPerMmY = 3.6112;

struct LUMEKO_REPORT_EXPORT PageSetup {
    QSizeF paperMm{210, 297};                  // portrait size of the paper
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QMarginsF marginsMm{10, 10, 10, 10};       // left, top, right, bottom

    QSizeF sizeMm() const; // with the orientation applied
    QSizeF sizeUnits() const;
    QRectF printableUnits() const; // the page less its margins
    bool operator==(const PageSetup &) const = default;
};

// Which sides of an object get a frame line.
struct LUMEKO_REPORT_EXPORT Frame {
    bool left = false, top = false, right = false, bottom = false;
    double width = 1; // in report units
    QColor color = Qt::black;

    bool any() const { return left || top || right || bottom; }
    static Frame all(double width = 1) { return {true, true, true, true, width, Qt::black}; }
    bool operator==(const Frame &) const = default;
};

enum class ObjectKind { Memo, Picture, Line, Rectangle };

struct LUMEKO_REPORT_EXPORT ReportObject {
    ObjectKind kind = ObjectKind::Memo;
    QString name;             // "mm_1", "InPicture": what the page's before-print hook looks for
    QRectF rect;              // within its band, in report units
    QString text;             // memo: text with expressions in square brackets
    QString fontFamily = QStringLiteral("宋体");
    double fontSize = 10;     // points
    bool bold = false;
    bool italic = false;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    Frame frame;
    bool wordWrap = true;
    bool autoHeight = false;  // memo: grows to its text, and its band with it
    bool keepAspect = true;   // picture: scale without distortion
    QImage picture;           // picture: fixed content (the page may replace it before printing)

    QFont font() const;
    bool operator==(const ReportObject &) const;
};

enum class BandKind {
    ReportTitle,   // once, at the top of the first page
    PageHeader,    // at the top of every page (under the title on the first)
    MasterData,    // once per row of its table
    DetailData,    // once per row of its table, after each master row
    GroupHeader,   // when the value of its group field changes in the master table
    GroupFooter,   // closes the group before the next header and after the last row
    PageFooter,    // at the bottom of every page
    ReportSummary, // once, after the last master row
};

struct LUMEKO_REPORT_EXPORT Band {
    BandKind kind = BandKind::MasterData;
    QString name;
    double height = 30;   // report units
    QString table;        // data bands: the bound table's name ("cdsData")
    QString groupField;   // group header: the field whose value starts a new group
    bool newPageAfter = false; // master data: every row on a page of its own (record cards)
    QList<ReportObject> objects;

    bool operator==(const Band &) const = default;
};

LUMEKO_REPORT_EXPORT QString bandKindName(BandKind kind);          // "MasterData", ...
LUMEKO_REPORT_EXPORT bool bandKindFromName(QStringView name, BandKind *kind);
LUMEKO_REPORT_EXPORT QString objectKindName(ObjectKind kind);      // "Memo", ...
LUMEKO_REPORT_EXPORT bool objectKindFromName(QStringView name, ObjectKind *kind);

struct LUMEKO_REPORT_EXPORT ReportTemplate {
    QString title;
    PageSetup page;
    QList<Band> bands; // in the order the designer shows them; printing follows band kinds

    const Band *firstBand(BandKind kind) const;
    QList<const Band *> bandsOf(BandKind kind) const;
    bool operator==(const ReportTemplate &) const = default;
};

} // namespace lumeko::report
