// The score sheet's server methods on both back ends: the sheet built from the stored scores and
// written back cell by cell, totals and grade ranks derived on the server, every refusal of the
// edit rules tried with hand-made calls, two teachers saving at the same moment, and the history
// of every changed score.

#include "fixtureschool.h"
#include "server/core/auth.h"
#include "server/storage/schema.h"

#include <gtest/gtest.h>

#include <QThread>

#include <barrier>
#include <thread>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::ErrorCode;
using wire::RowStatus;

namespace {

const QString kNoPage = QStringLiteral("⊥");
constexpr char kZhao[] = "{00000000-0000-0000-0000-0000000000Z6}";
constexpr char kLiu[] = "{00000000-0000-0000-0000-0000000000L3}";

struct Sheet {
    wire::DataPacket data, upload;
    int field(const char *name) const { return data.fieldIndex(QString::fromLatin1(name)); }
    qsizetype rowOf(const char *student) const
    {
        for (qsizetype r = 0; r < data.rowCount(); ++r)
            if (data.value(r, field("sCode")).toString() == QLatin1String(student)) return r;
        return -1;
    }
    QVariant at(const char *student, const char *f) const { return data.value(rowOf(student), field(f)); }
};

class ScoreMethodsTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        fx = std::make_unique<ServiceFixture>(GetParam());
        Database &db = fx->db();
        const QString fn = "INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES (?, ?, ?, ?, ?)";
        db.exec(fn, {"4011", "40", QVariant(), QStringLiteral("成绩录入"), 20});
        db.exec(fn, {"401104", "4011", "Student", QStringLiteral("考生名单"), 21});
        db.exec(fn, {"401108", "4011", "Manager", QStringLiteral("成绩修改记录"), 22});
        const QString grant = "INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (?, ?)";
        for (const char *f : {"4011"})
            db.exec(grant, {6, f});
        for (const char *f : {"40", "4011", "401104"})
            db.exec(grant, {3, f});
        const QString teacher = "INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sPass\", \"sRole\", \"iState\", "
                                "\"iUserType\", \"bViewAllGrade\", \"bViewAllClass\") VALUES (?, 'S1', ?, ?, ?, ?, 0, 0, ?, ?)";
        const auto hash = [](const char *pw) { return hashPassword(QString::fromLatin1(pw), PasswordCost::Minimal); };
        db.exec(teacher, {kZhao, QStringLiteral("赵老师"), "zhao", hash("pwz"), "6", false, false});
        db.exec(teacher, {kLiu, QStringLiteral("刘年级长"), "liu", hash("pwl"), "3", false, false});
        db.exec("UPDATE \"XJ_Grade\" SET \"TeacherCode\" = ? WHERE \"SchoolCode\" = 'S1' AND \"GradeCode\" = '1701'", {kLiu});

        const QString subject = "INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', ?, ?)";
        db.exec(subject, {"001", QStringLiteral("语文")});
        db.exec(subject, {"002", QStringLiteral("数学")});
        db.exec(subject, {"003", QStringLiteral("英语")});
        const QString gradeSubject =
            "INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", \"FullMark\") "
            "VALUES ('S1', 2026, '1701', ?, ?, ?)";
        db.exec(gradeSubject, {"001", 0, 120});
        db.exec(gradeSubject, {"002", 0, 120});
        db.exec(gradeSubject, {"003", 1, 100});
        const QString student =
            "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", \"iState\") "
            "VALUES (?, 'S1', '1701', 2026, ?, ?, ?, '00')";
        db.exec(student, {"{A}", "001", 1, QStringLiteral("张三")});
        db.exec(student, {"{B}", "001", 2, QStringLiteral("李四")});
        db.exec(student, {"{C}", "002", 1, QStringLiteral("王五")});
        db.exec(student, {"{D}", "002", 2, QStringLiteral("赵六")});
        const QString course = "INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\") "
                               "VALUES ('S1', 2026, '1701', ?, ?, ?)";
        db.exec(course, {"002", "003", kTeacherCode}); // wang: English in class 002
        db.exec(course, {"002", "002", kZhao});        // zhao: maths in class 002

