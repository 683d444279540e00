// The score notices' server methods on both back ends: the outbox a page appends to, the
// families' subscriptions as far as the caller may see the students, the class list parsed and
// never pasted into SQL, and the outbox taking new messages only, sent as the signed-in teacher.

#include "fixtureschool.h"
#include "server/core/auth.h"
#include "server/seed/seed.h"
#include "server/storage/schema.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::ErrorCode;
using wire::RowStatus;

namespace {

class NoticeMethodsTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        fx = std::make_unique<ServiceFixture>(GetParam());
        Database &db = fx->db();
        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", "
                                "\"iState\") VALUES (?, ?, ?, 2026, ?, 1, ?, '00')";
        db.exec(student, {"{A}", "S1", "1701", "001", QStringLiteral("张三")});
        db.exec(student, {"{B}", "S1", "1701", "001", QStringLiteral("李四")});
        db.exec(student, {"{C}", "S1", "1701", "002", QStringLiteral("王五")});
        db.exec(student, {"{D}", "S1", "1701", "002", QStringLiteral("赵六")});
        db.exec(student, {"{E}", "S1", "1801", "002", QStringLiteral("八年级生")});
        db.exec(student, {"{X}", "S2", "1701", "001", QStringLiteral("外校生")});
        const QString order = "INSERT INTO \"XT_SMSOrder\" (\"SchoolCode\", \"code\", \"smsState\", \"mobile\", \"mobile2\") VALUES (?, ?, ?, ?, ?)";
        db.exec(order, {"S1", "{A}", 1, "13800000001", "13900000001"});
        db.exec(order, {"S1", "{B}", 0, "13800000002", QVariant()});
        db.exec(order, {"S1", "{C}", 2, "13800000003", QVariant()});
        db.exec(order, {"S1", "{E}", 1, "13800000005", QVariant()});
        db.exec(order, {"S2", "{X}", 1, "13800000009", QVariant()});
        // A row of this school naming the other school's student: it names none of ours.
        db.exec(order, {"S1", "{X}", 1, "13800000010", QVariant()});
        // wang teaches English in class 002 (the fixture's course table has nothing yet).
        db.exec("INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\") "
                "VALUES ('S1', 2026, '1701', '002', '003', ?)",
                {kTeacherCode});
        // Somebody's earlier messages, in both schools: the outbox a page appends to shows none.
        const QString queued = "INSERT INTO \"XT_SendMsg\" (\"SMSID\", \"dest_mobile\", \"Msg\", \"smFlag\", \"GDDBID\") VALUES ('old', '1', 'x', 0, ?)";
        db.exec(queued, {"S1"});
        db.exec(queued, {"S2"});
        admin = fx->signIn("admin", "lumeko");
        wang = fx->signIn("wang", "pw6");
        li = fx->signIn("li", "pw2");
    }

    // The subscriptions a call answers, as "code:state:mobile:mobile2", or the error.
    QStringList orders(const QString &token, const char *school, const char *grade, const char *classes, ErrorCode *error = nullptr)
    {
        const wire::Reply r = fx->call("StudentQry", "QSMSOrderForUp", {txt(school), txt(grade), ref(QString::fromUtf8(classes)), ref(qint64(2026)), ref()}, token);
        if (error) *error = r.error;
        if (!r.ok()) return {QStringLiteral("error: ") + r.message};
        const wire::DataPacket p = std::get<wire::DataPacket>(r.refs[4]);
        QStringList out;
        for (qsizetype row = 0; row < p.rowCount(); ++row)
            out << QStringLiteral("%1:%2:%3:%4").arg(p.value(row, 0).toString()).arg(p.value(row, 1).toInt()).arg(p.value(row, 2).toString(),
                                                                                                                   p.value(row, 3).toString());
        return out;
    }

    // An outgoing message as AppendMessageRow makes it, with the given school and sender.
    static QVariantList message(const char *school, const char *teacher, const char *mobile, int flag = 0, const QVariant &when = {})
    {
        const TableDef &t = schemaTable(u"XT_SendMsg");
        QVariantList v(t.columns.size());
        const auto set = [&](const char *column, const QVariant &value) { v[t.columnIndex(QString::fromLatin1(column))] = value; };
        set("SMSID", "2026-12-06 08:00:00");
        set("SPID", QStringLiteral("张三"));
        set("dest_mobile", mobile);
        set("source_mobile", mobile);
        set("Msg", QStringLiteral("张三期中成绩语文:80"));
        set("FeeType", 1);
        set("FeeValue", 0);
        set("Sectid", "1701");
        set("smFlag", flag);
        set("sDate", when);
        set("GDDBID", *school ? QVariant(school) : QVariant()); // none: the caller's school
        set("Classid", "");
        set("TeacherId", teacher);
        return v;
    }
    static wire::ChangePacket outbox(QList<wire::RowChange> rows) { return {schemaTable(u"XT_SendMsg").fieldDefs(), std::move(rows)}; }
    // UpSendMsg's error count (-1 when the call failed) and message.
    std::pair<qint64, QString> send(const wire::ChangePacket &p, const QString &token)
    {
        const wire::Reply r = fx->call("StudentUp", "UpSendMsg", {val(p), val(qint64(-1)), ref(qint64(0))}, token);
        if (!r.ok()) return {-1, r.message};
        return {std::get<qint64>(r.refs[2]), r.message};
    }
    qint64 stored(const char *where = "1 = 1")
    {
        return fx->db().scalar(QStringLiteral("SELECT count(*) FROM \"XT_SendMsg\" WHERE \"SMSID\" <> 'old' AND ") + QString::fromLatin1(where)).toLongLong();
    }
    void grantScores()
    {
        fx->db().exec("INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES ('4011', '40', NULL, ?, 20)",
                      {QStringLiteral("成绩录入")});
        fx->db().exec("INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (6, '4011')");
    }

    std::unique_ptr<ServiceFixture> fx;
    QString admin, wang, li;
};

