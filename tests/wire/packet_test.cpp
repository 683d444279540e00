#include "wire/codec.h"

#include <QCborStreamWriter>
#include <gtest/gtest.h>

using namespace lumeko::wire;

namespace {

QList<FieldDef> everyType()
{
    return {{QStringLiteral("sName"), FieldType::Text, 20, FieldDef::Required},
            {QStringLiteral("iClassNo"), FieldType::Integer, 0, 0},
            {QStringLiteral("Score"), FieldType::Float, 0, 0},
            {QStringLiteral("Selected"), FieldType::Boolean, 0, 0},
            {QStringLiteral("dCreated"), FieldType::DateTime, 0, FieldDef::ReadOnly},
            {QStringLiteral("dBirthday"), FieldType::Date, 0, 0},
            {QStringLiteral("Photo"), FieldType::Blob, 0, 0},
            {QStringLiteral("sCode"), FieldType::Text, 38, FieldDef::Key}};
}

DataPacket samplePacket()
{
    DataPacket p(everyType());
    p.appendRow({QStringLiteral("张三"), 7, 98.5, true, QDateTime(QDate(2012, 9, 1), QTime(8, 30, 15, 123)),
                 QDate(1999, 2, 28), QByteArray("\xff\xd8\x00\x01", 4), QStringLiteral("{0C7A6F3E-1111-4C5D-9E8F-000000000001}")});
    // empty text and empty blob are values, not nulls
    p.appendRow({QString(""), qint64(-9'000'000'000'000LL), 0.1 + 0.2, false, QVariant(), QDate(1900, 1, 1), QByteArray(""),
                 QStringLiteral("{0C7A6F3E-1111-4C5D-9E8F-000000000002}")});
    p.appendRow({QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()});
    return p;
}

} // namespace

TEST(DataPacket, EveryTypeSurvivesTheRoundTripExactly)
{
    const DataPacket p = samplePacket();
    const DataPacket back = decodeDataPacket(encodeDataPacket(p));
    EXPECT_EQ(back, p);
    EXPECT_EQ(back.fields(), everyType());
    ASSERT_EQ(back.rowCount(), 3);
    EXPECT_EQ(back.value(0, 0).toString(), QStringLiteral("张三"));
    EXPECT_EQ(back.value(0, 4).toDateTime(), QDateTime(QDate(2012, 9, 1), QTime(8, 30, 15, 123)));
    EXPECT_EQ(back.value(1, 2).toDouble(), 0.1 + 0.2); // bit for bit, not 0.3
    EXPECT_TRUE(back.value(1, 0).isValid());             // empty text
    EXPECT_EQ(back.value(1, 0).toString(), QString());
    EXPECT_TRUE(back.column(6).value(1).isValid());      // empty blob
    for (int f = 0; f < back.fieldCount(); ++f) EXPECT_TRUE(back.column(f).isNull(2)) << f;
    EXPECT_FALSE(back.column(0).isNull(1));
}

TEST(DataPacket, AnEmptyPacketAndAPacketWithoutRowsRoundTrip)
{
    EXPECT_EQ(decodeDataPacket(encodeDataPacket(DataPacket())), DataPacket());
    const DataPacket noRows(everyType());
    const DataPacket back = decodeDataPacket(encodeDataPacket(noRows));
    EXPECT_EQ(back.fields(), everyType());
    EXPECT_EQ(back.rowCount(), 0);
}

TEST(DataPacket, AppendRowRefusesWhatDoesNotFitAndKeepsThePacket)
{
    DataPacket p = samplePacket();
    EXPECT_THROW(p.appendRow({QStringLiteral("x")}), WireError);
    QVariantList bad = p.row(0);
    bad[1] = QStringLiteral("七");
    EXPECT_THROW(p.appendRow(bad), WireError);
    EXPECT_EQ(p.rowCount(), 3);
    EXPECT_EQ(p, samplePacket());
}

