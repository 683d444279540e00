#include "wire/codec.h"
#include "wire/cborinput.h"

#include <QCborStreamWriter>

#include <cmath>
#include <limits>

namespace lumeko::wire {
namespace detail {

constexpr int kPacketVersion = 1;
constexpr quint64 kMaxDays = 3'000'000; // dates beyond about ±8000 years are malformed

CborInput::CborInput(QByteArrayView bytes, const DecodeLimits &limits)
    : m_reader(bytes.data(), bytes.size()), m_data(bytes.data()), m_size(bytes.size()), m_limits(limits)
{
    if (bytes.isEmpty()) fail(QStringLiteral("the input is empty"));
}

void CborInput::fail(const QString &what) const
{
    throw WireError(QStringLiteral("malformed data at byte %1: %2").arg(m_reader.currentOffset()).arg(what));
}

void CborInput::checkReader()
{
    const QCborError err = m_reader.lastError();
    if (err.c != QCborError::NoError) fail(err.toString());
}

void CborInput::skipNull()
{
    if (!atNull()) fail(QStringLiteral("expected null"));
    m_reader.next();
}

qsizetype CborInput::enterArray(const char *what, qsizetype maxLength)
{
    if (type() != QCborStreamReader::Array) fail(QStringLiteral("expected %1 as an array").arg(QLatin1String(what)));
    if (!m_reader.isLengthKnown()) fail(QStringLiteral("%1 must have a definite length").arg(QLatin1String(what)));
    const quint64 len = m_reader.length();
    // Every element takes at least one byte, so no honest array is longer than what remains.
    if (len > quint64(maxLength) || len > quint64(remaining()))
        fail(QStringLiteral("%1 claims %2 elements").arg(QLatin1String(what)).arg(len));
    if (!m_reader.enterContainer()) checkReader();
    return qsizetype(len);
}

void CborInput::leaveArray(const char *what)
{
    checkReader();
    if (m_reader.hasNext()) fail(QStringLiteral("%1 has more elements than expected").arg(QLatin1String(what)));
    if (!m_reader.leaveContainer()) checkReader();
}

qint64 CborInput::readInt(const char *what)
{
    const auto t = type();
    qint64 v = 0;
    if (t == QCborStreamReader::UnsignedInteger) {
        const quint64 u = m_reader.toUnsignedInteger();
        if (u > quint64(std::numeric_limits<qint64>::max())) fail(QStringLiteral("%1 is out of range").arg(QLatin1String(what)));
        v = qint64(u);
    } else if (t == QCborStreamReader::NegativeInteger) {
        const quint64 n = quint64(m_reader.toNegativeInteger());
        if (n > quint64(std::numeric_limits<qint64>::max()) + 1) fail(QStringLiteral("%1 is out of range").arg(QLatin1String(what)));
        v = qint64(0 - n);
    } else {
        fail(QStringLiteral("expected %1 as an integer").arg(QLatin1String(what)));
    }
    m_reader.next();
    return v;
}

double CborInput::readDouble(const char *what)
{
    double v = 0;
    switch (type()) {
    case QCborStreamReader::Double: v = m_reader.toDouble(); break;
    case QCborStreamReader::Float: v = m_reader.toFloat(); break;
    case QCborStreamReader::Float16: v = float(m_reader.toFloat16()); break;
    default: fail(QStringLiteral("expected %1 as a number").arg(QLatin1String(what)));
    }
    // NaN and infinity are no score or amount, and would break ordering and comparisons.
    if (!std::isfinite(v)) fail(QStringLiteral("%1 is not a finite number").arg(QLatin1String(what)));
    m_reader.next();
    return v;
}

bool CborInput::readBool(const char *what)
{
    if (type() != QCborStreamReader::SimpleType || !m_reader.isBool())
        fail(QStringLiteral("expected %1 as a boolean").arg(QLatin1String(what)));
    const bool v = m_reader.toBool();
    m_reader.next();
    return v;
}

QString CborInput::readText(const char *what, qsizetype maxBytes)
{
    if (type() != QCborStreamReader::String) fail(QStringLiteral("expected %1 as a text").arg(QLatin1String(what)));
    // Chunked texts are refused: the limit is checked in bytes before anything is read.
    if (!m_reader.isLengthKnown()) fail(QStringLiteral("%1 must have a definite length").arg(QLatin1String(what)));
    if (m_reader.length() > quint64(maxBytes) || m_reader.length() > quint64(remaining()))
        fail(QStringLiteral("%1 is too long").arg(QLatin1String(what)));
    QString text;
    for (;;) {
        auto chunk = m_reader.readString();
        if (chunk.status == QCborStreamReader::Error) checkReader(), fail(QStringLiteral("bad text"));
        if (chunk.status == QCborStreamReader::EndOfString) break;
        if (text.isEmpty()) text = std::move(chunk.data);
        else text += chunk.data;
        if (text.size() > maxBytes) fail(QStringLiteral("%1 is too long").arg(QLatin1String(what)));
    }
    if (text.isNull()) text = QLatin1String(""); // an empty text is not null
    return text;
}

QString CborInput::readColumnText(TextCache &cache)
{
    if (!m_reader.isLengthKnown()) fail(QStringLiteral("a text value must have a definite length"));
    const quint64 len = m_reader.length();
    const qsizetype at = qsizetype(m_reader.currentOffset());
    // The item's head is 1, 2, 3, 5 or 9 bytes, by its low five bits.
    static constexpr qsizetype headSize[32] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                               1, 1, 1, 1, 1, 1, 1, 1, 2, 3, 5, 9, 0, 0, 0, 0};
    const qsizetype head = headSize[uchar(m_data[at]) & 0x1f];
    if (head == 0 || len > quint64(m_limits.maxTextBytes) || len > quint64(m_size - at - head))
        fail(QStringLiteral("a text value is too long"));
    const QByteArrayView utf8(m_data + at + head, qsizetype(len));
    QString text;
    const size_t hash = utf8.size() <= TextCache::kMaxBytes ? qHash(utf8) : 0;
    if (const QString *known = utf8.size() <= TextCache::kMaxBytes ? cache.find(utf8, hash) : nullptr) {
        text = *known;
    } else {
        // fromUtf8 turns a malformed sequence into U+FFFD; only then is the strict decoder asked.
        text = QString::fromUtf8(utf8);
        if (text.contains(QChar::ReplacementCharacter)) {
            QStringDecoder strict(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            text = strict.decode(utf8);
            if (strict.hasError()) fail(QStringLiteral("a text value is not valid UTF-8"));
        }
        if (utf8.size() <= TextCache::kMaxBytes) cache.store(utf8, hash, text);
    }
    skipString();
    return text;
}

void CborInput::skipString()
{
    // next() would decode the whole text again only to step over it; a chunk read into no
    // buffer just moves on.
    for (;;) {
        const auto r = m_reader.readStringChunk(nullptr, 0);
        if (r.status == QCborStreamReader::EndOfString) return;
        if (r.status == QCborStreamReader::Error) checkReader(), fail(QStringLiteral("bad text"));
    }
}

QByteArray CborInput::readBytes(const char *what, qsizetype maxBytes)
{
    if (type() != QCborStreamReader::ByteArray) fail(QStringLiteral("expected %1 as bytes").arg(QLatin1String(what)));
    if (!m_reader.isLengthKnown()) fail(QStringLiteral("%1 must have a definite length").arg(QLatin1String(what)));
    if (m_reader.length() > quint64(maxBytes) || m_reader.length() > quint64(remaining()))
        fail(QStringLiteral("%1 is too long").arg(QLatin1String(what)));
    QByteArray bytes;
    for (;;) {
        auto chunk = m_reader.readByteArray();
        if (chunk.status == QCborStreamReader::Error) checkReader(), fail(QStringLiteral("bad bytes"));
        if (chunk.status == QCborStreamReader::EndOfString) break;
        bytes += chunk.data;
        if (bytes.size() > maxBytes) fail(QStringLiteral("%1 is too long").arg(QLatin1String(what)));
    }
    if (bytes.isNull()) bytes = QByteArray("");
    return bytes;
}

quint64 CborInput::readTag(const char *what)
{
    if (type() != QCborStreamReader::Tag) fail(QStringLiteral("expected %1").arg(QLatin1String(what)));
    const quint64 tag = quint64(m_reader.toTag());
    m_reader.next();
    return tag;
}

void CborInput::expectEnd()
{
    checkReader();
    if (m_reader.currentOffset() != m_size) fail(QStringLiteral("unexpected bytes after the end"));
}

QVariant readFieldValue(CborInput &in, FieldType type)
{
    if (in.atNull()) { in.skipNull(); return {}; }
    switch (type) {
    case FieldType::Text: return in.readText("a text value", in.limits().maxTextBytes);
    case FieldType::Integer: return in.readInt("an integer value");
    case FieldType::Float: return in.readDouble("a float value");
    case FieldType::Boolean: return in.readBool("a boolean value");
    case FieldType::Date: {
        const qint64 days = in.readInt("a date");
        if (days < -qint64(kMaxDays) || days > qint64(kMaxDays)) in.fail(QStringLiteral("date out of range"));
        return Column::daysToDate(days);
    }
    case FieldType::DateTime: {
        const qint64 ms = in.readInt("a date-time");
        if (ms < -250'000'000'000'000LL || ms > 250'000'000'000'000LL) in.fail(QStringLiteral("date-time out of range"));
        return QDateTime::fromMSecsSinceEpoch(ms);
    }
    case FieldType::Blob: return in.readBytes("a blob value", in.limits().maxBlobBytes);
    }
    in.fail(QStringLiteral("unknown field type"));
}

void writeFieldValue(QCborStreamWriter &w, FieldType type, const QVariant &value)
{
    if (isNull(value)) { w.appendNull(); return; }
    switch (type) {
    case FieldType::Text: w.append(value.toString()); break;
    case FieldType::Integer: w.append(value.toLongLong()); break;
    case FieldType::Float: w.append(value.toDouble()); break;
    case FieldType::Boolean: w.append(value.toBool()); break;
    case FieldType::Date: w.append(Column::dateToDays(value.toDate())); break;
    case FieldType::DateTime: w.append(value.toDateTime().toMSecsSinceEpoch()); break;
    case FieldType::Blob: w.append(value.toByteArray()); break;
    }
}

namespace {

void writeFields(QCborStreamWriter &w, const QList<FieldDef> &fields)
{
    w.startArray(fields.size());
    for (const FieldDef &f : fields) {
        w.startArray(4);
        w.append(f.name);
        w.append(qint64(f.type));
        w.append(qint64(f.size));
        w.append(qint64(f.flags));
        w.endArray();
    }
    w.endArray();
}

QList<FieldDef> readFields(CborInput &in)
{
    const DecodeLimits &lim = in.limits();
    const qsizetype n = in.enterArray("the field list", lim.maxFields);
    QList<FieldDef> fields;
    fields.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        in.enterArray("a field definition", 4);
        FieldDef f;
        f.name = in.readText("a field name", lim.maxNameBytes);
        if (f.name.trimmed().isEmpty()) in.fail(QStringLiteral("a field has no name"));
        const qint64 type = in.readInt("a field type");
        if (!isValidFieldType(int(type)) || type != int(type)) in.fail(QStringLiteral("unknown field type %1").arg(type));
        f.type = FieldType(type);
        const qint64 size = in.readInt("a field size");
        if (size < 0 || size > 1'000'000) in.fail(QStringLiteral("field size %1 out of range").arg(size));
        f.size = int(size);
        const qint64 flags = in.readInt("field flags");
        if (flags < 0 || flags > 7) in.fail(QStringLiteral("unknown field flags %1").arg(flags));
        f.flags = quint8(flags);
        in.leaveArray("a field definition");
        if (indexOfField(fields, f.name) >= 0) in.fail(QStringLiteral("field %1 appears twice").arg(f.name));
        fields.append(f);
    }
    in.leaveArray("the field list");
    return fields;
}

void readVersion(CborInput &in)
{
    const qint64 v = in.readInt("the packet version");
    if (v != kPacketVersion) in.fail(QStringLiteral("unsupported packet version %1").arg(v));
}

// Reads one column straight into typed storage; the hot loop of every query.
Column readColumn(CborInput &in, const FieldDef &field, qsizetype rows)
{
    if (in.enterArray("a column", rows) != rows) in.fail(QStringLiteral("column %1 is not %2 rows long").arg(field.name).arg(rows));
    Column col(field.type);
    col.reserve(rows);
    QCborStreamReader &r = in.reader();
    TextCache texts;
    for (qsizetype i = 0; i < rows; ++i) {
        if (field.type == FieldType::Integer && r.isUnsignedInteger() && r.toUnsignedInteger() <= quint64(INT64_MAX)) {
            col.appendInt(qint64(r.toUnsignedInteger()));
            r.next();
        } else if (field.type == FieldType::Text && in.type() == QCborStreamReader::String) {
            col.appendText(in.readColumnText(texts));
        } else if (field.type == FieldType::Float && r.isDouble() && std::isfinite(r.toDouble())) {
            col.appendFloat(r.toDouble());
            r.next();
        } else if (field.type == FieldType::Boolean && r.isBool()) {
            col.appendInt(r.toBool() ? 1 : 0);
            r.next();
        } else if (field.type == FieldType::Date && r.isUnsignedInteger() && r.toUnsignedInteger() <= kMaxDays) {
            col.appendInt(qint64(r.toUnsignedInteger())); // days since 1970; earlier dates take the checked path
            r.next();
        } else {
            col.append(readFieldValue(in, field.type));
        }
    }
    in.leaveArray("a column");
    return col;
}

} // namespace

DataPacket readDataPacket(CborInput &in, const DecodeLimits &limits)
{
    in.enterArray("a data packet", 4);
    readVersion(in);
    QList<FieldDef> fields = readFields(in);
    const qint64 rows = in.readInt("the row count");
    if (rows < 0 || rows > limits.maxRows) in.fail(QStringLiteral("row count %1 out of range").arg(rows));
    if (fields.isEmpty() && rows > 0) in.fail(QStringLiteral("rows without fields"));
    if (in.enterArray("the column list", fields.size()) != fields.size())
        in.fail(QStringLiteral("the column list does not match the fields"));
    QList<Column> columns;
    columns.reserve(fields.size());
    for (const FieldDef &f : fields) columns.append(readColumn(in, f, rows));
    in.leaveArray("the column list");
    in.leaveArray("a data packet");
    return DataPacket::fromColumns(std::move(fields), std::move(columns));
}

ChangePacket readChangePacket(CborInput &in, const DecodeLimits &limits)
{
    in.enterArray("a change packet", 3);
    readVersion(in);
    ChangePacket packet;
    packet.fields = readFields(in);
    const qsizetype n = in.enterArray("the change rows", limits.maxRows);
    packet.rows.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        in.enterArray("a change row", 3);
        RowChange change;
        const qint64 status = in.readInt("a row status");
        if (status < 1 || status > 3) in.fail(QStringLiteral("row status %1 is not a change").arg(status));
        change.status = RowStatus(status);
        const bool hasOld = change.status != RowStatus::Inserted;
        const bool hasNew = change.status != RowStatus::Deleted;
        for (QVariantList *values : {&change.oldValues, &change.newValues}) {
            const bool wanted = values == &change.oldValues ? hasOld : hasNew;
            const qsizetype count = in.enterArray("row values", packet.fields.size());
            if (count != (wanted ? packet.fields.size() : 0))
                in.fail(QStringLiteral("change row %1 has %2 values where %3 belong")
                            .arg(i).arg(count).arg(wanted ? packet.fields.size() : 0));
            values->reserve(count);
            for (qsizetype f = 0; f < count; ++f) values->append(readFieldValue(in, packet.fields[f].type));
            in.leaveArray("row values");
        }
        in.leaveArray("a change row");
        packet.rows.append(std::move(change));
    }
    in.leaveArray("the change rows");
    in.leaveArray("a change packet");
    return packet;
}

} // namespace detail