TEST_P(NoticeMethodsTest, TheOutboxComesEmptyWithItsFieldsAndOnlyForTheCallersSchool)
{
    const wire::Reply r = fx->call("StudentQry", "QSendMsgForUp", {txt("S1"), ref()}, wang);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    const wire::DataPacket p = std::get<wire::DataPacket>(r.refs[1]);
    EXPECT_EQ(p.rowCount(), 0) << "a page only appends; queued messages stay on the server";
    for (const char *f : {"SMSID", "SPID", "dest_mobile", "Msg", "smFlag", "sDate", "GDDBID", "Classid", "Sectid", "TeacherId"})
        EXPECT_GE(p.fieldIndex(QString::fromLatin1(f)), 0) << f;
    EXPECT_EQ(fx->call("StudentQry", "QSendMsgForUp", {txt("S2"), ref()}, admin).error, ErrorCode::Forbidden);
    EXPECT_EQ(fx->call("StudentQry", "QSendMsgForUp", {txt("S1"), ref()}).error, ErrorCode::NotSignedIn);
}

TEST_P(NoticeMethodsTest, SubscriptionsAreTheGradesStudentsTheCallerMaySee)
{
    const QStringList all{"{A}:1:13800000001:13900000001", "{B}:0:13800000002:", "{C}:2:13800000003:"};
    EXPECT_EQ(orders(admin, "S1", "1701", ""), all) << "another grade's student and the other school's are left out";
    EXPECT_EQ(orders(admin, "S1", "1701", "001"), all.mid(0, 2));
    EXPECT_EQ(orders(admin, "S1", "1701", "002,001"), all);
    EXPECT_EQ(orders(admin, "S1", "1801", ""), QStringList{"{E}:1:13800000005:"});
    // The other school's administrator sees his own, and may not name ours.
    EXPECT_EQ(orders(li, "S2", "1701", ""), QStringList{"{X}:1:13800000009:"});
    ErrorCode error{};
    orders(li, "S1", "1701", "", &error);
    EXPECT_EQ(error, ErrorCode::Forbidden);
    // A subject teacher sees the class he teaches, whatever class list he sends.
    EXPECT_EQ(orders(wang, "S1", "1701", ""), QStringList{"{C}:2:13800000003:"});
    EXPECT_EQ(orders(wang, "S1", "1701", "001"), QStringList{});
    EXPECT_EQ(orders(wang, "S1", "1801", ""), QStringList{});
}

