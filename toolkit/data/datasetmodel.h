#pragma once
// A Qt table model over a DataSet: one row per row of the table's view, one column per visible
// field. It follows the table's notifications, so a grid stays in step with filters, indexes,
// inserts and deletes made through the table itself.

#include "toolkit/data/dataset.h"

#include <QAbstractTableModel>

namespace lumeko {

class LUMEKO_DATA_EXPORT DataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataSetModel(DataSet *table, QObject *parent = nullptr);

    DataSet *table() const { return m_table; }
    int fieldOfColumn(int column) const { return m_columns.value(column, -1); }
    int columnOfField(int field) const { return int(m_columns.indexOf(field)); }
    // Shown in the cell: dates as yyyy-MM-dd, date-times to the second, booleans as a tick.
    static QString displayText(const QVariant &value, FieldType type);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Moves the table to the row and edits it; the row is posted when the cursor leaves it.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    QString lastError() const { return m_lastError; }

private:
    void mapColumns();

    DataSet *m_table;
    QList<int> m_columns;
    QString m_lastError;
};

} // namespace lumeko