        // The mid-term: three subjects, every role may edit, open until 6 December.
        exam = db.insertReturningId(
            "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"aFullMark\", "
            "\"aExcelMark\", \"aGoodMark\", \"aPassMark\", \"aBadMark\", \"bFullMark\", \"mFullMark\", \"hasMain\", \"hasBase\", \"ModifyRight\", "
            "\"dDefDay\", \"dLimitDay\", \"Freeze\") VALUES ('S1', '1701', 2026, '001', ?, ?, 340, 300, 250, 200, 100, 240, 340, ?, ?, 63, ?, ?, ?)",
            {kNoPage, QStringLiteral("期中考试"), db.toDb(true, wire::FieldType::Boolean), db.toDb(true, wire::FieldType::Boolean),
             db.toDb(QDate(2026, 11, 20), wire::FieldType::Date), db.toDb(QDate(2026, 12, 6), wire::FieldType::Date), db.toDb(false, wire::FieldType::Boolean)},
            "Id");
        const QString examSubject =
            "INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", "
            "\"Per\", \"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\") VALUES ('S1', '1701', 2026, '001', ?, ?, 1, ?, ?, ?, ?, ?)";
        db.exec(examSubject, {kNoPage, "001", 120, 108, 96, 72, 36});
        db.exec(examSubject, {kNoPage, "002", 120, 108, 96, 72, 36});
        db.exec(examSubject, {kNoPage, "003", 100, 90, 80, 60, 30});
        for (const char *s : {"{A}", "{B}"})
            db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, ?, '001')", {exam, s});
        for (const char *s : {"{C}", "{D}"})
            db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, ?, '002')", {exam, s});
        admin = fx->signIn("admin", "lumeko");
        wang = fx->signIn("wang", "pw6");
        zhao = fx->signIn("zhao", "pwz");
    }

    Sheet sheet(const QString &token, const QString &subjects = QStringLiteral("001;002;003"))
    {
        const wire::Reply r = fx->call(
            "AchieveQry", "QMark", {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(QString()), ref(subjects), ref(qint64(2026)), ref(), ref()}, token);
        EXPECT_TRUE(r.ok()) << r.message.toStdString();
        if (!r.ok()) return {};
        return {std::get<wire::DataPacket>(r.refs[7]), std::get<wire::DataPacket>(r.refs[8])};
    }
    // The upload image's row of a student with the scores changed as given ("003" → 88, or null).
    static wire::RowChange changed(const Sheet &s, const char *student, QList<QPair<const char *, QVariant>> scores)
    {
        qsizetype row = -1;
        for (qsizetype r = 0; r < s.upload.rowCount(); ++r)
            if (s.upload.value(r, s.upload.fieldIndex(u"StudentCode")).toString() == QLatin1String(student)) row = r;
        EXPECT_GE(row, 0) << student;
        const QVariantList old = s.upload.row(row);
        QVariantList now = old;
        for (const auto &[subject, v] : scores)
            now[s.upload.fieldIndex(QStringLiteral("C_") + QLatin1String(subject))] = v;
        return {RowStatus::Modified, old, now};
    }
    static wire::ChangePacket packet(const Sheet &s, QList<wire::RowChange> rows) { return {s.upload.fields(), rows}; }
    // UpMark's error count (-1 when the call failed) and message.
    std::pair<qint64, QString> upMark(const wire::ChangePacket &p, const QString &token)
    {
        const wire::Reply r = fx->call("AchieveUp", "UpMark", {val(p), val(qint64(-1)), ref(qint64(0))}, token);
        if (!r.ok()) return {-1, r.message};
        return {std::get<qint64>(r.refs[2]), r.message};
    }
    QVariant stored(const char *student, const char *subject)
    {
        return fx->db().scalar("SELECT \"score\" FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = ?",
                               {exam, student, subject});
    }
    qint64 count(const char *table) { return fx->db().scalar(QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(QLatin1String(table))).toLongLong(); }
    wire::Value upExamOrder(const QString &fields, const QString &token)
    {
        const wire::Reply r = fx->call("AchieveUp", "UpExamOrder", {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(fields), ref(qint64(2026))}, token);
        EXPECT_TRUE(r.ok()) << r.message.toStdString();
        return r.result;
    }

    std::unique_ptr<ServiceFixture> fx;
    qint64 exam = 0;
    QString admin, wang, zhao;
};

