#include "wire/packet.h"

namespace lumeko::wire {

DataPacket::DataPacket(QList<FieldDef> fields) : m_fields(std::move(fields))
{
    m_columns.reserve(m_fields.size());
    for (const FieldDef &f : m_fields) m_columns.append(Column(f.type));
}

void DataPacket::appendRow(const QVariantList &values)
{
    if (values.size() != m_fields.size())
        throw WireError(QStringLiteral("a row of %1 values does not fit a packet of %2 fields")
                            .arg(values.size()).arg(m_fields.size()));
    QVariantList converted;
    converted.reserve(values.size());
    for (int i = 0; i < values.size(); ++i) converted.append(coerceOrThrow(values[i], m_fields[i]));
    for (int i = 0; i < values.size(); ++i) m_columns[i].append(converted[i]);
}

QVariantList DataPacket::row(qsizetype row) const
{
    QVariantList values;
    values.reserve(m_columns.size());
    for (const Column &c : m_columns) values.append(c.value(row));
    return values;
}

DataPacket DataPacket::fromColumns(QList<FieldDef> fields, QList<Column> columns)
{
    if (fields.size() != columns.size())
        throw WireError(QStringLiteral("%1 columns for %2 fields").arg(columns.size()).arg(fields.size()));
    for (int i = 0; i < fields.size(); ++i) {
        if (columns[i].type() != fields[i].type)
            throw WireError(QStringLiteral("column %1 is not of its field's type").arg(fields[i].name));
        if (columns[i].size() != columns[0].size())
            throw WireError(QStringLiteral("column %1 has %2 rows, column %3 has %4")
                                .arg(fields[i].name).arg(columns[i].size())
                                .arg(fields[0].name).arg(columns[0].size()));
    }
    DataPacket p;
    p.m_fields = std::move(fields);
    p.m_columns = std::move(columns);
    return p;
}

QList<Column> DataPacket::takeColumns()
{
    QList<Column> taken = std::move(m_columns);
    m_columns.clear();
    for (const FieldDef &f : m_fields) m_columns.append(Column(f.type));
    return taken;
}

bool RowChange::operator==(const RowChange &other) const
{
    auto same = [](const QVariantList &a, const QVariantList &b) {
        if (a.size() != b.size()) return false;
        for (qsizetype i = 0; i < a.size(); ++i)
            if (!sameValue(a[i], b[i])) return false;
        return true;
    };
    return status == other.status && same(oldValues, other.oldValues) && same(newValues, other.newValues);
}

qsizetype ChangePacket::count(RowStatus status) const
{
    return std::count_if(rows.begin(), rows.end(), [status](const RowChange &r) { return r.status == status; });
}

void ChangePacket::validateShape() const
{
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const RowChange &r = rows[i];
        const bool needsOld = r.status == RowStatus::Modified || r.status == RowStatus::Deleted;
        const bool needsNew = r.status == RowStatus::Modified || r.status == RowStatus::Inserted;
        if (r.status == RowStatus::Unmodified)
            throw WireError(QStringLiteral("change row %1 is not a change").arg(i));
        if ((needsOld ? fields.size() : 0) != r.oldValues.size()
            || (needsNew ? fields.size() : 0) != r.newValues.size())
            throw WireError(QStringLiteral("change row %1 does not have one value per field").arg(i));
    }
}

QVariant ChangePacket::checkedValue(qsizetype row, int field, const QVariant &value) const
{
    QVariant v;
    if (!coerceValue(value, fields[field].type, &v))
        throw WireError(QStringLiteral("change row %1: the value of %2 is not a %3")
                            .arg(row).arg(fields[field].name, fieldTypeName(fields[field].type)));
    return v;
}

void ChangePacket::validate() const
{
    validateShape();
    for (qsizetype i = 0; i < rows.size(); ++i)
        for (const QVariantList *values : {&rows[i].oldValues, &rows[i].newValues})
            for (int f = 0; f < values->size(); ++f) checkedValue(i, f, (*values)[f]);
}

} // namespace lumeko::wire
