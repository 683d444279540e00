#include "wire/types.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

namespace lumeko::wire {

WireError::WireError(const QString &message) : std::runtime_error(message.toStdString()) {}

bool isValidFieldType(int code) { return code >= int(FieldType::Text) && code <= int(FieldType::Blob); }

QString fieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::Text: return QStringLiteral("text");
    case FieldType::Integer: return QStringLiteral("integer");
    case FieldType::Float: return QStringLiteral("float");
    case FieldType::Boolean: return QStringLiteral("boolean");
    case FieldType::DateTime: return QStringLiteral("date-time");
    case FieldType::Date: return QStringLiteral("date");
    case FieldType::Blob: return QStringLiteral("blob");
    }
    return QStringLiteral("unknown");
}

namespace {

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Long: case QMetaType::ULong: case QMetaType::Short: case QMetaType::UShort:
    case QMetaType::Double: case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

bool isIntegral(const QVariant &v)
{
    return isNumber(v) && v.typeId() != QMetaType::Double && v.typeId() != QMetaType::Float;
}

bool toInteger(const QVariant &in, qint64 *out)
{
    if (in.typeId() == QMetaType::Bool) { *out = in.toBool() ? 1 : 0; return true; }
    if (isIntegral(in)) {
        if (in.typeId() == QMetaType::ULongLong && in.toULongLong() > quint64(INT64_MAX)) return false;
        *out = in.toLongLong();
        return true;
    }
    if (isNumber(in)) {
        const double d = in.toDouble();
        if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) > 9.0e18) return false;
        *out = qint64(d);
        return true;
    }
    if (in.typeId() == QMetaType::QString) {
        bool ok = false;
        const qint64 v = in.toString().trimmed().toLongLong(&ok);
        if (ok) *out = v;
        return ok;
    }
    return false;
}

bool toFloat(const QVariant &in, double *out)
{
    if (isNumber(in)) { *out = in.toDouble(); return std::isfinite(*out); }
    if (in.typeId() == QMetaType::QString) {
        bool ok = false;
        const double v = in.toString().trimmed().toDouble(&ok);
        if (ok && std::isfinite(v)) *out = v;
        return ok && std::isfinite(v);
    }
    return false;
}

bool toBoolean(const QVariant &in, bool *out)
{
    if (in.typeId() == QMetaType::Bool) { *out = in.toBool(); return true; }
    if (isIntegral(in)) {
        const qint64 v = in.toLongLong();
        if (v != 0 && v != 1) return false;
        *out = v == 1;
        return true;
    }
    if (in.typeId() == QMetaType::QString) {
        const QString s = in.toString().trimmed();
        if (s.compare(u"true", Qt::CaseInsensitive) == 0 || s == u"1") { *out = true; return true; }
        if (s.compare(u"false", Qt::CaseInsensitive) == 0 || s == u"0") { *out = false; return true; }
    }
    return false;
}

bool toDate(const QVariant &in, QDate *out)
{
    if (in.typeId() == QMetaType::QDate) { *out = in.toDate(); return out->isValid(); }
    if (in.typeId() == QMetaType::QDateTime) { *out = in.toDateTime().date(); return out->isValid(); }
    if (in.typeId() == QMetaType::QString) {
        const QString s = in.toString().trimmed();
        QDate d = QDate::fromString(s, Qt::ISODate);
        if (!d.isValid()) d = QDateTime::fromString(s, Qt::ISODateWithMs).date();
        if (!d.isValid()) return false;
        *out = d;
        return true;
    }
    return false;
}

bool toDateTime(const QVariant &in, QDateTime *out)
{
    if (in.typeId() == QMetaType::QDateTime) { *out = in.toDateTime(); return out->isValid(); }
    if (in.typeId() == QMetaType::QDate) {
        if (!in.toDate().isValid()) return false;
        *out = in.toDate().startOfDay();
        return true;
    }
    if (in.typeId() == QMetaType::QString) {
        const QString s = in.toString().trimmed();
        QDateTime dt = QDateTime::fromString(s, Qt::ISODateWithMs);
        if (!dt.isValid()) {
            const QDate d = QDate::fromString(s, Qt::ISODate);
            if (d.isValid()) dt = d.startOfDay();
        }
        if (!dt.isValid()) return false;
        *out = dt;
        return true;
    }
    return false;
}

QString toText(const QVariant &in)
{
    switch (in.typeId()) {
    case QMetaType::QDate: return in.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime: return in.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case QMetaType::Bool: return in.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double: return QString::number(in.toDouble(), 'g', 15);
    default: return in.toString();
    }
}

} // namespace

bool coerceValue(const QVariant &in, FieldType type, QVariant *out)
{
    if (isNull(in)) { *out = QVariant(); return true; }
    switch (type) {
    case FieldType::Text:
        if (in.typeId() == QMetaType::QByteArray) return false;
        if (!in.canConvert<QString>()) return false;
        *out = toText(in);
        return true;
    case FieldType::Integer: { qint64 v; if (!toInteger(in, &v)) return false; *out = v; return true; }
    case FieldType::Float: { double v; if (!toFloat(in, &v)) return false; *out = v; return true; }
    case FieldType::Boolean: { bool v; if (!toBoolean(in, &v)) return false; *out = v; return true; }
    case FieldType::Date: { QDate v; if (!toDate(in, &v)) return false; *out = v; return true; }
    case FieldType::DateTime: { QDateTime v; if (!toDateTime(in, &v)) return false; *out = v; return true; }
    case FieldType::Blob:
        if (in.typeId() != QMetaType::QByteArray) return false;
        *out = in;
        return true;
    }
    return false;
}

QVariant coerceOrThrow(const QVariant &in, const FieldDef &field)
{
    QVariant out;
    if (!coerceValue(in, field.type, &out))
        throw WireError(QStringLiteral("the value '%1' is not a valid %2 for field %3")
                            .arg(in.toString().left(40), fieldTypeName(field.type), field.name));
    if (field.type == FieldType::Text && field.size > 0 && out.toString().size() > field.size)
        throw WireError(QStringLiteral("the text for field %1 is %2 characters long; at most %3 fit")
                            .arg(field.name).arg(out.toString().size()).arg(field.size));
    return out;
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    const bool an = isNull(a), bn = isNull(b);
    if (an || bn) return an == bn;
    if (isNumber(a) && isNumber(b)) {
        if (isIntegral(a) && isIntegral(b)) return a.toLongLong() == b.toLongLong();
        return a.toDouble() == b.toDouble();
    }
    if (a.typeId() == QMetaType::QDateTime && b.typeId() == QMetaType::QDateTime)
        return a.toDateTime() == b.toDateTime();
    if (a.typeId() != b.typeId()) return false;
    return a == b;
}

int indexOfField(const QList<FieldDef> &fields, QStringView name)
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

} // namespace lumeko::wire