TEST_P(ScoreMethodsTest, TheSheetIsWrittenCellByCellAndTheServerDerivesTotalsAndRanks)
{
    // The subject rows and one row per total in use, with the header's marks.
    const wire::Reply pt = fx->call("AchieveQry", "QExamSubjectAllPt", {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(qint64(2026)), ref()}, admin);
    const auto &rows = std::get<wire::DataPacket>(pt.refs[5]);
    QStringList codes;
    for (qsizetype r = 0; r < rows.rowCount(); ++r)
        codes << rows.value(r, 0).toString();
    EXPECT_EQ(codes, (QStringList{"001", "002", "003", "FUL", "BAS", "MAI"}));
    EXPECT_EQ(rows.value(3, rows.fieldIndex(u"PassMark")).toDouble(), 200);
    EXPECT_EQ(rows.value(0, rows.fieldIndex(u"ordStyle")).toInt(), 0) << "语文 is a base subject";

    Sheet s = sheet(admin);
    ASSERT_EQ(s.data.rowCount(), 4);
    EXPECT_EQ(s.at("{A}", "sName").toString(), QStringLiteral("张三"));
    EXPECT_EQ(s.at("{C}", "ClassName").toString(), QStringLiteral("二班"));
    EXPECT_TRUE(s.at("{A}", "C_001").isNull()) << "nothing entered yet";
    EXPECT_EQ(s.upload.fieldIndex(u"C_003"), 8);

    // 张三 110 / 90 / 85, 李四 90 / 90 / –, 王五 110 / 60 / 90; 赵六 sat nothing.
    const auto [errors, message] =
        upMark(packet(s, {changed(s, "{A}", {{"001", 110.0}, {"002", 90.0}, {"003", 85.0}}), changed(s, "{B}", {{"001", 90.0}, {"002", 90.0}}),
                          changed(s, "{C}", {{"001", 110.0}, {"002", 60.0}, {"003", 90.0}})}),
               admin);
    ASSERT_EQ(errors, 0) << message.toStdString();
    EXPECT_EQ(stored("{A}", "003"), 85.0);
    EXPECT_EQ(count("CJ_MarkLog"), 8) << "one history line per stored score";

    EXPECT_EQ(upExamOrder(QStringLiteral("FULLTOTAL,FULLORDER,BASETOTAL,BASEORDER,MAINTOTAL,MAINORDER,C_001,O_001,C_002,O_002,C_003,O_003"), admin),
              wire::Value(qint64(0)));
    s = sheet(admin);
    EXPECT_EQ(s.at("{A}", "FullTotal").toDouble(), 285);
    EXPECT_EQ(s.at("{B}", "FullTotal").toDouble(), 180);
    EXPECT_EQ(s.at("{C}", "BaseTotal").toDouble(), 170);
    EXPECT_EQ(s.at("{B}", "MainTotal").toDouble(), 180);
    EXPECT_TRUE(s.at("{D}", "FullTotal").isNull()) << "no score, no total";
    EXPECT_EQ(s.at("{A}", "FullOrder").toInt(), 1);
    EXPECT_EQ(s.at("{C}", "FullOrder").toInt(), 2);
    EXPECT_EQ(s.at("{B}", "FullOrder").toInt(), 3);
    EXPECT_EQ(s.at("{A}", "O_001").toInt(), 1);
    EXPECT_EQ(s.at("{C}", "O_001").toInt(), 1) << "110 and 110 share the first place";
    EXPECT_EQ(s.at("{B}", "O_001").toInt(), 3);
    EXPECT_EQ(s.at("{C}", "G_003").toInt(), 0) << "90 is the excellent mark of 英语";
    EXPECT_EQ(s.at("{A}", "G_003").toInt(), 1);

    // A score above the full mark (120) is refused; nothing of that call is stored.
    const auto [bad, why] = upMark(packet(s, {changed(s, "{D}", {{"001", 100.0}}), changed(s, "{A}", {{"002", 121.0}})}), admin);
    EXPECT_EQ(bad, 1);
    EXPECT_TRUE(why.contains(QStringLiteral("张三"))) << why.toStdString();
    EXPECT_TRUE(stored("{D}", "001").isNull()) << "the good row of the call was not stored either";
    // Emptying a score removes it and is logged as such; a bad field list or a foreign field is refused.
    ASSERT_EQ(upMark(packet(s, {changed(s, "{B}", {{"002", QVariant()}})}), admin).first, 0);
    EXPECT_TRUE(stored("{B}", "002").isNull());
    EXPECT_EQ(fx->db().scalar("SELECT \"OldScore\" FROM \"CJ_MarkLog\" WHERE \"StudentCode\" = '{B}' AND \"NewScore\" IS NULL").toDouble(), 90);
    const wire::Reply wrongList = fx->call(
        "AchieveUp", "UpExamOrder", {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(QStringLiteral("C_001,O_001;drop")), ref(qint64(2026))}, admin);
    EXPECT_EQ(wrongList.error, ErrorCode::Refused) << wrongList.message.toStdString();
    wire::ChangePacket foreign = packet(s, {changed(s, "{A}", {{"001", 100.0}})});
    foreign.fields.append({QStringLiteral("sPass"), wire::FieldType::Text, 0, 0});
    for (wire::RowChange &row : foreign.rows)
        row.oldValues << QVariant(), row.newValues << QStringLiteral("x");
    EXPECT_EQ(upMark(foreign, admin).first, -1) << "only scores are written";

    // The history, as lumeko-cli and the page read it: newest first, with names.
    const wire::Reply history = fx->call("AchieveQry", "QMarkHistory", {txt("S1"), val(QString::number(exam)), txt("{B}"), ref()}, admin);
    ASSERT_TRUE(history.ok()) << history.message.toStdString();
    const auto &lines = std::get<wire::DataPacket>(history.refs[3]);
    ASSERT_EQ(lines.rowCount(), 3);
    EXPECT_EQ(lines.value(0, lines.fieldIndex(u"SubjectName")).toString(), QStringLiteral("数学"));
    EXPECT_EQ(lines.value(0, lines.fieldIndex(u"UserName")).toString(), QStringLiteral("管理员"));
    EXPECT_EQ(fx->call("AchieveQry", "QMarkHistory", {txt("S1"), val(QString::number(exam)), txt(""), ref()}, wang).error, ErrorCode::Forbidden)
        << "a subject teacher lacks the Manager right of the scores";
}

