#pragma once
// GridModel: what a BandedGrid shows, as a flat proxy over the table's Qt model. Its columns are
// the grid's columns in grid order (the fixed band first); its rows are the table rows that pass
// the grid's column filters, and, when the grid groups by columns, the group rows before their
// members: rows are ordered by the group values (several levels) and within a group keep the
// table's order. A collapsed group hides its members. Footer and group summaries are computed
// here over the data rows shown.
//
// Data rows are numbered by "ordinal": their position among all data rows of the grid, collapsed
// or not (0-based). The row indicator shows ordinal + 1; reports and export walk the ordinals.
//
// The model follows the table model's notifications. Inserted and removed table rows keep the
// grid's current cell and selection (persistent indexes are moved); a posted row whose group
// values changed moves to its group, and one that no longer passes the column filters leaves,
// shortly after the post (queued, so that no view is rearranged while it handles the move that
// posted the row).

#include "toolkit/grid/gridcolumn.h"
#include "toolkit/data/datasetmodel.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>
#include <QSet>

namespace lumeko {

class LUMEKO_GRID_EXPORT GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QObject *parent = nullptr);
    ~GridModel() override;

    void setSource(DataSetModel *source); // null: no rows
    DataSetModel *source() const { return m_source; }
    DataSet *table() const;

    // ---- columns (changing the list resets the model)
    void setColumns(const QList<GridColumn> &columns);
    const QList<GridColumn> &columns() const { return m_columns; }
    const GridColumn &column(int c) const { return m_columns[c]; }
    // Width, visibility, caption, lookup, formats: changes that keep the column in place.
    void updateColumn(int c, const GridColumn &column);
    void setColumnWidth(int c, int width); // quietly: the views already show it
    int columnOfField(QStringView field) const; // -1 when the grid has no column of the field
    int fieldOfColumn(int c) const { return m_fieldOf.value(c, -1); } // the table's field, -1 when absent
    FieldType fieldType(int c) const;
    QString caption(int c) const; // the column caption, else the field's label

    // ---- editing
    void setReadOnly(bool on);
    bool isReadOnly() const { return m_readOnly; }
    // The selection-mark column (field "Selected") stays editable when the grid is read-only.
    bool isSelectionMark(int c) const;
    bool columnEditable(int c) const;
    QString lastError() const { return m_lastError; }

    // ---- rows
    int dataRowCount() const { return int(m_order.size()); }
    bool isGroupRow(int row) const { return row >= 0 && row < m_rows.size() && m_rows[row].group >= 0; }
    int ordinalOfRow(int row) const;     // -1 for group rows
    int rowOfOrdinal(int ordinal) const; // -1 when inside a collapsed group
    int sourceRowOfOrdinal(int ordinal) const { return m_order.value(ordinal, -1); }
    int sourceRow(int row) const;        // the table row of a data row; -1 for group rows
    int rowOfSource(int sourceRow) const; // -1 when the row is filtered out or collapsed
    int ordinalOfSource(int sourceRow) const;
    QVariant cellValue(int sourceRow, int c) const;
    // The text a cell shows: lookup text for a key, dates as yyyy-MM-dd, "√" for true, numbers
    // by the column's display format.
    QString cellText(int sourceRow, int c) const;

    // ---- grouping (by field, so that moving columns keeps it)
    void setGroupFields(const QStringList &fields);
    QStringList groupFields() const { return m_groupFields; }
    // Groups of these fields order their values from the largest.
    void setDescendingGroupFields(const QStringList &fields);
    int groupLevelCount() const { return int(m_levelColumns.size()); }

    struct GroupInfo {
        int level = 0;
        int parent = -1;
        QString caption;   // of the grouping column
        QString valueText; // the shown value; "(空)" for an empty one
        int rowCount = 0;  // data rows of the group, all levels below
        int firstOrdinal = 0;
        bool expanded = true;
        QString label() const { return QStringLiteral("%1: %2 (%3)").arg(caption, valueText).arg(rowCount); }
    };
    int groupCount() const { return int(m_groups.size()); } // all levels, in row order
    GroupInfo groupInfo(int group) const;
    QList<int> childGroups(int group) const; // -1: the top level
    int groupOfRow(int row) const { return isGroupRow(row) ? m_rows[row].group : -1; }
    int rowOfGroup(int group) const { return m_rowOfGroup.value(group, -1); }
    void setGroupExpanded(int group, bool expanded);
    void setAllExpanded(bool expanded);
    void revealOrdinal(int ordinal); // expands the groups that hide a data row

    // ---- column filters: the display texts a column lets through ("" stands for empty cells)
    void setColumnFilter(int c, const QStringList &accepted);
    void clearColumnFilter(int c);
    void clearColumnFilters();
    bool hasColumnFilter(int c) const;
    QStringList columnFilter(int c) const;
    // The distinct display texts of a column over the rows the other columns' filters pass,
    // ordered by value.
    QStringList distinctTexts(int c) const;

    // ---- summaries
    QVariant summaryValue(int c, int firstOrdinal, int endOrdinal) const;
    QString footerText(int c) const;
    QString groupSummaryText(int group, int c) const;

    // ---- Qt model
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Writes a data cell through the table: moves to the row, edit(), sets the field. The row is
    // posted when the grid leaves it. False, with lastError() and editError(), when refused.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // Rebuilds now what a post left pending (the views do it on their own a moment later).
    void flushPending();