TEST_P(NoticeMethodsTest, TheClassListIsParsedStrictly)
{
    for (const char *bad : {"001') OR 1=1 --", "'001','002'", "001,001", "001;002", "0001", "001,"}) {
        ErrorCode error{};
        const QStringList answer = orders(admin, "S1", "1701", bad, &error);
        EXPECT_EQ(error, ErrorCode::Refused) << bad << ": " << answer.join(u'|').toStdString();
        EXPECT_TRUE(answer.value(0).contains(QStringLiteral("ClassList"))) << answer.value(0).toStdString();
    }
}

TEST_P(NoticeMethodsTest, NewMessagesAreStoredForTheSchoolAsTheSignedInTeacher)
{
    EXPECT_EQ(send(outbox({{RowStatus::Inserted, {}, message("", kAdminCode, "13800000003")}}), wang).first, -1) << "sending needs 4011";
    EXPECT_EQ(stored(), 0);
    grantScores();
    const QDateTime later(QDate(2026, 12, 7), QTime(7, 30));
    const auto [errors, why] = send(outbox({{RowStatus::Inserted, {}, message("", kAdminCode, "13800000003")},
                                            {RowStatus::Inserted, {}, message("S1", "", "13800000004", 7, later)}}),
                                    wang);
    ASSERT_EQ(errors, 0) << why.toStdString();
    EXPECT_EQ(stored(), 2);
    EXPECT_EQ(stored(qPrintable(QStringLiteral("\"GDDBID\" = 'S1' AND \"TeacherId\" = '%1'").arg(QLatin1String(kTeacherCode)))), 2)
        << "the signed-in teacher sent them, whatever the rows said";
    EXPECT_EQ(fx->db().scalar("SELECT \"smFlag\" FROM \"XT_SendMsg\" WHERE \"dest_mobile\" = '13800000004'").toInt(), 7);
    EXPECT_EQ(fx->db().scalar("SELECT \"sDate\" FROM \"XT_SendMsg\" WHERE \"dest_mobile\" = '13800000004'").toDateTime(), later);
    EXPECT_EQ(fx->db().scalar("SELECT \"dQueued\" FROM \"XT_SendMsg\" WHERE \"dest_mobile\" = '13800000003'").toDateTime().toUTC(), fx->now.toUTC());
}

TEST_P(NoticeMethodsTest, AnythingButNewMessagesOfTheSchoolRefusesTheWholeCall)
{
    grantScores();
    const wire::RowChange good{RowStatus::Inserted, {}, message("S1", "", "13800000003")};
    const QVariantList queued = message("S1", kTeacherCode, "1");
    QVariantList changed = queued;
    changed[schemaTable(u"XT_SendMsg").columnIndex(u"smFlag")] = 1;
    const struct {
        const char *what;
        wire::RowChange row;
    } cases[] = {
        {"a changed row", {RowStatus::Modified, queued, changed}},
        {"a withdrawn row", {RowStatus::Deleted, queued, {}}},
        {"another school's", {RowStatus::Inserted, {}, message("S2", "", "13800000009")}},
        {"a state the gateway writes", {RowStatus::Inserted, {}, message("S1", "", "13800000003", 1)}},
        {"later without a time", {RowStatus::Inserted, {}, message("S1", "", "13800000003", 7)}},
        {"no number", {RowStatus::Inserted, {}, message("S1", "", " ")}},
    };
    for (const auto &c : cases) {
        const auto [errors, why] = send(outbox({good, c.row}), wang);
        EXPECT_EQ(errors, 1) << c.what;
        EXPECT_FALSE(why.isEmpty()) << c.what;
        EXPECT_EQ(stored(), 0) << c.what << ": the good row went nowhere either";
    }
    EXPECT_EQ(fx->db().scalar("SELECT count(*) FROM \"XT_SendMsg\" WHERE \"SMSID\" = 'old' AND \"smFlag\" = 0").toInt(), 2) << "queued rows untouched";
    const auto [errors, why] = send(outbox({{RowStatus::Modified, queued, changed}, {RowStatus::Deleted, queued, {}}}), admin);
    EXPECT_EQ(errors, 2) << "each refused row counts";
    EXPECT_TRUE(why.contains(QStringLiteral("changed")) && why.contains(QStringLiteral("withdrawn"))) << why.toStdString();
}

