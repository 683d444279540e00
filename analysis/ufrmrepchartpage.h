#pragma once
// TfrmRepChartPage: the rows of the progress analysis, one per student, and below them the line of
// the focused student across the chosen exams, a series per subject. The diagram can be switched
// to columns, a structure or a pie, and show scores or grade ranks; copy, print and save as on the
// report page's chart.

#include "analysis/ufrmreportpage.h"
#include "wire/packet.h"

class QComboBox;
class QSplitter;
class QToolButton;

namespace lumeko::chart {
class ChartView;
}

namespace lumeko::achieve {

class LUMEKO_ACHIEVE_EXPORT TfrmRepChartPage : public TAnalysisPage {
    Q_OBJECT
public:
    explicit TfrmRepChartPage(QWidget *parent = nullptr);

    // Before InitPage: the title, the column definitions, the rows (keyed by `keyField`), the
    // chart detail (keyed by StudentCode) and the number of fixed leading columns.
    void setResult(const QString &title, const wire::DataPacket &fields, const wire::DataPacket &rows, const QString &keyField, const wire::DataPacket &detail,
                   int fixedColumns);
    QString KeyField;
    wire::DataPacket Detail;

    QSplitter *splLevels;
    QComboBox *cbKind;  // 折线图, 柱形图, 结构图, 饼图
    QComboBox *cbValue; // 成绩, 名次
    QToolButton *btnCopy, *btnPrint, *btnExport;
    chart::ChartView *chartView;

    void InitPage() override;

    // Draws the focused student's chart anew.
    void refreshChart();
    QString chartTitle() const;
};

// Makes a chart page in `parent` (none: a window of its own) and returns its handle.
LUMEKO_ACHIEVE_EXPORT qint32 openRepChartPage(QWidget *parent, const QString &title, const wire::DataPacket &fields, const wire::DataPacket &rows,
                                              const QString &keyField, const wire::DataPacket &detail, int fixedColumns);

} // namespace lumeko::achieve
