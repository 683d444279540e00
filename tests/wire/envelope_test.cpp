#include "wire/envelope.h"

#include <QCborStreamWriter>
#include <gtest/gtest.h>

using namespace lumeko::wire;

namespace {
DataPacket students()
{
    DataPacket p({{QStringLiteral("sCode"), FieldType::Text, 38, FieldDef::Key}, {QStringLiteral("sName"), FieldType::Text, 20, 0}});
    p.appendRow({QStringLiteral("{A}"), QStringLiteral("王小明")});
    return p;
}
} // namespace

TEST(Envelope, ACallWithEveryKindOfArgumentRoundTrips)
{
    Call call;
    call.object = QStringLiteral("StudentQry");
    call.method = QStringLiteral("QStudByGrade");
    call.token = QStringLiteral("b5f0c3a1");
    ChangePacket delta;
    delta.fields = students().fields();
    delta.rows.append({RowStatus::Inserted, {}, students().row(0)});
    call.args = {{QStringLiteral("0701"), false}, {qint64(2012), true}, {QStringLiteral(""), false}, {Null{}, false},
                 {98.5, false}, {true, false}, {QDate(2012, 9, 1), false},
                 {QDateTime(QDate(2013, 1, 2), QTime(3, 4, 5, 678)), false}, {QByteArray("\x00\x01", 2), false},
                 {students(), true}, {delta, false}};
    const Call back = decodeCall(encodeCall(call));
    EXPECT_EQ(back, call);
    EXPECT_TRUE(back.args[1].byRef);
    EXPECT_TRUE(back.args[9].byRef);
    EXPECT_FALSE(back.args[0].byRef);
    EXPECT_EQ(back.args[2].value.index(), 1u); // an empty text is a text, not null
    EXPECT_EQ(back.args[3].value.index(), 0u);
    EXPECT_EQ(valueKindName(back.args[10].value), QStringLiteral("change packet"));
}

TEST(Envelope, RepliesCarryResultsWrittenBackValuesOrAnError)
{
    Reply ok;
    ok.result = qint64(0);
    ok.refs.insert(1, qint64(2013));
    ok.refs.insert(4, students());
    EXPECT_EQ(decodeReply(encodeReply(ok)), ok);

    const Reply failed = Reply::failure(ErrorCode::Forbidden, QStringLiteral("学校代码不是当前用户的学校"));
    const Reply back = decodeReply(encodeReply(failed));
    EXPECT_FALSE(back.ok());
    EXPECT_EQ(back.error, ErrorCode::Forbidden);
    EXPECT_EQ(back.message, failed.message);
}

TEST(Envelope, MalformedCallsAreRefused)
{
    Call call{QStringLiteral("SysUp"), QStringLiteral("AddLogs"), QString(), {{QStringLiteral("x"), false}}};
    const QByteArray good = encodeCall(call);
    for (qsizetype n = 0; n < good.size(); ++n) EXPECT_THROW(decodeCall(QByteArrayView(good).first(n)), WireError);

    auto raw = [](const std::function<void(QCborStreamWriter &)> &fill) {
        QByteArray out;
        QCborStreamWriter w(&out);
        w.startArray(6);
        fill(w);
        w.endArray();
        return out;
    };
    // A method name that is no plain name (an attempt to smuggle text into a lookup).
    EXPECT_THROW(decodeCall(raw([](QCborStreamWriter &w) {
                     w.append(1); w.append(QStringLiteral("SysQry")); w.append(QStringLiteral("DBDate;drop"));
                     w.append(QString()); w.startArray(0); w.endArray(); w.startArray(0); w.endArray(); })), WireError);
    // By-reference index outside the arguments, and twice the same index.
    EXPECT_THROW(decodeCall(raw([](QCborStreamWriter &w) {
                     w.append(1); w.append(QStringLiteral("SysQry")); w.append(QStringLiteral("DBDate"));
                     w.append(QString()); w.startArray(1); w.append(1); w.endArray(); w.startArray(1); w.append(1); w.endArray(); })), WireError);
    EXPECT_THROW(decodeCall(raw([](QCborStreamWriter &w) {
                     w.append(1); w.append(QStringLiteral("SysQry")); w.append(QStringLiteral("DBDate"));
                     w.append(QString()); w.startArray(2); w.append(1); w.append(2); w.endArray();
                     w.startArray(2); w.append(0); w.append(0); w.endArray(); })), WireError);
    // An unknown tag and a malformed date.
    EXPECT_THROW(decodeCall(raw([](QCborStreamWriter &w) {
                     w.append(1); w.append(QStringLiteral("SysQry")); w.append(QStringLiteral("DBDate"));
                     w.append(QString()); w.startArray(1); w.append(QCborTag(42)); w.append(1); w.endArray(); w.startArray(0); w.endArray(); })), WireError);
    EXPECT_THROW(decodeCall(raw([](QCborStreamWriter &w) {
                     w.append(1); w.append(QStringLiteral("SysQry")); w.append(QStringLiteral("DBDate"));
                     w.append(QString()); w.startArray(1); w.append(QCborTag(1004)); w.append(QStringLiteral("2012-02-30")); w.endArray();
                     w.startArray(0); w.endArray(); })), WireError);
    // More arguments than any method takes.
    DecodeLimits limits;
    limits.maxArguments = 0;
    EXPECT_THROW(decodeCall(good, limits), WireError);
}