TEST_P(ScoreMethodsTest, EveryEditRuleHoldsAgainstHandMadeCalls)
{
    Sheet s = sheet(admin);
    const auto english = [&](const char *student, double v) { return packet(s, {changed(s, student, {{"003", v}})}); };

    // wang teaches English in class 002 only.
    auto r = upMark(english("{C}", 80), wang);
    ASSERT_EQ(r.first, 0) << r.second.toStdString();
    r = upMark(english("{A}", 80), wang);
    EXPECT_EQ(r.first, 1) << "class 001 is not his";
    EXPECT_TRUE(r.second.contains(QStringLiteral("编辑权限"))) << r.second.toStdString();
    s = sheet(admin);
    r = upMark(packet(s, {changed(s, "{C}", {{"002", 80.0}})}), wang);
    EXPECT_EQ(r.first, 1) << "maths is zhao's";
    EXPECT_TRUE(stored("{C}", "002").isNull());

    // Without the subject teacher's bit in the edit-right set.
    fx->db().exec("UPDATE \"CJ_ExamTotal\" SET \"ModifyRight\" = 1");
    r = upMark(english("{D}", 70), wang);
    EXPECT_EQ(r.first, 1);
    EXPECT_TRUE(r.second.contains(QStringLiteral("没有编辑权限"))) << r.second.toStdString();
    fx->db().exec("UPDATE \"CJ_ExamTotal\" SET \"ModifyRight\" = 63");

    // The deadline day is open until its end; the next morning it is closed, but not for the administrator.
    // (Sessions end after hours without a call, so both sign in again as the clock moves.)
    const auto at = [&](QDate day, QTime time) {
        fx->now = QDateTime(day, time, Qt::LocalTime).toUTC();
        admin = fx->signIn("admin", "lumeko");
        wang = fx->signIn("wang", "pw6");
    };
    at(QDate(2026, 12, 6), QTime(23, 59));
    ASSERT_EQ(upMark(english("{D}", 70), wang).first, 0);
    at(QDate(2026, 12, 7), QTime(0, 1));
    s = sheet(admin);
    r = upMark(english("{D}", 75), wang);
    EXPECT_EQ(r.first, 1);
    EXPECT_TRUE(r.second.contains(QStringLiteral("限入时间"))) << r.second.toStdString();
    EXPECT_EQ(stored("{D}", "003"), 70.0);
    ASSERT_EQ(upMark(english("{D}", 75), admin).first, 0);

    // A frozen exam refuses everybody.
    fx->db().exec("UPDATE \"CJ_ExamTotal\" SET \"Freeze\" = ?", {fx->db().toDb(true, wire::FieldType::Boolean)});
    s = sheet(admin);
    r = upMark(english("{D}", 60), admin);
    EXPECT_EQ(r.first, 1);
    EXPECT_TRUE(r.second.contains(QStringLiteral("冻结"))) << r.second.toStdString();
    EXPECT_EQ(stored("{D}", "003"), 75.0);
    EXPECT_EQ(upExamOrder(QStringLiteral("C_003,O_003"), admin), wire::Value(qint64(2))) << "nothing is recomputed on a frozen exam";

    // Another school's sheet, and the roster without the right to change it.
    fx->db().exec("UPDATE \"CJ_ExamTotal\" SET \"Freeze\" = ?", {fx->db().toDb(false, wire::FieldType::Boolean)});
    at(QDate(2026, 12, 6), QTime(8, 0));
    wire::ChangePacket other = english("{D}", 50);
    other.rows[0].oldValues[0] = other.rows[0].newValues[0] = QStringLiteral("S2");
    EXPECT_EQ(upMark(other, wang).first, -1);
    wire::ChangePacket removal = packet(s, {{RowStatus::Deleted, changed(s, "{D}", {}).oldValues, {}}});
    EXPECT_EQ(upMark(removal, wang).first, 1) << "wang may not change the candidates";
    EXPECT_EQ(count("CJ_ExamStudent"), 4);
}

