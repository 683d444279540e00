#include "server/seed/tablewriter.h"

#include <algorithm>

namespace lumeko::server::seed {

namespace {
// Stays below SQLite's oldest limit of 999 bound parameters per statement.
constexpr int kMaxParameters = 990;
constexpr int kMaxBatchRows = 200;
} // namespace

TableWriter::TableWriter(Database &db, const QString &table, const QStringList &columns, Mode mode)
    : m_db(db), m_table(table), m_columns(columns), m_mode(mode)
{
    const TableDef &def = schemaTable(table);
    for (const QString &c : columns) m_types.append(def.column(c).type);
    m_batchRows = std::clamp(kMaxParameters / int(std::max<qsizetype>(1, columns.size())), 1, kMaxBatchRows);
    m_batchSql = statement(m_batchRows);
    m_singleSql = statement(1);
    m_pending.reserve(m_batchRows * columns.size());
}

QString TableWriter::statement(int rows) const
{
    QStringList names;
    for (const QString &c : m_columns) names << Database::quoted(c);
    const QString one = u'(' + QStringList(m_columns.size(), QStringLiteral("?")).join(u", ") + u')';
    QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES ").arg(Database::quoted(m_table), names.join(u", "));
    sql += QStringList(rows, one).join(u", ");
    if (m_mode == SkipExisting) sql += QStringLiteral(" ON CONFLICT DO NOTHING");
    return sql;
}

void TableWriter::add(const QVariantList &row)
{
    if (row.size() != m_columns.size())
        throw StorageError(QStringLiteral("a row for %1 has %2 values where %3 columns were named")
                               .arg(m_table).arg(row.size()).arg(m_columns.size()));
    for (int i = 0; i < row.size(); ++i) m_pending.append(m_db.toDb(row[i], m_types[i]));
    ++m_added;
    if (++m_pendingRows == m_batchRows) {
        m_inserted += m_db.exec(m_batchSql, m_pending);
        m_pending.clear();
        m_pendingRows = 0;
    }
}

void TableWriter::flush()
{
    const qsizetype width = m_columns.size();
    for (int r = 0; r < m_pendingRows; ++r)
        m_inserted += m_db.exec(m_singleSql, m_pending.mid(r * width, width));
    m_pending.clear();
    m_pendingRows = 0;
}

} // namespace lumeko::server::seed
