#include "server/storage/changeapplier.h"

namespace lumeko::server {

using wire::RowStatus;

namespace {

class Applier {
public:
    Applier(Database &db, const TableDef &table, const wire::ChangePacket &packet, const ApplyRules &rules)
        : m_db(db), m_table(table), m_packet(packet), m_rules(rules)
    {
        m_columnOfField.reserve(packet.fields.size());
        for (const wire::FieldDef &f : packet.fields) m_columnOfField.append(table.columnIndex(f.name));
        for (const QString &k : table.key) {
            if (k == table.serial) continue;
            if (packet.fieldIndex(k) < 0)
                throw PacketError(QStringLiteral("the changes for %1 lack the key field %2").arg(table.name, k));
        }
        m_schoolColumn = rules.school.isEmpty() ? -1 : table.columnIndex(rules.schoolColumn);
        m_isNull = db.backend() == Backend::Postgres ? QStringLiteral(" IS NOT DISTINCT FROM ?") : QStringLiteral(" IS ?");
    }

    ApplyResult run()
    {
        for (qsizetype r = 0; r < m_packet.rows.size(); ++r) {
            QString problem;
            try {
                problem = applyRow(m_packet.rows[r]);
            } catch (const StorageError &e) {
                qCWarning(lcStorage).noquote() << m_table.name << "row" << r + 1 << e.message();
                refuse(r, e.plainMessage());
                break; // the transaction is spoilt; the packet will be rolled back
            }
            if (!problem.isEmpty()) refuse(r, problem);
        }
        return m_result;
    }

private:
    void refuse(qsizetype row, const QString &why)
    {
        ++m_result.errors;
        if (m_result.messages.size() < 100)
            m_result.messages << QStringLiteral("%1 row %2: %3").arg(m_table.name).arg(row + 1).arg(why);
    }

    // The packet's values laid out by table column, converted to the columns' types; fields the
    // table does not store are left out.
    QString byColumn(const QVariantList &values, QVariantList *out, QList<bool> *present) const
    {
        out->fill(QVariant(), m_table.columns.size());
        present->fill(false, m_table.columns.size());
        for (int f = 0; f < m_columnOfField.size() && f < values.size(); ++f) {
            const int c = m_columnOfField[f];
            if (c < 0) continue;
            const ColumnDef &col = m_table.columns[c];
            QVariant v;
            if (!wire::coerceValue(values[f], col.type, &v))
                return QStringLiteral("the value of %1 is not a valid %2").arg(col.name, wire::fieldTypeName(col.type));
            if (col.type == wire::FieldType::Text && col.size > 0 && v.toString().size() > col.size)
                return QStringLiteral("%1 is longer than %2 characters").arg(col.name).arg(col.size);
            (*out)[c] = v;
            (*present)[c] = true;
        }
        return {};
    }

    QString applyRow(const wire::RowChange &row)
    {
        switch (row.status) {
        case RowStatus::Inserted: return insertRow(row);
        case RowStatus::Modified: return modifyRow(row);
        case RowStatus::Deleted: return deleteRow(row);
        case RowStatus::Unmodified: return {};
        }
        return QStringLiteral("unknown row status");
    }

    QString checkSchool(const QVariant &v) const
    {
        if (m_schoolColumn < 0 || wire::isNull(v)) return {};
        if (v.toString() != m_rules.school) return QStringLiteral("the row belongs to another school");
        return {};
    }

    QString insertRow(const wire::RowChange &row)
    {
        QVariantList values;
        QList<bool> present;
        if (QString e = byColumn(row.newValues, &values, &present); !e.isEmpty()) return e;
        if (m_schoolColumn >= 0) {
            if (QString e = checkSchool(values[m_schoolColumn]); !e.isEmpty()) return e;
            values[m_schoolColumn] = m_rules.school;
            present[m_schoolColumn] = true;
        }
        if (m_rules.onInsert)
            if (QString e = m_rules.onInsert(values); !e.isEmpty()) return e;
        QStringList cols, marks;
        QVariantList params;
        for (int c = 0; c < m_table.columns.size(); ++c) {
            const ColumnDef &col = m_table.columns[c];
            if (col.name == m_table.serial) continue;
            if (col.notNull && wire::isNull(values[c])) return QStringLiteral("%1 is required").arg(col.name);
            if (!present[c] && wire::isNull(values[c])) continue;
            cols << Database::quoted(col.name);
            marks << QStringLiteral("?");
            params << m_db.toDb(values[c], col.type);
        }
        const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(Database::quoted(m_table.name), cols.join(u", "), marks.join(u", "));
        if (m_table.serial.isEmpty()) m_db.exec(sql, params);
        else m_result.assignedIds << m_db.insertReturningId(sql, params, m_table.serial);
        return {};
    }

