#pragma once
// The chart level of a report page: the same rows as a diagram. Either the rows are the
// categories and the ticked columns the series ("各行对比": the classes' averages side by side),
// or the ticked columns are the categories and the rows chosen in the grid the series ("各列对比":
// one item across the classes, or the score bands of the grade).

#include "framework/achieve_export.h"
#include "toolkit/chart/chartbuild.h"

#include <QStringList>
#include <QWidget>

#include <functional>

class QComboBox;
class QMenu;
class QToolButton;

namespace lumeko {
class BandedGrid;
namespace report {
class PreparedReport;
}
namespace chart {
class ChartView;
}
} // namespace lumeko

namespace lumeko::achieve {

// How a report's chart starts.
struct ChartPreset {
    enum Across { Rows, Columns } across = Rows;
    QStringList fields; // the ticked columns; empty: the first value column
    QList<int> rows;    // Columns: the rows shown as series (grid rows); empty: the focused row
    chart::ChartKind kind = chart::ChartKind::Column;
    QString title; // of the chart; empty: the page's
};

class LUMEKO_ACHIEVE_EXPORT ReportChartLevel : public QWidget {
    Q_OBJECT
public:
    explicit ReportChartLevel(QWidget *parent = nullptr);

    // The grid whose rows and columns the chart shows; `labelColumns` leading columns name the
    // rows, the other columns holding numbers can be charted.
    void setSource(BandedGrid *grid, int labelColumns, const QString &title);
    void applyPreset(const ChartPreset &preset);
    QString title() const { return m_title; }

    // The columns that hold numbers (grid positions) and those ticked.
    QList<int> valueColumns() const;
    QList<int> tickedColumns() const;
    void setTicked(const QStringList &fields);
    ChartPreset::Across across() const;
    void setAcross(ChartPreset::Across across);
    // Columns: the grid rows shown as series; the grid's selection when none were set.
    void setSeriesRows(const QList<int> &rows);
    QString rowLabel(int row) const;

    // What the chart shows now.
    chart::ChartData chartData() const;
    chart::ChartKind kind() const;
    chart::Marks marks() const;

    // Draws the chart anew from the grid.
    void refresh();

    // Prints through the page's preview (a page with the title and the picture).
    std::function<void(const report::PreparedReport &)> showReport;
    report::PreparedReport printout() const;

    QComboBox *cbKind, *cbAcross, *cbMarks;
    QToolButton *btnColumns, *btnCopy, *btnPrint, *btnExport;
    chart::ChartView *chartView;

public Q_SLOTS:
    void copyChart();
    void printChart();
    void exportChart();

private:
    void fillColumnMenu();
    std::optional<double> number(int row, int column) const;
    BandedGrid *m_grid = nullptr;
    int m_labelColumns = 1;
    QString m_title;
    QMenu *m_columnMenu;
    QList<int> m_seriesRows;
    bool m_building = false;
};

// A landscape page with the title and the chart's picture, for the page's print preview.
LUMEKO_ACHIEVE_EXPORT report::PreparedReport chartPrintout(const QString &title, const chart::ChartView &view);

} // namespace lumeko::achieve
