#pragma once
// A strict reader over QCborStreamReader: every read names what it expected and where, and every
// length is checked against the bytes that remain before anything is allocated.

#include "wire/codec.h"

#include <QCborStreamReader>
#include <QStringDecoder>

#include <array>

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
    // The text of a column cell, straight from the input bytes; short texts that repeat (class
    // codes, sex, grade names) come from `cache` and share one string.
    QString readColumnText(class TextCache &cache);
    QByteArray readBytes(const char *what, qsizetype maxBytes);
    quint64 readTag(const char *what);
    void expectEnd();

private:
    void checkReader();
    void skipString();
    QCborStreamReader m_reader;
    const char *m_data;
    qsizetype m_size;
    DecodeLimits m_limits;
};

// Equal short texts of one column decode once and then share their string.
class TextCache {
public:
    static constexpr qsizetype kMaxBytes = 24;
    const QString *find(QByteArrayView utf8, size_t hash) const
    {
        const Entry &e = m_entries[hash % m_entries.size()];
        return e.used && e.utf8 == utf8 ? &e.text : nullptr;
    }
    void store(QByteArrayView utf8, size_t hash, const QString &text)
    {
        Entry &e = m_entries[hash % m_entries.size()];
        e.utf8 = utf8.toByteArray();
        e.text = text;
        e.used = true;
    }

private:
    struct Entry {
        QByteArray utf8;
        QString text;
        bool used = false;
    };
    std::array<Entry, 512> m_entries;
};

// Values of a typed field: `type` says what the CBOR item must be.
QVariant readFieldValue(CborInput &in, FieldType type);
void writeFieldValue(QCborStreamWriter &w, FieldType type, const QVariant &value);

} // namespace lumeko::wire::detail