    // The WHERE clause that finds the stored row by its old key (within the caller's school).
    QString keyCondition(const QVariantList &old, QVariantList *params) const
    {
        QStringList terms;
        for (const QString &k : m_table.key) {
            const int c = m_table.columnIndex(k);
            terms << Database::quoted(m_table.columns[c].name) + QStringLiteral(" = ?");
            *params << m_db.toDb(old[c], m_table.columns[c].type);
        }
        if (m_schoolColumn >= 0 && !m_table.isKey(m_table.columns[m_schoolColumn].name)) {
            terms << Database::quoted(m_table.columns[m_schoolColumn].name) + QStringLiteral(" = ?");
            *params << m_rules.school;
        }
        return terms.join(QStringLiteral(" AND "));
    }

    QString checkOldKey(const QVariantList &old, const QList<bool> &present) const
    {
        for (const QString &k : m_table.key) {
            const int c = m_table.columnIndex(k);
            if (!present[c] || wire::isNull(old[c])) return QStringLiteral("the old value of key field %1 is missing").arg(k);
        }
        return m_schoolColumn < 0 ? QString() : checkSchool(old[m_schoolColumn]);
    }

    QString modifyRow(const wire::RowChange &row)
    {
        QVariantList oldValues, newValues;
        QList<bool> oldPresent, newPresent;
        if (QString e = byColumn(row.oldValues, &oldValues, &oldPresent); !e.isEmpty()) return e;
        if (QString e = byColumn(row.newValues, &newValues, &newPresent); !e.isEmpty()) return e;
        if (QString e = checkOldKey(oldValues, oldPresent); !e.isEmpty()) return e;
        if (m_schoolColumn >= 0)
            if (QString e = checkSchool(newValues[m_schoolColumn]); !e.isEmpty()) return e;

        QStringList sets, guards;
        QVariantList setParams, guardParams;
        for (int c = 0; c < m_table.columns.size(); ++c) {
            const ColumnDef &col = m_table.columns[c];
            if (!newPresent[c] || col.name == m_table.serial || wire::sameValue(oldValues[c], newValues[c])) continue;
            if (col.notNull && wire::isNull(newValues[c])) return QStringLiteral("%1 is required").arg(col.name);
            if (c == m_schoolColumn) return QStringLiteral("a row cannot move to another school");
            sets << Database::quoted(col.name) + QStringLiteral(" = ?");
            setParams << m_db.toDb(newValues[c], col.type);
            guards << Database::quoted(col.name) + m_isNull;
            guardParams << m_db.toDb(oldValues[c], col.type);
        }
        if (sets.isEmpty()) return {};
        QVariantList params = setParams;
        QString where = keyCondition(oldValues, &params);
        if (!guards.isEmpty()) where += QStringLiteral(" AND ") + guards.join(QStringLiteral(" AND "));
        params += guardParams;
        const int n = m_db.exec(QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(Database::quoted(m_table.name), sets.join(u", "), where), params);
        if (n != 1) return QStringLiteral("the row was changed or deleted by someone else since it was read");
        return {};
    }

    QString deleteRow(const wire::RowChange &row)
    {
        QVariantList oldValues;
        QList<bool> oldPresent;
        if (QString e = byColumn(row.oldValues, &oldValues, &oldPresent); !e.isEmpty()) return e;
        if (QString e = checkOldKey(oldValues, oldPresent); !e.isEmpty()) return e;
        QVariantList params;
        QString where = keyCondition(oldValues, &params);
        for (int c = 0; c < m_table.columns.size(); ++c) {
            const ColumnDef &col = m_table.columns[c];
            if (!oldPresent[c] || m_table.isKey(col.name)) continue;
            where += QStringLiteral(" AND ") + Database::quoted(col.name) + m_isNull;
            params << m_db.toDb(oldValues[c], col.type);
        }
        const int n = m_db.exec(QStringLiteral("DELETE FROM %1 WHERE %2").arg(Database::quoted(m_table.name), where), params);
        if (n != 1) return QStringLiteral("the row was changed or deleted by someone else since it was read");
        return {};
    }

    Database &m_db;
    const TableDef &m_table;
    const wire::ChangePacket &m_packet;
    const ApplyRules &m_rules;
    QList<int> m_columnOfField;
    int m_schoolColumn = -1;
    QString m_isNull;
    ApplyResult m_result;
};

} // namespace

ApplyResult applyChanges(Database &db, const TableDef &table, const wire::ChangePacket &packet, const ApplyRules &rules)
{
    return Applier(db, table, packet, rules).run();
}

ApplyResult applyChangesAtomically(Database &db, const TableDef &table, const wire::ChangePacket &packet,
                                   const ApplyRules &rules)
{
    Transaction tx(db);
    ApplyResult result = applyChanges(db, table, packet, rules);
    if (result.errors == 0) tx.commit();
    return result;
}

} // namespace lumeko::server
