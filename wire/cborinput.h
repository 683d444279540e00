#pragma once
// A strict reader over QCborStreamReader: every read names what it expected and where, and every
// length is checked against the bytes that remain before anything is allocated.

#include "wire/codec.h"

#include <QCborStreamReader>

namespace lumeko::wire::detail {

class CborInput {
public:
    CborInput(QByteArrayView bytes, const DecodeLimits &limits);

    [[noreturn]] void fail(const QString &what) const;
    qint64 offset() const { return m_reader.currentOffset(); }
    qsizetype remaining() const { return m_size - qsizetype(offset()); }
    const DecodeLimits &limits() const { return m_limits; }
    QCborStreamReader &reader() { return m_reader; }

    QCborStreamReader::Type type() { checkReader(); return m_reader.type(); }
    bool atNull() { return type() == QCborStreamReader::SimpleType && m_reader.isNull(); }
    void skipNull();

    // Enters a definite-length array and returns its length; `what` names it in errors.
    qsizetype enterArray(const char *what, qsizetype maxLength);
    void leaveArray(const char *what);
    qint64 readInt(const char *what);
    double readDouble(const char *what);
    bool readBool(const char *what);
    QString readText(const char *what, qsizetype maxBytes);
    QByteArray readBytes(const char *what, qsizetype maxBytes);
    quint64 readTag(const char *what);
    void expectEnd();

private:
    void checkReader();
    QCborStreamReader m_reader;
    qsizetype m_size;
    DecodeLimits m_limits;
};

// Values of a typed field: `type` says what the CBOR item must be.
QVariant readFieldValue(CborInput &in, FieldType type);
void writeFieldValue(QCborStreamWriter &w, FieldType type, const QVariant &value);

} // namespace lumeko::wire::detail