// The page's rankings (UpSubjectItems) and letter shares (UpExamGradePer) as hand-made calls: a
// teacher stores rankings of the candidates he sees and of no others, a call with one row he may
// not store stores nothing, a frozen exam and one past its deadline for a teacher take none, and
// shares that do not add up to 100 are refused whole.
TEST_P(ScoreMethodsTest, RankingsAndLetterSharesKeepTheEditRules)
{
    wire::ChangePacket items;
    items.fields = schemaTable(u"CJ_SubjectItem")
                       .fieldDefs({"examId", "SubjectCode", "StudentCode", "InYear", "score", "gradeOrder", "classOrder", "areaOrder", "scoreLevel",
                                   "gradePercent", "areaPercent"});
    const auto item = [&](const char *student, const char *subject, int classOrder) {
        return wire::RowChange{RowStatus::Inserted, {}, {exam, subject, student, 2026, 80.0, 1, classOrder, QVariant(), "A", 10, QVariant()}};
    };
    const auto upItems = [&](QList<wire::RowChange> rows, const QString &token) -> std::pair<qint64, QString> {
        items.rows = std::move(rows);
        const wire::Reply r = fx->call("AchieveUp", "UpSubjectItems", {val(items), val(qint64(-1)), ref(qint64(0))}, token);
        return {r.ok() ? std::get<qint64>(r.refs[2]) : -1, r.message};
    };
    wire::ChangePacket shares;
    shares.fields = schemaTable(u"CJ_ExamGradePer").fieldDefs({"examId", "sArea", "APer", "BPer", "CPer", "DPer", "EPer"});
    const auto upShares = [&](double e, const QString &token) {
        shares.rows = {{RowStatus::Inserted, {}, {exam, QStringLiteral("本部"), 20.0, 30.0, 30.0, 15.0, e}}};
        return fx->call("AchieveUp", "UpExamGradePer", {val(shares), val(qint64(-1)), ref(qint64(0))}, token);
    };

    // wang sees class 002 only.
    auto r = upItems({item("{C}", "003", 1)}, wang);
    ASSERT_EQ(r.first, 0) << r.second.toStdString();
    r = upItems({item("{D}", "003", 2), item("{A}", "003", 1)}, wang);
    EXPECT_EQ(r.first, 1);
    EXPECT_TRUE(r.second.contains(u"row 2: student {A} is not in a class you see")) << r.second.toStdString();
    EXPECT_EQ(count("CJ_SubjectItem"), 1) << "nothing of the refused call is stored";

    wire::Reply shared = upShares(6, admin);
    EXPECT_EQ(shared.error, ErrorCode::BadArguments);
    EXPECT_TRUE(shared.message.contains(u"add up to 101")) << shared.message.toStdString();
    EXPECT_EQ(upShares(-5, admin).error, ErrorCode::BadArguments);
    EXPECT_EQ(count("CJ_ExamGradePer"), 0);
    ASSERT_TRUE(upShares(5, admin).ok());

    // The next morning the deadline has passed for wang, not for the administrator.
    fx->now = QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::LocalTime).toUTC();
    admin = fx->signIn("admin", "lumeko");
    wang = fx->signIn("wang", "pw6");
    r = upItems({item("{D}", "003", 2)}, wang);
    EXPECT_EQ(r.first, -1);
    EXPECT_TRUE(r.second.contains(QStringLiteral("限入时间"))) << r.second.toStdString();
    EXPECT_EQ(upItems({item("{D}", "003", 2)}, admin).first, 0);

    // A frozen exam takes nothing from anybody.
    fx->db().exec("UPDATE \"CJ_ExamTotal\" SET \"Freeze\" = ?", {fx->db().toDb(true, wire::FieldType::Boolean)});
    r = upItems({item("{B}", "003", 2)}, admin);
    EXPECT_EQ(r.first, -1);
    EXPECT_TRUE(r.second.contains(QStringLiteral("冻结"))) << r.second.toStdString();
    shares.rows = {
        {RowStatus::Modified, {exam, QStringLiteral("本部"), 20.0, 30.0, 30.0, 15.0, 5.0}, {exam, QStringLiteral("本部"), 25.0, 25.0, 30.0, 15.0, 5.0}}};
    EXPECT_EQ(fx->call("AchieveUp", "UpExamGradePer", {val(shares), val(qint64(-1)), ref(qint64(0))}, admin).error, ErrorCode::Forbidden);
    EXPECT_EQ(count("CJ_SubjectItem"), 2);
    EXPECT_EQ(fx->db().scalar("SELECT \"APer\" FROM \"CJ_ExamGradePer\"").toDouble(), 20.0);
}