TEST(DataPacket, EveryTruncationIsRefusedWithAnError)
{
    const QByteArray bytes = encodeDataPacket(samplePacket());
    for (qsizetype n = 0; n < bytes.size(); ++n)
        EXPECT_THROW(decodeDataPacket(QByteArrayView(bytes).first(n)), WireError) << "prefix of " << n << " bytes";
    EXPECT_THROW(decodeDataPacket(bytes + '\0'), WireError); // trailing garbage
}

namespace {
// Hand-made packets for the decoder's checks: [version, fields, rows, columns].
QByteArray packet(const std::function<void(QCborStreamWriter &)> &body, int items = 4)
{
    QByteArray out;
    QCborStreamWriter w(&out);
    w.startArray(items);
    body(w);
    w.endArray();
    return out;
}
void field(QCborStreamWriter &w, const QString &name, qint64 type, qint64 size = 0, qint64 flags = 0)
{
    w.startArray(4);
    w.append(name);
    w.append(type);
    w.append(size);
    w.append(flags);
    w.endArray();
}
} // namespace

TEST(DataPacket, HostileInputsAreRefusedWithAClearMessage)
{
    auto expectRefused = [](const QByteArray &bytes, const char *words) {
        try {
            decodeDataPacket(bytes);
            ADD_FAILURE() << "accepted: " << words;
        } catch (const WireError &e) {
            EXPECT_TRUE(e.message().contains(QLatin1String(words))) << e.what();
        }
    };
    expectRefused(packet([](QCborStreamWriter &w) { w.append(2); w.startArray(0); w.endArray(); w.append(0); w.startArray(0); w.endArray(); }),
                  "version");
    // A row count far beyond the input: refused before anything is allocated for it.
    expectRefused(packet([](QCborStreamWriter &w) {
        w.append(1); w.startArray(1); field(w, "n", 2); w.endArray(); w.append(Q_INT64_C(10'000'000));
        w.startArray(1); w.startArray(10'000'000); }), "claims");
    expectRefused(packet([](QCborStreamWriter &w) {
        w.append(1); w.startArray(1); field(w, "n", 9); w.endArray(); w.append(0); w.startArray(1); w.startArray(0); w.endArray(); w.endArray(); }),
                  "unknown field type");
    expectRefused(packet([](QCborStreamWriter &w) {
        w.append(1); w.startArray(2); field(w, "sName", 1); field(w, "SNAME", 1); w.endArray(); w.append(0);
        w.startArray(2); w.startArray(0); w.endArray(); w.startArray(0); w.endArray(); w.endArray(); }), "twice");
    // An integer column holding a text.
    expectRefused(packet([](QCborStreamWriter &w) {
        w.append(1); w.startArray(1); field(w, "n", 2); w.endArray(); w.append(1);
        w.startArray(1); w.startArray(1); w.append(QStringLiteral("1")); w.endArray(); w.endArray(); }), "integer");
    // Columns of unequal length.
    expectRefused(packet([](QCborStreamWriter &w) {
        w.append(1); w.startArray(1); field(w, "n", 2); w.endArray(); w.append(2);
        w.startArray(1); w.startArray(1); w.append(1); w.endArray(); w.endArray(); }), "rows long");
    // Indefinite-length arrays are refused: lengths are checked before reading.
    expectRefused(packet([](QCborStreamWriter &w) { w.append(1); w.startArray(); w.endArray(); w.append(0); w.startArray(0); w.endArray(); }),
                  "definite");
    // A name that is not UTF-8.
    {
        QByteArray bytes = packet([](QCborStreamWriter &w) {
            w.append(1); w.startArray(1); field(w, "ab", 1); w.endArray(); w.append(0); w.startArray(1); w.startArray(0); w.endArray(); w.endArray(); });
        bytes.replace("ab", "\xc3\x28");
        EXPECT_THROW(decodeDataPacket(bytes), WireError);
    }
    // A score that is not a number, and a chunked text whose size cannot be checked up front.
    expectRefused(packet([](QCborStreamWriter &w) {
        w.append(1); w.startArray(1); field(w, "Score", 3); w.endArray(); w.append(1);
        w.startArray(1); w.startArray(1); w.append(qQNaN()); w.endArray(); w.endArray(); }), "finite");
    expectRefused(packet([](QCborStreamWriter &w) {
        w.append(1); w.startArray(1); field(w, "Score", 3); w.endArray(); w.append(1);
        w.startArray(1); w.startArray(1); w.append(qInf()); w.endArray(); w.endArray(); }), "finite");
    {
        QByteArray bytes = packet([](QCborStreamWriter &w) {
            w.append(1); w.startArray(1); field(w, "sName", 1); w.endArray(); w.append(1);
            w.startArray(1); w.startArray(1); w.append(QStringLiteral("ab")); w.endArray(); w.endArray(); });
        bytes.replace(QByteArray("\x62" "ab"), QByteArray("\x7f\x61" "a\x61" "b\xff")); // "ab" in two chunks
        expectRefused(bytes, "definite");
    }
    EXPECT_THROW(decodeDataPacket(QByteArray("\x84\x01", 2)), WireError);
    EXPECT_THROW(decodeDataPacket(QByteArray()), WireError);
}