// The demo school's families: a share of the students at school subscribed, active and not, some
// with two numbers, the same on every run of the same seed; its administrator reads them.
TEST_P(NoticeMethodsTest, TheDemoSchoolHasSubscriptionsOfEveryKind)
{
    DemoOptions demo;
    demo.scale = 0.05;
    demo.schoolId = "D1";
    demo.today = QDate(2026, 12, 6);
    demo.hashPassword = [](const QString &pw) { return hashPassword(pw, PasswordCost::Minimal); };
    Database &db = fx->db();
    seedDemoSchool(db, demo);
    const auto count = [&](const char *where) {
        return db.scalar(QStringLiteral("SELECT count(*) FROM \"XT_SMSOrder\" o WHERE o.\"SchoolCode\" = 'D1' AND ") + QString::fromLatin1(where)).toLongLong();
    };
    const qint64 atSchool = db.scalar("SELECT count(*) FROM \"XJ_Student\" WHERE \"SchoolCode\" = 'D1' AND \"iState\" = '00'").toLongLong();
    const qint64 all = count("1 = 1");
    EXPECT_GT(all, atSchool * 4 / 10);
    EXPECT_LT(all, atSchool * 8 / 10);
    EXPECT_EQ(count("EXISTS (SELECT 1 FROM \"XJ_Student\" b WHERE b.\"sCode\" = o.\"code\" AND b.\"SchoolCode\" = 'D1' AND b.\"iState\" = '00')"), all)
        << "only students at school, of the demo school";
    EXPECT_GT(count("o.\"smsState\" > 0"), all / 2);
    EXPECT_GT(count("o.\"smsState\" <= 0"), 0);
    EXPECT_GT(count("o.\"mobile2\" IS NOT NULL AND o.\"mobile2\" <> o.\"mobile\""), 0);
    EXPECT_EQ(count("o.\"mobile\" IS NULL"), 0);
    // Each number is one of the family's.
    EXPECT_EQ(count("NOT EXISTS (SELECT 1 FROM \"XJ_Family\" f WHERE f.\"scode\" = o.\"code\" AND f.\"sTel\" = o.\"mobile\")"), 0);

    const auto rows = [](Database &d) {
        QStringList out;
        const wire::DataPacket p = d.select("SELECT \"code\", \"smsState\", \"mobile\", \"mobile2\" FROM \"XT_SMSOrder\" WHERE \"SchoolCode\" = 'D1' ORDER BY \"code\"",
                                            {},
                                            {{"code", wire::FieldType::Text, 0, 0},
                                             {"smsState", wire::FieldType::Integer, 0, 0},
                                             {"mobile", wire::FieldType::Text, 0, 0},
                                             {"mobile2", wire::FieldType::Text, 0, 0}});
        for (qsizetype r = 0; r < p.rowCount(); ++r)
            out << p.row(r).value(0).toString() + p.row(r).value(1).toString() + p.row(r).value(2).toString() + p.row(r).value(3).toString();
        return out;
    };
    const QStringList first = rows(db);
    {
        // A database of its own (a second PostgreSQL one would take the place of this test's).
        TestDatabase again(Backend::Sqlite);
        const std::unique_ptr<Database> other = again.open();
        seedDemoSchool(*other, demo);
        EXPECT_EQ(rows(*other), first) << "the same seed, the same subscriptions";
    }

    // The administrator of the demo school reads a grade's subscriptions.
    const QString demoAdmin = fx->signIn("admin2", "lumeko");
    const wire::DataPacket grade = db.select("SELECT \"GradeCode\", \"InYear\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = 'D1' AND \"bCurGrade\" = 'Y' "
                                             "ORDER BY \"GradeCode\"",
                                             {}, {{"GradeCode", wire::FieldType::Text, 0, 0}, {"InYear", wire::FieldType::Integer, 0, 0}});
    ASSERT_GT(grade.rowCount(), 0);
    const wire::Reply r = fx->call("StudentQry", "QSMSOrderForUp", {txt("D1"), val(grade.value(0, 0).toString()), ref(QString()), ref(grade.value(0, 1).toLongLong()), ref()},
                                   demoAdmin);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_GT(std::get<wire::DataPacket>(r.refs[4]).rowCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, NoticeMethodsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