TEST_P(ScoreMethodsTest, EachTeacherSeesHisClassesAndTheirSubjects)
{
    const Sheet mine = sheet(wang);
    ASSERT_EQ(mine.data.rowCount(), 2) << "wang teaches class 002 only";
    EXPECT_EQ(mine.rowOf("{A}"), -1);
    EXPECT_EQ(sheet(fx->signIn("liu", "pwl")).data.rowCount(), 4) << "the grade leader sees the whole grade";
    EXPECT_EQ(sheet(admin, QStringLiteral("@001;001")).data.rowCount(), 2) << "the class tree's selection";
    const wire::Reply bad = fx->call(
        "AchieveQry", "QMark",
        {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(QString()), ref(QStringLiteral("001' or 1=1")), ref(qint64(2026)), ref(), ref()}, admin);
    EXPECT_EQ(bad.error, ErrorCode::Refused) << "the subject filter is parsed, never pasted";

    const auto subjectsOf = [&](const QString &token, const char *user) {
        return fx->call("StudentQry", "QTeacherSubjects", {txt("S1"), txt("1701"), val(QString::fromLatin1(user)), ref(qint64(2026))}, token).result;
    };
    EXPECT_EQ(subjectsOf(wang, "x,6"), wire::Value(QStringLiteral("003")));
    EXPECT_EQ(subjectsOf(wang, "x,5"), wire::Value(QString())) << "a role he does not hold";
    EXPECT_EQ(subjectsOf(admin, "x,6"), wire::Value(QStringLiteral("ALL")));
    EXPECT_EQ(fx->call("StudentQry", "QTeacherSubjects", {txt("S1"), txt("1701"), txt("x,9"), ref(qint64(2026))}, wang).error, ErrorCode::BadArguments);

    const wire::Reply classes = fx->call("AchieveQry", "QExamClassStuds", {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(qint64(2026))}, wang);
    const auto &list = std::get<wire::DataPacket>(classes.result);
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.value(0, 1).toString(), QStringLiteral("二班"));
    EXPECT_EQ(list.value(0, 2).toInt(), 2);
}