Q_SIGNALS:
    void summariesChanged();
    void editError(const QString &message);
    // An editor's value was written to the table (row and column of the model).
    void cellEdited(int row, int column);
    void groupingChanged();

private:
    struct Group {
        int level = 0;
        int parent = -1;
        int begin = 0, end = 0; // ordinals
        QString valueText;
        QString path;
        QList<int> children;
    };
    struct RowRef {
        int group = -1;   // a group row
        int ordinal = -1; // a data row
    };
    struct Anchor {
        QString path;   // a group row
        int source = -1; // a data row
        int column = 0;
    };

    void connectSource();
    void resolveFields();
    bool passesFilters(int sourceRow, int exceptColumn = -1) const;
    bool alwaysShown(int sourceRow) const;
    void rebuild();
    void buildGroups(int level, int parent, int begin, int end);
    QList<RowRef> buildRows() const;
    void appendGroupRows(int group, QList<RowRef> &rows) const;
    void adoptRows(QList<RowRef> rows);
    QVariant groupKey(int sourceRow, int level) const;
    bool groupKeysChanged(int sourceRow) const;
    void beginStructureChange();
    void endStructureChange(int at = -1, int count = 0);
    void restructure(); // rebuild inside a structure change
    void scheduleRestructure();
    bool identity() const { return m_levelColumns.isEmpty() && m_filters.isEmpty(); }
    void invalidateSummaries();

    QPointer<DataSetModel> m_source;
    QList<QMetaObject::Connection> m_connections;
    QList<GridColumn> m_columns;
    QList<int> m_fieldOf;
    bool m_readOnly = false;
    QString m_lastError;

    QStringList m_groupFields;
    QStringList m_descendingGroups;
    QList<int> m_levelColumns;
    QHash<QString, QSet<QString>> m_filters; // field (upper case) -> accepted texts
    QSet<QString> m_collapsed;               // group paths

    QList<int> m_order;         // ordinal -> table row
    QList<int> m_ordinalOfSource;
    QList<QVariant> m_keys;     // table row * levels + level -> group value, as last grouped
    QList<Group> m_groups;
    QList<int> m_topGroups;
    QList<RowRef> m_rows;
    QList<int> m_rowOfSource;
    QList<int> m_rowOfGroup;
    int m_justInserted = -1;

    QList<QPersistentModelIndex> m_changingIndexes;
    QList<Anchor> m_anchors;
    bool m_restructurePending = false;
    bool m_forwarding = false;

    mutable QHash<int, QString> m_footerCache;
    mutable QHash<qint64, QString> m_groupSummaryCache;
};

} // namespace lumeko