TEST(DataPacket, LimitsBoundTextsAndRows)
{
    DataPacket p({{QStringLiteral("sMemo"), FieldType::Text, 0, 0}});
    p.appendRow({QString(100, u'字')});
    const QByteArray bytes = encodeDataPacket(p);
    DecodeLimits tight;
    tight.maxTextBytes = 299; // 100 hanzi are 300 bytes of UTF-8
    EXPECT_THROW(decodeDataPacket(bytes, tight), WireError);
    tight.maxTextBytes = 300;
    EXPECT_EQ(decodeDataPacket(bytes, tight), p);
    tight.maxRows = 0;
    EXPECT_THROW(decodeDataPacket(bytes, tight), WireError);
}

TEST(ChangePacket, RowsOfEveryStatusRoundTripWithTheirOldValues)
{
    ChangePacket c;
    c.fields = everyType();
    const DataPacket p = samplePacket();
    c.rows.append({RowStatus::Inserted, {}, p.row(0)});
    QVariantList changed = p.row(1);
    changed[0] = QStringLiteral("李四");
    c.rows.append({RowStatus::Modified, p.row(1), changed});
    c.rows.append({RowStatus::Deleted, p.row(2), {}});
    const ChangePacket back = decodeChangePacket(encodeChangePacket(c));
    EXPECT_EQ(back, c);
    EXPECT_EQ(back.count(RowStatus::Modified), 1);
    EXPECT_EQ(back.rows[1].oldValues[0].toString(), QString(""));
    EXPECT_TRUE(back.rows[1].oldValues[0].isValid());
    EXPECT_EQ(back.rows[1].newValues[0].toString(), QStringLiteral("李四"));
    EXPECT_FALSE(back.rows[2].oldValues[4].isValid());
}

TEST(ChangePacket, MalformedRowsAreRefused)
{
    ChangePacket c;
    c.fields = {{QStringLiteral("sName"), FieldType::Text, 0, 0}};
    c.rows.append({RowStatus::Deleted, {}, {QStringLiteral("x")}}); // a deleted row needs old values
    EXPECT_THROW(encodeChangePacket(c), WireError);
    c.rows = {{RowStatus::Unmodified, {QStringLiteral("x")}, {QStringLiteral("x")}}};
    EXPECT_THROW(c.validate(), WireError);
    c.rows = {{RowStatus::Inserted, {}, {QByteArray("blob")}}};
    EXPECT_THROW(c.validate(), WireError);

    c.rows = {{RowStatus::Modified, {QStringLiteral("a")}, {QStringLiteral("b")}}};
    QByteArray bytes = encodeChangePacket(c);
    for (qsizetype n = 0; n < bytes.size(); ++n) EXPECT_THROW(decodeChangePacket(QByteArrayView(bytes).first(n)), WireError);
    // status byte 1 (Modified) turned into 0 (Unmodified) is not a change
    const qsizetype statusAt = bytes.indexOf(QByteArray("\x83\x01\x81", 3));
    ASSERT_GE(statusAt, 0);
    bytes[statusAt + 1] = 0;
    EXPECT_THROW(decodeChangePacket(bytes), WireError);
}