// Two teachers press 保存 at the same moment on sheets loaded before either saved.
TEST_P(ScoreMethodsTest, TwoTeachersSavingAtOnceKeepBothAndTheSameCellConflictsOnce)
{
    const Sheet forWang = sheet(wang), forZhao = sheet(zhao);
    const wire::ChangePacket english = packet(forWang, {changed(forWang, "{C}", {{"003", 81.0}}), changed(forWang, "{D}", {{"003", 72.0}})});
    const wire::ChangePacket maths = packet(forZhao, {changed(forZhao, "{C}", {{"002", 99.0}}), changed(forZhao, "{D}", {{"002", 88.0}})});
    std::pair<qint64, QString> results[2];
    const auto together = [&](const wire::ChangePacket &first, const QString &firstToken, const wire::ChangePacket &second, const QString &secondToken) {
        std::barrier start(2);
        std::thread a([&] {
            start.arrive_and_wait();
            results[0] = upMark(first, firstToken);
        });
        std::thread b([&] {
            start.arrive_and_wait();
            results[1] = upMark(second, secondToken);
        });
        a.join();
        b.join();
    };
    together(english, wang, maths, zhao);
    EXPECT_EQ(results[0].first, 0) << results[0].second.toStdString();
    EXPECT_EQ(results[1].first, 0) << results[1].second.toStdString();
    EXPECT_EQ(stored("{C}", "003"), 81.0);
    EXPECT_EQ(stored("{C}", "002"), 99.0);
    EXPECT_EQ(stored("{D}", "003"), 72.0);
    EXPECT_EQ(stored("{D}", "002"), 88.0);
    EXPECT_EQ(count("CJ_MarkLog"), 4);

    // Both now change 王五's English from 81, one to 85, the other to 90: one wins, the other is told.
    const Sheet a = sheet(admin), b = sheet(wang);
    together(packet(a, {changed(a, "{C}", {{"003", 85.0}})}), admin, packet(b, {changed(b, "{C}", {{"003", 90.0}})}), wang);
    const int conflicts = (results[0].first == 1) + (results[1].first == 1);
    ASSERT_EQ(conflicts, 1) << results[0].second.toStdString() << " / " << results[1].second.toStdString();
    const double kept = results[0].first == 0 ? 85.0 : 90.0;
    EXPECT_EQ(stored("{C}", "003"), kept);
    const QString told = results[0].first == 1 ? results[0].second : results[1].second;
    EXPECT_TRUE(told.contains(QStringLiteral("王五")) && told.contains(QStringLiteral("英语")) && told.contains(QString::number(kept))) << told.toStdString();
    EXPECT_EQ(count("CJ_MarkLog"), 5) << "the refused cell left no history";
}

