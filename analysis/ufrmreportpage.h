#pragma once
// TfrmReportPage: the rows of an analysis as a report page: a list built from the answer's column
// definitions (the first columns fixed), and a second level showing the same rows as a chart.
// Nothing is edited; printing, the analysis' report templates ("Reports/Analysis/<title>") and
// the export serve every user.

#include "analysis/reportchart.h"
#include "framework/ubasepage.h"
#include "wire/packet.h"

#include <QHash>

class QTabWidget;

namespace lumeko::achieve {

// What every page of an analysis' answer shares: the rows are the server's, nothing is added,
// edited or saved; print, templates and export serve every user, designing templates the
// administrators.
class LUMEKO_ACHIEVE_EXPORT TAnalysisPage : public TBasePage {
    Q_OBJECT
public:
    explicit TAnalysisPage(QWidget *parent = nullptr);

    // The answer to show, before InitPage: the title, the column definitions, the rows and the
    // number of fixed leading columns.
    void setResult(const QString &title, const wire::DataPacket &fields, const wire::DataPacket &rows, int fixedColumns);
    QString Title;
    // What the analysis' report templates may print besides SchoolName and ReportTitle (the
    // exam's and the subject's names).
    QHash<QString, QVariant> Variables;

    void SetReadOnly(bool readOnly) override;
    QVariant ReportVariable(const QString &name, bool *found) override;
};

class LUMEKO_ACHIEVE_EXPORT TfrmReportPage : public TAnalysisPage {
    Q_OBJECT
public:
    explicit TfrmReportPage(QWidget *parent = nullptr);

    ChartPreset Preset;    // how the chart level starts
    QTabWidget *tabLevels; // "数据列表" and "图表"
    ReportChartLevel *ChartLevel;

    void InitPage() override;

    // The colours of a cell of a multi-exam report: the gap rows ("差距") stand out, a fall in
    // red and a rise in green; other rows keep the grid's.
    CellColors GapColors(int row, int column) const;
};

// Makes a report page in `parent` (none: a window of its own) with the answer, and returns its
// handle.
// `reportFolder` is the folder of its report templates under "Reports/": "Analysis/" and the
// analysis' title when empty, so that each analysis has templates of its own fields.
LUMEKO_ACHIEVE_EXPORT qint32 openReportPage(QWidget *parent, const QString &title, const wire::DataPacket &fields, const wire::DataPacket &rows,
                                            int fixedColumns, const ChartPreset &preset, const QString &reportFolder = {});

// Puts an initialised analysis page into `parent`'s layout, or into a window of its own of
// `windowSize`, registers and shows it, and returns its handle.
LUMEKO_ACHIEVE_EXPORT qint32 hostAnalysisPage(TBasePage *page, QWidget *parent, QSize windowSize);

} // namespace lumeko::achieve
