#pragma once
// BandedGrid: the data grid every page shows its main in-memory table in.
//
// Columns sit in two bands: band 0 ("固定列") stays on the left while band 1 ("活动列") scrolls
// horizontally. Above the columns: the group-by box (drag a column header there, or use
// "按此列分组" of the header menu) and the band captions; on the left the row indicator with row
// numbers; below the rows the footer with the columns' summaries. Clicking a header sorts by it
// (shift adds a column to the sort) through an index of the table, so the table's order follows
// the grid's. With filtering on, each header has a button listing the column's values.
//
// Cells are edited in place when the grid is not read-only; editors write through the table
// (edit(), then the row is posted when the grid leaves it, or by postEdit()). Enter and Tab move
// to the next editable cell (along the row, then the next row's first), the arrow keys move as in
// a spreadsheet. Insert and Delete are the page's: the grid only signals them.
//
// Rows are addressed by their position among the grid's data rows ("row", 0-based: the order in
// which the grid shows them, collapsed groups included); columns by their position in the grid's
// column list (the fixed band first).

#include "toolkit/grid/gridcolumn.h"
#include "toolkit/grid/gridmodel.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QScrollBar;
class QTreeView;
class QMenu;
class QMimeData;

namespace lumeko {

class GridView;
class GridHeader;
class GridDelegate;
class FooterBar;
class RowIndicator;
class GroupByBox;
class BandCaption;

class LUMEKO_GRID_EXPORT BandedGrid : public QWidget {
    Q_OBJECT
public:
    explicit BandedGrid(QWidget *parent = nullptr);
    ~BandedGrid() override;

    // ---- the table
    void setDataSet(DataSet *table); // null: empty
    DataSet *dataSet() const;
    GridModel *gridModel() const { return m_model; }

    // ---- columns
    void setColumns(const QList<GridColumn> &columns); // fixed-band columns are moved to the front
    QList<GridColumn> columns() const { return m_model->columns(); }
    int columnCount() const { return int(m_model->columns().size()); }
    const GridColumn &column(int c) const { return m_model->column(c); }
    int addColumn(const GridColumn &column); // at the end of its band; returns its position
    void updateColumn(int c, const GridColumn &column);
    void removeColumn(int c);
    void clearColumns();
    int columnOfField(const QString &field) const { return m_model->columnOfField(field); }
    QString columnCaption(int c) const { return m_model->caption(c); }
    void setColumnWidth(int c, int width);
    void setColumnVisible(int c, bool visible);
    // Moves a column to position `to` of the list without it, into `band`.
    void moveColumn(int from, int to, int band);
    // One column per row of a column-definition table (see columnFromDefinition); the first
    // fixedColumnCount() columns go to the fixed band when there are that many.
    void buildColumns(DataSet &definitions);
    void setFixedColumnCount(int count); // puts the first `count` columns into the fixed band
    int fixedColumnCount() const { return m_fixedCount; }
    int fixedBandColumnCount() const; // columns now in the fixed band
    QList<int> visibleColumns() const; // in grid order
    void removeUnboundColumns(); // columns whose field the table does not have

    // Rows of group captions above the column headers: the longest group path among the visible
    // columns (0: none). Level 0 is the top row, the outermost groups.
    int groupCaptionRows() const;
    // The caption cells of a band at one level, left to right: runs of visible columns whose
    // group paths agree up to that level. Columns with a shorter path have no cell there; their
    // header reaches up in its place.
    QList<GridColumnGroup> columnGroups(int band, int level) const;

    void setBandCaption(int band, const QString &caption);
    QString bandCaption(int band) const;
    void setBandCaptionsVisible(bool on);
    bool bandCaptionsVisible() const { return m_bandCaptionsVisible; }

    // ---- look
    void setGridStyle(const GridStyle &style);
    const GridStyle &gridStyle() const { return m_style; }
    void setFooterVisible(bool on);
    bool footerVisible() const { return m_footerVisible; }
    void setGroupByBoxVisible(bool on);
    bool groupByBoxVisible() const { return m_groupBoxVisible; }
    int rowHeight() const { return m_rowHeight; }
    // The page's colours of data cells (row as elsewhere: the data row's position); an empty
    // function leaves every cell the grid's. The focused cell and selected cells keep their look.
    void setCellColors(std::function<CellColors(int row, int column)> colors);
    // Repaints the cells, after what the colour function answers has changed.
    void refreshCells();

    // ---- rows and cells
    int dataRowCount() const { return m_model->dataRowCount(); }
    QString displayText(int row, int column) const;
    QVariant value(int row, int column) const;
    int currentRow() const;    // -1 when no data row has the focus
    int currentColumn() const; // -1 when none
    void setCurrentCell(int row, int column);

    // ---- editing
    void setReadOnly(bool on);
    bool isReadOnly() const { return m_model->isReadOnly(); }
    // Focuses the cell and opens its editor; false when the cell cannot be edited.
    bool editCell(int row, int column);
    QWidget *activeEditor() const;
    // Commits the open editor and posts the table's pending row; false (with editError) when the
    // editor's value or the row is refused.
    // Enter in an editor moves to the next row, same column (on the last row to the next column),
    // as the pages want it; otherwise it moves along the row like Tab.
    void setEnterMovesDown(bool on) { m_enterDown = on; }
    bool enterMovesDown() const { return m_enterDown; }
    bool postEdit();
    void closeEditor(); // without committing

    // ---- summaries
    QString footerText(int column) const { return m_model->footerText(column); }

    // ---- grouping
    void groupBy(int column, int level = -1); // level -1: below the present levels
    void ungroup(int column);
    void clearGrouping();
    QList<int> groupColumns() const;
    void expandAll();
    void collapseAll();