// Many teachers' sessions saving one exam's sheet at the same moment: ten writers of ten
// different cells all keep their scores; fifty writers of one cell from the same sheet leave one
// score, the other forty-nine are told, and the history holds exactly what was stored.
TEST_P(ScoreMethodsTest, TenAndFiftyWritersOnOneSheetLoseNothingAndEveryConflictIsReported)
{
    const auto race = [&](const QList<std::pair<wire::ChangePacket, QString>> &saves) {
        QList<std::pair<qint64, QString>> results(saves.size());
        std::barrier start(saves.size());
        std::vector<std::thread> writers;
        for (qsizetype i = 0; i < saves.size(); ++i)
            writers.emplace_back([&, i] {
                start.arrive_and_wait();
                results[i] = upMark(saves[i].first, saves[i].second);
            });
        for (std::thread &t : writers)
            t.join();
        return results;
    };
    const char *students[] = {"{A}", "{B}", "{C}", "{D}"};
    const char *subjects[] = {"001", "002", "003"};
    const Sheet base = sheet(admin);
    QList<std::pair<wire::ChangePacket, QString>> distinct;
    for (int i = 0; i < 10; ++i)
        distinct.append({packet(base, {changed(base, students[i % 4], {{subjects[i / 4], 50.0 + i}})}), fx->signIn("admin", "lumeko")});
    const auto first = race(distinct);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(first[i].first, 0) << "writer " << i << ": " << first[i].second.toStdString();
        EXPECT_EQ(stored(students[i % 4], subjects[i / 4]).toDouble(), 50.0 + i) << "writer " << i << "'s score was lost";
    }
    EXPECT_EQ(count("CJ_MarkLog"), 10);

    const Sheet now = sheet(admin);
    QList<std::pair<wire::ChangePacket, QString>> same;
    for (int i = 0; i < 50; ++i)
        same.append({packet(now, {changed(now, "{B}", {{"003", 60.0 + i * 0.5}})}), fx->signIn("admin", "lumeko")});
    const auto second = race(same);
    int won = 0, told = 0, failed = 0;
    double kept = -1;
    for (int i = 0; i < 50; ++i) {
        if (second[i].first == 0) {
            ++won;
            kept = 60.0 + i * 0.5;
        } else if (second[i].first == 1 && !second[i].second.isEmpty()) {
            ++told;
        } else {
            ++failed;
        }
    }
    EXPECT_EQ(won, 1);
    EXPECT_EQ(told, 49) << "every conflict is reported";
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(stored("{B}", "003").toDouble(), kept);
    EXPECT_EQ(count("CJ_MarkLog"), 11) << "one more history line, the winner's";
}

TEST_P(ScoreMethodsTest, TheRosterChangesThroughTheSheetWithTheirScores)
{
    Sheet s = sheet(admin);
    ASSERT_EQ(upMark(packet(s, {changed(s, "{D}", {{"001", 66.0}})}), admin).first, 0);
    s = sheet(admin);
    // The grade leader takes 赵六 (with a score) off the exam and puts him back.
    const QString liu = fx->signIn("liu", "pwl");
    wire::RowChange removal{RowStatus::Deleted, changed(s, "{D}", {}).oldValues, {}};
    ASSERT_EQ(upMark(packet(s, {removal}), liu).first, 0);
    EXPECT_EQ(count("CJ_ExamStudent"), 3);
    EXPECT_TRUE(stored("{D}", "001").isNull());
    EXPECT_EQ(fx->db().scalar("SELECT COUNT(*) FROM \"CJ_MarkLog\" WHERE \"StudentCode\" = '{D}' AND \"NewScore\" IS NULL").toInt(), 1);

    QVariantList back = removal.oldValues;
    for (int f = 6; f < back.size(); ++f)
        back[f] = QVariant();
    back[s.upload.fieldIndex(u"C_003")] = 59.0;
    ASSERT_EQ(upMark(packet(s, {{RowStatus::Inserted, {}, back}}), liu).first, 0);
    EXPECT_EQ(fx->db().scalar("SELECT \"ClassCode\" FROM \"CJ_ExamStudent\" WHERE \"StudentCode\" = '{D}'").toString(), "002");
    EXPECT_EQ(stored("{D}", "003"), 59.0);

    // The students who may sit it: the grade's at school.
    const wire::Reply candidates = fx->call("StudentQry", "QStudForDefine", {txt("S1"), ref(qint64(2026)), txt("1701"), ref(QString())}, liu);
    ASSERT_TRUE(candidates.ok()) << candidates.message.toStdString();
    EXPECT_EQ(std::get<wire::DataPacket>(candidates.refs[3]).rowCount(), 4);
}

INSTANTIATE_TEST_SUITE_P(Backends, ScoreMethodsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
