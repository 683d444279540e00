#include "wire/column.h"

#include <cstring>

namespace lumeko::wire {

Column::Store Column::store() const
{
    switch (m_type) {
    case FieldType::Float: return Store::Floats;
    case FieldType::Text: return Store::Texts;
    case FieldType::Blob: return Store::Blobs;
    default: return Store::Ints;
    }
}

void Column::reserve(qsizetype rows)
{
    m_null.reserve(rows);
    switch (store()) {
    case Store::Ints: m_ints.reserve(rows); break;
    case Store::Floats: m_floats.reserve(rows); break;
    case Store::Texts: m_texts.reserve(rows); break;
    case Store::Blobs: m_blobs.reserve(rows); break;
    }
}

void Column::resize(qsizetype rows)
{
    const qsizetype old = m_null.size();
    m_null.resize(rows);
    for (qsizetype i = old; i < rows; ++i) m_null[i] = true;
    switch (store()) {
    case Store::Ints: m_ints.resize(rows); break;
    case Store::Floats: m_floats.resize(rows); break;
    case Store::Texts: m_texts.resize(rows); break;
    case Store::Blobs: m_blobs.resize(rows); break;
    }
}

QVariant Column::value(qsizetype row) const
{
    if (m_null[row]) return {};
    switch (m_type) {
    case FieldType::Text: return m_texts[row];
    case FieldType::Integer: return m_ints[row];
    case FieldType::Float: return m_floats[row];
    case FieldType::Boolean: return m_ints[row] != 0;
    case FieldType::Date: return daysToDate(m_ints[row]);
    case FieldType::DateTime: return QDateTime::fromMSecsSinceEpoch(m_ints[row]);
    case FieldType::Blob: return m_blobs[row];
    }
    return {};
}

void Column::appendNull()
{
    resize(size() + 1);
}

void Column::append(const QVariant &value)
{
    appendNull();
    set(size() - 1, value);
}

void Column::set(qsizetype row, const QVariant &value)
{
    const bool null = wire::isNull(value);
    m_null[row] = null;
    switch (m_type) {
    case FieldType::Text: m_texts[row] = null ? QString() : value.toString(); break;
    case FieldType::Integer: m_ints[row] = null ? 0 : value.toLongLong(); break;
    case FieldType::Float: m_floats[row] = null ? 0.0 : value.toDouble(); break;
    case FieldType::Boolean: m_ints[row] = null ? 0 : (value.toBool() ? 1 : 0); break;
    case FieldType::Date: m_ints[row] = null ? 0 : dateToDays(value.toDate()); break;
    case FieldType::DateTime: m_ints[row] = null ? 0 : value.toDateTime().toMSecsSinceEpoch(); break;
    case FieldType::Blob: m_blobs[row] = null ? QByteArray() : value.toByteArray(); break;
    }
}

qsizetype Column::memoryUsage() const
{
    qsizetype bytes = m_null.capacity() * qsizetype(sizeof(bool));
    bytes += m_ints.capacity() * qsizetype(sizeof(qint64)) + m_floats.capacity() * qsizetype(sizeof(double));
    bytes += m_texts.capacity() * qsizetype(sizeof(QString)) + m_blobs.capacity() * qsizetype(sizeof(QByteArray));
    for (const QString &s : m_texts)
        if (!s.isEmpty()) bytes += s.capacity() * 2 + 16;
    for (const QByteArray &b : m_blobs)
        if (!b.isEmpty()) bytes += b.capacity() + 16;
    return bytes;
}

bool Column::operator==(const Column &other) const
{
    if (m_type != other.m_type || m_null != other.m_null) return false;
    for (qsizetype i = 0; i < size(); ++i) {
        if (m_null[i]) continue;
        switch (store()) {
        case Store::Ints: if (m_ints[i] != other.m_ints[i]) return false; break;
        // bitwise for floats so that a round trip is checked exactly
        case Store::Floats:
            if (std::memcmp(&m_floats[i], &other.m_floats[i], sizeof(double)) != 0) return false;
            break;
        case Store::Texts: if (m_texts[i] != other.m_texts[i]) return false; break;
        case Store::Blobs: if (m_blobs[i] != other.m_blobs[i]) return false; break;
        }
    }
    return true;
}

} // namespace lumeko::wire
