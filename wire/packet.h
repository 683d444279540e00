#pragma once
// The two table images that cross the wire: the data packet a query method returns (field
// definitions and rows) and the change packet an update method takes (the pending inserted,
// modified and deleted rows of an in-memory table, with their old values).

#include "wire/column.h"
#include "wire/types.h"

#include <QList>
#include <QVariantList>

namespace lumeko::wire {

class LUMEKO_WIRE_EXPORT DataPacket {
public:
    DataPacket() = default;
    explicit DataPacket(QList<FieldDef> fields);

    const QList<FieldDef> &fields() const { return m_fields; }
    int fieldCount() const { return int(m_fields.size()); }
    int fieldIndex(QStringView name) const { return indexOfField(m_fields, name); }
    qsizetype rowCount() const { return m_columns.isEmpty() ? 0 : m_columns.first().size(); }

    const QList<Column> &columns() const { return m_columns; }
    const Column &column(int field) const { return m_columns[field]; }

    // Appends one row; values are converted to the field types. Throws WireError on a wrong
    // number of values or a value that does not fit its field; the packet is unchanged then.
    void appendRow(const QVariantList &values);
    QVariant value(qsizetype row, int field) const { return m_columns[field].value(row); }
    QVariantList row(qsizetype row) const;

    // For decoders and the table: takes prepared columns. Throws WireError when they do not match
    // the fields (count, types, equal lengths).
    static DataPacket fromColumns(QList<FieldDef> fields, QList<Column> columns);
    QList<Column> takeColumns();

    bool operator==(const DataPacket &other) const = default;

private:
    QList<FieldDef> m_fields;
    QList<Column> m_columns;
};

// The update status of a row in an in-memory table's change log.
enum class RowStatus : quint8 { Unmodified = 0, Modified = 1, Inserted = 2, Deleted = 3 };

struct LUMEKO_WIRE_EXPORT RowChange {
    RowStatus status = RowStatus::Inserted;
    QVariantList oldValues; // Modified and Deleted: the row as it was loaded
    QVariantList newValues; // Inserted and Modified: the row as it is now

    bool operator==(const RowChange &other) const;
};

struct LUMEKO_WIRE_EXPORT ChangePacket {
    QList<FieldDef> fields;
    QList<RowChange> rows;

    int fieldIndex(QStringView name) const { return indexOfField(fields, name); }
    qsizetype count(RowStatus status) const;
    // Throws WireError when a row does not fit the fields (value count, types, statuses).
    void validate() const;
    // Only statuses and value counts; the encoder checks each value as it writes it.
    void validateShape() const;
    // The value converted to its field's type; throws WireError naming the row and field.
    QVariant checkedValue(qsizetype row, int field, const QVariant &value) const;
    bool operator==(const ChangePacket &other) const = default;
};

} // namespace lumeko::wire