    // ---- column filters
    void setFilteringEnabled(bool on); // switching it off clears the column filters
    bool filteringEnabled() const { return m_filtering; }
    QStringList filterValues(int column) const { return m_model->distinctTexts(column); }
    void setColumnFilter(int column, const QStringList &accepted);
    void clearColumnFilter(int column);
    void clearColumnFilters();
    bool isColumnFiltered(int column) const { return m_model->hasColumnFilter(column); }
    void showFilterPopup(int column);

    // ---- sorting
    void sortBy(int column, Qt::SortOrder order, bool add = false);
    void toggleSort(int column, bool add); // what a click (shift-click: add) on the header does
    void removeSort(int column);
    void clearSort();
    // The order the grid shows its rows in: grouping columns first, then the sort columns.
    QList<GridSortColumn> sortColumns() const;

    // ---- widths
    void bestFit();
    void bestFit(int column);
    int bestFitWidth(int column) const;

    // ---- layout per user: order, widths, visibility, bands, grouping, sort
    bool saveLayout(const QString &iniPath) const;
    bool restoreLayout(const QString &iniPath); // false when there is no layout to restore

    // ---- selection marks: the boolean field "Selected" of the table
    bool hasSelectionMarks() const;
    QList<int> selectedRows() const; // rows with a selected cell; else the focused row
    int markSelectedRows(bool selected);
    int markAllRows();
    int invertMarks();

    // ---- copy and export
    // The selected cells (or the focused row) as tab-separated text, a header line first.
    QString selectionText() const;
    void copySelection() const;
    // Every row the grid shows (groups expanded: a label row with the group's summaries before
    // its members), the footer last. False with a message in `error` when the file cannot be written.
    bool exportToXlsx(const QString &path, QString *error, const QString &sheetName = QString()) const;

    // ---- dragging columns
    // What a drag of a column header carries (of a grouping column's chip in the group-by box
    // when `fromGroupBox`). Dropped on the group-by box it groups by the column (moves the
    // level); on a column header it moves the column there, into that header's band; a chip
    // dropped on a header ungroups its column.
    QMimeData *columnMimeData(int column, bool fromGroupBox = false) const;

    // ---- the parts, for pages that need them
    QTreeView *bandView(int band) const;
    QMenu *headerMenu(int column); // the header's context menu, built for the column (-1: none)
    bool isCheckColumn(int column) const; // shown as check boxes

Q_SIGNALS:
    void insertRequested();
    void deleteRequested();
    void editError(const QString &message);
    // The user's value went into a cell (data row and column), after the table took it.
    void cellEdited(int row, int column);
    void currentRowChanged(int row);
    void rowDoubleClicked(int row);
    void columnsChanged();
    void groupingChanged();
    void sortChanged();
    void filterChanged();

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class GridView;
    friend class GridHeader;
    friend class GridDelegate;
    friend class FooterBar;
    friend class RowIndicator;
    friend class GroupByBox;

    enum class Move { Next, Previous, Up, Down, Left, Right };
    // A group row runs across both bands: its label starts in the first band shown and the
    // summaries stand under their columns, except those the label covers, which join it.
    struct GroupRowLayout {
        int signLeft = 0;   // in grid coordinates
        int labelLeft = 0;
        QString label;
        QList<QPair<int, QString>> cells; // column, summary text
    };
    GroupRowLayout groupRowLayout(int group) const;

    void applyColumnsToViews();
    void updateGeometryOfBands();
    void updateRowHeight();
    void applySort();
    void applyEditTriggers();
    GridView *viewOfColumn(int column) const;
    GridView *labelView() const; // the view that shows group labels
    void onCurrentChanged(const QModelIndex &current);
    void syncCurrentFromTable();
    void moveFromEditor(Move move);
    QModelIndex neighbour(const QModelIndex &from, Move move, bool editableOnly) const;
    void focusIndex(const QModelIndex &index);
    void toggleCheck(const QModelIndex &index);
    void toggleGroup(int row);
    void refreshParts();
    int headerDropPosition(int band, int x, GridHeader *header) const;
    bool commitEditors();
    int markRows(const QList<int> &rows, int mode); // 0 unmark, 1 mark, 2 invert
    int headerHeight() const;                       // column headers and group captions
    int groupCaptionHeight() const;                 // one row of group captions
    int groupDepth(int column) const;               // rows of group captions over the column
    CellColors cellColors(int row, int column) const;

    GridModel *m_model = nullptr;
    QPointer<DataSet> m_table;
    DataSetModel *m_tableModel = nullptr;
    GridView *m_views[2] = {nullptr, nullptr};
    GridDelegate *m_delegates[2] = {nullptr, nullptr};
    FooterBar *m_footers[2] = {nullptr, nullptr};
    BandCaption *m_captions[2] = {nullptr, nullptr};
    QWidget *m_captionCorner = nullptr;
    QWidget *m_footerCorner = nullptr;
    RowIndicator *m_indicator = nullptr;
    GroupByBox *m_groupBox = nullptr;
    QScrollBar *m_hbar = nullptr;
    QMenu *m_headerMenu = nullptr;

    GridStyle m_style;
    QString m_bandCaptionText[2];
    int m_fixedCount = 3;
    int m_rowHeight = 24;
    bool m_bandCaptionsVisible = true;
    bool m_enterDown = false;
    bool m_footerVisible = true;
    bool m_groupBoxVisible = true;
    bool m_filtering = false;
    bool m_applying = false;
    bool m_syncing = false;
    QList<GridSortColumn> m_sort;
    std::function<CellColors(int, int)> m_cellColors;
    bool m_tableOpen = false;
    QString m_pageIndexName;
    QString m_pageIndexFields;
    QString m_currentField; // the focused column, kept across column changes
};

} // namespace lumeko
