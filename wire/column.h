#pragma once
// One column of a table image: the values of one field for every row, stored by type so that a
// loaded table costs about what a plain array of structs would.

#include "wire/types.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

namespace lumeko::wire {

class LUMEKO_WIRE_EXPORT Column {
public:
    Column() = default;
    explicit Column(FieldType type) : m_type(type) {}

    FieldType type() const { return m_type; }
    qsizetype size() const { return m_null.size(); }
    void reserve(qsizetype rows);
    void resize(qsizetype rows); // new rows are null

    bool isNull(qsizetype row) const { return m_null[row]; }
    QVariant value(qsizetype row) const;

    // `value` must already be of the column's canonical type (see coerceValue) or null.
    void append(const QVariant &value);
    void set(qsizetype row, const QVariant &value);
    void appendNull();

    // Typed access for the hot loops (decoding, filtering, sorting). The value of a null row is
    // 0, false or empty.
    void appendInt(qint64 v) { m_ints.append(v); m_null.append(false); }
    void appendFloat(double v) { m_floats.append(v); m_null.append(false); }
    void appendText(const QString &v) { m_texts.append(v); m_null.append(false); }
    void appendBlob(const QByteArray &v) { m_blobs.append(v); m_null.append(false); }
    qint64 intAt(qsizetype row) const { return m_ints[row]; }         // Integer, Boolean, Date, DateTime
    double floatAt(qsizetype row) const { return m_floats[row]; }     // Float
    const QString &textAt(qsizetype row) const { return m_texts[row]; } // Text
    const QByteArray &blobAt(qsizetype row) const { return m_blobs[row]; } // Blob

    // Dates are kept as days since 1970-01-01, date-times as milliseconds since the epoch.
    static qint64 dateToDays(QDate d) { return d.toJulianDay() - kJulianDayOf1970; }
    static QDate daysToDate(qint64 days) { return QDate::fromJulianDay(days + kJulianDayOf1970); }

    // Bytes held by this column (payload and text buffers), for memory accounting.
    qsizetype memoryUsage() const;

    bool operator==(const Column &other) const;

private:
    static constexpr qint64 kJulianDayOf1970 = 2440588;
    enum class Store { Ints, Floats, Texts, Blobs };
    Store store() const;

    FieldType m_type = FieldType::Text;
    QList<bool> m_null;
    QList<qint64> m_ints;
    QList<double> m_floats;
    QList<QString> m_texts;
    QList<QByteArray> m_blobs;
};

} // namespace lumeko::wire
