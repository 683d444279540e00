#pragma once
// Writing many rows into one table: values are converted to the back end's form by the declared
// column types, and rows go out in multi-row INSERT statements of a fixed size, so that a table
// needs only two statement texts (a full batch and a single row) however many rows it gets.

#include "server/storage/database.h"
#include "server/storage/schema.h"

#include <QStringList>
#include <QVariantList>

namespace lumeko::server::seed {

class TableWriter {
public:
    enum Mode { Insert, SkipExisting };

    // Throws std::out_of_range for a table or column the schema does not declare.
    TableWriter(Database &db, const QString &table, const QStringList &columns, Mode mode = Insert);
    TableWriter(const TableWriter &) = delete;
    TableWriter &operator=(const TableWriter &) = delete;

    // One value per column, in the order given to the constructor; null stays null.
    void add(const QVariantList &row);
    // Writes what is pending; call it before rows of another table refer to these.
    void flush();
    // Rows the database reports as inserted so far (rows skipped as existing do not count).
    qint64 inserted() const { return m_inserted; }
    qint64 added() const { return m_added; }

private:
    QString statement(int rows) const;

    Database &m_db;
    QString m_table;
    QStringList m_columns;
    QList<wire::FieldType> m_types;
    Mode m_mode;
    int m_batchRows;
    QString m_batchSql;
    QString m_singleSql;
    QVariantList m_pending;
    int m_pendingRows = 0;
    qint64 m_inserted = 0;
    qint64 m_added = 0;
};

} // namespace lumeko::server::seed
