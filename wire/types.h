#pragma once
// Field types, field definitions and the rules for values that travel between the module and the
// server. A value is a QVariant; an invalid QVariant is null, which is never the same as an empty text.

#include "wire/wire_export.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <stdexcept>

namespace lumeko::wire {

enum class FieldType : quint8 {
    Text = 1,     // QString, `size` characters at most (0: no limit)
    Integer = 2,  // qint64
    Float = 3,    // double
    Boolean = 4,  // bool
    DateTime = 5, // QDateTime, to the millisecond
    Date = 6,     // QDate
    Blob = 7,     // QByteArray
};

LUMEKO_WIRE_EXPORT bool isValidFieldType(int code);
LUMEKO_WIRE_EXPORT QString fieldTypeName(FieldType type);

struct LUMEKO_WIRE_EXPORT FieldDef {
    enum Flag : quint8 {
        Key = 1,      // part of the row's key on the server
        Required = 2, // a row cannot be posted while this field is null
        ReadOnly = 4, // computed by the server; never written back
    };
    QString name;
    FieldType type = FieldType::Text;
    int size = 0;
    quint8 flags = 0;

    bool has(Flag f) const { return flags & f; }
    bool operator==(const FieldDef &) const = default;
};

// Any failure to build, encode or decode data on the wire.
class LUMEKO_WIRE_EXPORT WireError : public std::runtime_error {
public:
    explicit WireError(const QString &message);
    QString message() const { return QString::fromUtf8(what()); }
};

inline bool isNull(const QVariant &v) { return !v.isValid() || v.isNull(); }

// Converts a value to the canonical representation of a field type (qint64 for Integer, double for
// Float, ...). Null stays null. Returns false, leaving `out` untouched, when the value cannot be
// represented without loss (text "12a" as an integer, 1.5 as an integer, a malformed date).
LUMEKO_WIRE_EXPORT bool coerceValue(const QVariant &in, FieldType type, QVariant *out);

// Like coerceValue, but throws WireError naming the field when the value does not fit.
LUMEKO_WIRE_EXPORT QVariant coerceOrThrow(const QVariant &in, const FieldDef &field);

// Values compared for equality the way the change log needs it: null equals only null, numbers by
// value, text exactly.
LUMEKO_WIRE_EXPORT bool sameValue(const QVariant &a, const QVariant &b);

// Index of the field with this name, compared without regard to letter case; -1 when absent.
LUMEKO_WIRE_EXPORT int indexOfField(const QList<FieldDef> &fields, QStringView name);

} // namespace lumeko::wire