void writeDataPacket(QCborStreamWriter &w, const DataPacket &packet)
{
    w.startArray(4);
    w.append(qint64(detail::kPacketVersion));
    detail::writeFields(w, packet.fields());
    const qsizetype rows = packet.rowCount();
    w.append(qint64(rows));
    w.startArray(packet.fieldCount());
    for (int f = 0; f < packet.fieldCount(); ++f) {
        const Column &col = packet.column(f);
        w.startArray(rows);
        for (qsizetype r = 0; r < rows; ++r) {
            if (col.isNull(r)) w.appendNull();
            else if (col.type() == FieldType::Text) w.append(col.textAt(r));
            else if (col.type() == FieldType::Integer) w.append(col.intAt(r));
            else if (col.type() == FieldType::Float) w.append(col.floatAt(r));
            else detail::writeFieldValue(w, col.type(), col.value(r));
        }
        w.endArray();
    }
    w.endArray();
    w.endArray();
}

void writeChangePacket(QCborStreamWriter &w, const ChangePacket &packet)
{
    // Statuses and counts are checked first; values are converted (and refused) as they are
    // written, in one pass. A refused value throws, and the bytes written so far are dropped with
    // the encoder's buffer.
    packet.validateShape();
    w.startArray(3);
    w.append(qint64(detail::kPacketVersion));
    detail::writeFields(w, packet.fields);
    w.startArray(packet.rows.size());
    for (qsizetype i = 0; i < packet.rows.size(); ++i) {
        const RowChange &row = packet.rows[i];
        w.startArray(3);
        w.append(qint64(row.status));
        for (const QVariantList *values : {&row.oldValues, &row.newValues}) {
            w.startArray(values->size());
            for (int f = 0; f < values->size(); ++f)
                detail::writeFieldValue(w, packet.fields[f].type, packet.checkedValue(i, f, (*values)[f]));
            w.endArray();
        }
        w.endArray();
    }
    w.endArray();
    w.endArray();
}

QByteArray encodeDataPacket(const DataPacket &packet)
{
    QByteArray out;
    QCborStreamWriter w(&out);
    writeDataPacket(w, packet);
    return out;
}

QByteArray encodeChangePacket(const ChangePacket &packet)
{
    QByteArray out;
    QCborStreamWriter w(&out);
    writeChangePacket(w, packet);
    return out;
}

DataPacket decodeDataPacket(QByteArrayView bytes, const DecodeLimits &limits)
{
    detail::CborInput in(bytes, limits);
    DataPacket p = detail::readDataPacket(in, limits);
    in.expectEnd();
    return p;
}

ChangePacket decodeChangePacket(QByteArrayView bytes, const DecodeLimits &limits)
{
    detail::CborInput in(bytes, limits);
    ChangePacket p = detail::readChangePacket(in, limits);
    in.expectEnd();
    return p;
}

} // namespace lumeko::wire
