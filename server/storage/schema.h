#pragma once
// The database schema, declared once: every table of the system with its columns, key, indexes and
// the references between tables. The SQL of each back end is generated from these declarations, and
// query results and change packets are typed by them.

#include "server/storage/storage_export.h"
#include "wire/types.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace lumeko::server {

struct LUMEKO_STORAGE_EXPORT ColumnDef {
    QString name;
    wire::FieldType type = wire::FieldType::Text;
    int size = 0;         // characters, for texts; 0 = unbounded
    bool notNull = false;
};

struct LUMEKO_STORAGE_EXPORT IndexDef {
    QStringList columns;
    bool unique = false;
};

struct LUMEKO_STORAGE_EXPORT ReferenceDef {
    QStringList columns;       // in this table
    QString table;             // the referenced table
    QStringList targetColumns; // its key
    bool cascade = true;       // deleting the parent deletes these rows
};

struct LUMEKO_STORAGE_EXPORT TableDef {
    QString name;
    QList<ColumnDef> columns;
    QStringList key;            // the primary key
    QString serial;             // an integer key column the server assigns, or empty
    QList<IndexDef> indexes;
    QList<ReferenceDef> references;

    int columnIndex(QStringView column) const; // without regard to case; -1 when absent
    const ColumnDef &column(QStringView column) const; // throws std::out_of_range when absent
    bool hasColumn(QStringView column) const { return columnIndex(column) >= 0; }
    bool isKey(QStringView column) const;
    wire::FieldDef fieldDef(const ColumnDef &column) const;
    QList<wire::FieldDef> fieldDefs() const;
    // The definitions of some columns, in the order given; throws std::out_of_range for a name
    // the table does not have.
    QList<wire::FieldDef> fieldDefs(const QStringList &columns) const;
};

// Every table, in an order in which each table comes after the tables it references.
LUMEKO_STORAGE_EXPORT const QList<TableDef> &schemaTables();
// The table of this name (case-insensitive); throws std::out_of_range for an unknown name.
LUMEKO_STORAGE_EXPORT const TableDef &schemaTable(QStringView name);
LUMEKO_STORAGE_EXPORT const TableDef *findSchemaTable(QStringView name);

} // namespace lumeko::server
