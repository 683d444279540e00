// The exam methods on both back ends: the catalogue with its shared rows, an exam's header and
// subjects stored together or not at all, the roster, deleting an exam without leaving anything
// behind, frozen exams, and unit exams that belong to their teacher, tried with hand-made calls.

#include "fixtureschool.h"
#include "server/storage/schema.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::ErrorCode;
using wire::RowStatus;

namespace {

const QString kNoPage = QStringLiteral("⊥");

class ExamMethodsTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        fx = std::make_unique<ServiceFixture>(GetParam());
        Database &db = fx->db();
        const QString fn = "INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES (?, ?, ?, ?, ?)";
        db.exec(fn, {"4030", "40", QVariant(), QStringLiteral("创建单元考试"), 30});
        db.exec(fn, {"4031", "40", QVariant(), QStringLiteral("考试管理"), 31});
        db.exec("INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (6, '4030')");
        const QString info = "INSERT INTO \"CJ_ExamInfo\" (\"sCode\", \"sName\", \"sType\", \"SchoolCode\", \"bState\") VALUES (?, ?, ?, ?, ?)";
        db.exec(info, {"001", QStringLiteral("期中考试"), QStringLiteral("综合考试"), "SYSTEM", true});
        db.exec(info, {"002", QStringLiteral("单元测验"), QStringLiteral("单元考试"), "SYSTEM", true});
        db.exec(info, {"005", QStringLiteral("外校的考试"), QStringLiteral("综合考试"), "S2", false});
        const QString subject = "INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", \"FullMark\") "
                                "VALUES ('S1', 2026, '1701', ?, ?, 100)";
        db.exec(subject, {"001", 0});
        db.exec(subject, {"002", 0});
        db.exec(subject, {"003", 1});
        db.exec(subject, {"008", 2});
        const QString student =
            "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", \"iState\") "
            "VALUES (?, 'S1', '1701', 2026, ?, ?, ?, ?)";
        db.exec(student, {"{A}", "001", 1, QStringLiteral("张三"), "00"});
        db.exec(student, {"{B}", "001", 2, QStringLiteral("李四"), "00"});
        db.exec(student, {"{C}", "002", 1, QStringLiteral("王五"), "00"});
        db.exec(student, {"{D}", "002", 2, QStringLiteral("休学生"), "01"});
        db.exec("INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\") "
                "VALUES ('S1', 2026, '1701', '002', '003', ?)",
                {kTeacherCode});
        admin = fx->signIn("admin", "lumeko");
    }

    // A new exam's header and subject rows as the wizard sends them.
    std::pair<wire::ChangePacket, wire::ChangePacket> newExam(const QString &code, const QString &page, const QString &name, QStringList subjects)
    {
        wire::ChangePacket header;
        header.fields =
            schemaTable(u"CJ_ExamTotal")
                .fieldDefs({"SchoolCode", "GradeCode", "InYear", "ExamCode", "PageName", "ExamName", "aFullMark", "ModifyRight", "Freeze", "Classes"});
        header.rows = {{RowStatus::Inserted, {}, {"S1", "1701", 2026, code, page, name, 100.0 * subjects.size(), 33, false, "ALL"}}};
        wire::ChangePacket rows;
        rows.fields = schemaTable(u"CJ_ExamSubject")
                          .fieldDefs({"SchoolCode", "GradeCode", "InYear", "ExamCode", "PageName", "ExamName", "SubjectCode", "Per", "ModifyRight", "FullMark",
                                      "PassMark"});
        for (const QString &s : subjects)
            rows.rows.append({RowStatus::Inserted, {}, {"S1", "1701", 2026, code, page, name, s, 1.0, 33, 100.0, 60.0}});
        return {header, rows};
    }
    wire::Reply upExamTotal(const wire::Value &header, const wire::Value &subjects, const QString &token)
    {
        return fx->call("AchieveUp", "UpExamTotal", {val(header), val(subjects), val(qint64(-1)), ref(qint64(0))}, token);
    }
    qint64 count(const char *table, const char *where = "1 = 1")
    {
        return fx->db().scalar(QStringLiteral("SELECT COUNT(*) FROM \"%1\" WHERE %2").arg(QLatin1String(table), QLatin1String(where))).toLongLong();
    }
    qint64 examId(const QString &code, const QString &page = kNoPage)
    {
        return fx->db().scalar("SELECT \"Id\" FROM \"CJ_ExamTotal\" WHERE \"ExamCode\" = ? AND \"PageName\" = ?", {code, page}).toLongLong();
    }
    void defineMidterm()
    {
        auto [header, subjects] = newExam("001", kNoPage, QStringLiteral("期中考试"), {"001", "002", "003"});
        const wire::Reply r = upExamTotal(header, subjects, admin);
        ASSERT_TRUE(r.ok()) << r.message.toStdString();
        ASSERT_EQ(std::get<qint64>(r.refs[3]), 0) << r.message.toStdString();
    }

    std::unique_ptr<ServiceFixture> fx;
    QString admin;
};

TEST_P(ExamMethodsTest, TheCatalogueSharesItsSystemRowsAndKeepsThemAsTheyAre)
{
    const wire::Reply r = fx->call("AchieveQry", "QExamInfo", {txt("S1"), ref()}, admin);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(std::get<wire::DataPacket>(r.refs[1]).rowCount(), 2) << "the two shared rows, not the other school's";
    EXPECT_EQ(fx->call("AchieveQry", "MaxExamID", {txt("S1")}, admin).result, wire::Value(QStringLiteral("5"))) << "codes are unique over every school";

    const TableDef &t = schemaTable(u"CJ_ExamInfo");
    wire::ChangePacket p;
    p.fields = t.fieldDefs({"sCode", "sName", "sType", "SchoolCode", "bState"});
    p.rows = {{RowStatus::Inserted, {}, {"006", QStringLiteral("月考"), QStringLiteral("综合考试"), "S1", false}}};
    wire::Reply up = fx->call("AchieveUp", "UpExamInfo", {val(p), val(qint64(-1)), ref(qint64(0))}, admin);
    ASSERT_TRUE(up.ok()) << up.message.toStdString();
    EXPECT_EQ(std::get<qint64>(up.refs[2]), 0) << up.message.toStdString();

    // A shared row: neither renamed nor deleted, by the administrator either.
    p.rows = {{RowStatus::Modified,
               {"001", QStringLiteral("期中考试"), QStringLiteral("综合考试"), "SYSTEM", true},
               {"001", QStringLiteral("改名"), QStringLiteral("综合考试"), "SYSTEM", true}}};
    EXPECT_EQ(fx->call("AchieveUp", "UpExamInfo", {val(p), val(qint64(-1)), ref(qint64(0))}, admin).error, ErrorCode::Forbidden);
    p.rows = {{RowStatus::Deleted, {"002", QStringLiteral("单元测验"), QStringLiteral("单元考试"), "SYSTEM", false}, {}}};
    up = fx->call("AchieveUp", "UpExamInfo", {val(p), val(qint64(-1)), ref(qint64(0))}, admin);
    EXPECT_EQ(std::get<qint64>(up.refs.value(2, qint64(0))), 1) << "another school's row, even when it claims not to be built in";
    EXPECT_EQ(count("CJ_ExamInfo", "\"SchoolCode\" = 'SYSTEM'"), 2);
    EXPECT_EQ(fx->db().scalar("SELECT \"sName\" FROM \"CJ_ExamInfo\" WHERE \"sCode\" = '001'").toString(), QStringLiteral("期中考试"));
    // Only the catalogue's Manager writes it.
    EXPECT_EQ(fx->call("AchieveUp", "UpExamInfo", {val(p), val(qint64(-1)), ref(qint64(0))}, fx->signIn("wang", "pw6")).error, ErrorCode::Forbidden);
}

TEST_P(ExamMethodsTest, HeaderAndSubjectsAreStoredTogetherOrNotAtAll)
{
    auto [header, subjects] = newExam("001", kNoPage, QStringLiteral("期中考试"), {"001", "002"});
    // A subject row the database refuses (the same subject twice) takes the header with it.
    subjects.rows.append(subjects.rows[1]);
    wire::Reply r = upExamTotal(header, subjects, admin);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(std::get<qint64>(r.refs[3]), 1);
    EXPECT_FALSE(r.message.contains("INSERT")) << r.message.toStdString();
    EXPECT_EQ(count("CJ_ExamTotal"), 0) << "the header was not stored either";
    EXPECT_EQ(count("CJ_ExamSubject"), 0);

    // Subject rows of an exam that does not exist are refused before anything is stored.
    subjects.rows.removeLast();
    EXPECT_EQ(upExamTotal(wire::Null{}, subjects, admin).error, ErrorCode::Refused);

    defineMidterm();
    EXPECT_EQ(count("CJ_ExamSubject"), 3);
    const wire::Reply one = fx->call("AchieveQry", "QExamTotal", {txt("S1"), txt("1701"), txt("001"), val(kNoPage), ref(qint64(2026)), ref()}, admin);
    ASSERT_EQ(std::get<wire::DataPacket>(one.refs[5]).rowCount(), 1);
    const wire::Reply choice = fx->call("AchieveQry", "QExamSubjects",
                                        {txt("S1"), ref(QStringLiteral("1701")), ref(QStringLiteral("001")), ref(kNoPage), ref(qint64(2026)), ref()}, admin);
    const auto &list = std::get<wire::DataPacket>(choice.refs[5]);
    ASSERT_EQ(list.rowCount(), 4) << "every subject of the grade";
    QStringList selected;
    for (qsizetype i = 0; i < list.rowCount(); ++i)
        if (list.value(i, list.fieldIndex(u"Freeze")).toBool()) selected << list.value(i, 0).toString();
    EXPECT_EQ(selected, (QStringList{"001", "002", "003"}));
}

TEST_P(ExamMethodsTest, TheRosterFollowsTheClassesAndKeepsCandidatesWithScores)
{
    defineMidterm();
    const auto students = [&](const QString &classes) {
        return fx->call("AchieveUp", "UpExamStudents", {txt("S1"), txt("1701"), txt("001"), val(kNoPage), ref(classes), val(qint64(2026))}, admin);
    };
    wire::Reply r = students(QString());
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(r.result, wire::Value(qint64(1)));
    EXPECT_EQ(count("CJ_ExamStudent"), 3) << "the grade's students in school, not the one on leave";

    const qint64 id = examId("001");
    fx->db().exec("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\") VALUES (?, '{C}', '001', 88)", {id});
    fx->db().exec("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\") VALUES (?, '{A}', '002', 0)", {id});
    r = students(QStringLiteral("'001'"));
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(count("CJ_ExamStudent"), 3) << "王五 of class 002 has a score and stays";
    EXPECT_TRUE(r.message.contains("kept")) << r.message.toStdString();
    EXPECT_EQ(students(QStringLiteral("'001' or 1=1")).error, ErrorCode::Refused) << "the class list is parsed, never pasted";

    const auto marks = [&](const char *subject) {
        return fx->call("AchieveQry", "QCheckSubjectMark", {txt("S1"), txt("1701"), txt("001"), val(kNoPage), txt(subject), ref(qint64(2026))}, admin).result;
    };
    EXPECT_EQ(marks("001"), wire::Value(qint64(1)));
    EXPECT_EQ(marks("002"), wire::Value(qint64(0))) << "a score of 0 is no score";
    EXPECT_EQ(marks(""), wire::Value(qint64(4))) << "three candidates and one score";
}

TEST_P(ExamMethodsTest, DeletingAnExamLeavesNothingBehindAndIsRefusedWithCandidatesOrWhenFrozen)
{
    defineMidterm();
    const qint64 id = examId("001");
    Database &db = fx->db();
    db.exec("INSERT INTO \"CJ_SubjectItem\" (\"examId\", \"SubjectCode\", \"StudentCode\", \"score\") VALUES (?, '001', '{A}', 90)", {id});
    db.exec("INSERT INTO \"CJ_ExamGradePer\" (\"examId\", \"sArea\", \"APer\") VALUES (?, '', 20)", {id});
    const qint64 pvalue = db.insertReturningId("INSERT INTO \"CJ_ZLPG_P\" (\"SchoolCode\", \"nExamId\") VALUES ('S1', ?)", {id}, "NID");
    db.exec("INSERT INTO \"CJ_ZLPG_PDetail\" (\"NID\", \"nRow\") VALUES (?, 1)", {pvalue});
    const auto remove = [&](const QString &token) {
        return fx->call("AchieveUp", "UpDeleteExam", {txt("S1"), txt("1701"), txt("001"), val(kNoPage), val(qint64(2026))}, token);
    };

    db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, '{A}', '001')", {id});
    wire::Reply r = remove(admin);
    EXPECT_EQ(r.error, ErrorCode::Refused);
    EXPECT_TRUE(r.message.contains("1 candidates")) << r.message.toStdString();
    db.exec("DELETE FROM \"CJ_ExamStudent\"");
    db.exec("UPDATE \"CJ_ExamTotal\" SET \"Freeze\" = ?", {db.toDb(true, wire::FieldType::Boolean)});
    EXPECT_EQ(remove(admin).error, ErrorCode::Forbidden) << "frozen";
    db.exec("UPDATE \"CJ_ExamTotal\" SET \"Freeze\" = ?", {db.toDb(false, wire::FieldType::Boolean)});
    EXPECT_EQ(remove(fx->signIn("wang", "pw6")).error, ErrorCode::Forbidden) << "a subject teacher does not delete school-wide exams";

    r = remove(admin);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_TRUE(std::get<QString>(r.result).contains(QStringLiteral("3 个科目"))) << std::get<QString>(r.result).toStdString();
    for (const char *table :
         {"CJ_ExamTotal", "CJ_ExamSubject", "CJ_ExamStudent", "CJ_Mark", "CJ_SubjectItem", "CJ_ExamGradePer", "CJ_ZLPG_P", "CJ_ZLPG_PDetail"})
        EXPECT_EQ(count(table), 0) << table;
    EXPECT_EQ(remove(admin).error, ErrorCode::Refused) << "gone";
}

TEST_P(ExamMethodsTest, AFrozenExamRefusesEveryWriteButUnfreezing)
{
    defineMidterm();
    const TableDef &t = schemaTable(u"CJ_ExamTotal");
    wire::ChangePacket freeze;
    // As the page sends it: the header as loaded, with its Id.
    freeze.fields = t.fieldDefs({"Id", "SchoolCode", "GradeCode", "InYear", "ExamCode", "PageName", "ExamName", "Freeze"});
    const QVariantList open{examId("001"), "S1", "1701", 2026, "001", kNoPage, QStringLiteral("期中考试"), false};
    QVariantList frozen = open;
    frozen[7] = true;
    freeze.rows = {{RowStatus::Modified, open, frozen}};
    ASSERT_EQ(std::get<qint64>(upExamTotal(freeze, wire::Null{}, admin).refs[3]), 0);

    wire::ChangePacket rename = freeze;
    QVariantList renamed = frozen;
    renamed[6] = QStringLiteral("改名");
    rename.rows = {{RowStatus::Modified, frozen, renamed}};
    EXPECT_EQ(upExamTotal(rename, wire::Null{}, admin).error, ErrorCode::Forbidden);
    auto [header, subjects] = newExam("001", kNoPage, QStringLiteral("期中考试"), {"008"});
    EXPECT_EQ(upExamTotal(wire::Null{}, subjects, admin).error, ErrorCode::Forbidden) << "no new subject";
    EXPECT_EQ(fx->call("AchieveUp", "UpExamStudents", {txt("S1"), txt("1701"), txt("001"), val(kNoPage), ref(QString()), val(qint64(2026))}, admin).error,
              ErrorCode::Forbidden);
    EXPECT_EQ(count("CJ_ExamSubject"), 3);
    EXPECT_EQ(count("CJ_ExamStudent"), 0);

    // Unfreezing goes through, and then the exam may change again.
    freeze.rows = {{RowStatus::Modified, frozen, open}};
    ASSERT_EQ(std::get<qint64>(upExamTotal(freeze, wire::Null{}, admin).refs[3]), 0);
    const wire::Reply added = upExamTotal(wire::Null{}, subjects, admin);
    EXPECT_EQ(std::get<qint64>(added.refs[3]), 0) << added.message.toStdString();
    EXPECT_EQ(count("CJ_ExamSubject"), 4);
}

TEST_P(ExamMethodsTest, AUnitExamBelongsToItsTeacher)
{
    const QString wang = fx->signIn("wang", "pw6");
    auto [header, subjects] = newExam("002", kTeacherCode, QStringLiteral("单元测验"), {"003"});
    wire::Reply r = upExamTotal(header, subjects, wang);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(std::get<qint64>(r.refs[3]), 0) << r.message.toStdString();
    EXPECT_EQ(fx->call("StudentQry", "QTeacherSubjects", {txt("S1"), txt("1701"), val(QString(kTeacherCode)), ref(qint64(2026))}, wang).result,
              wire::Value(QStringLiteral("003")));
    EXPECT_EQ(fx->call("StudentQry", "QTeacherSubjects", {txt("S1"), txt("1701"), txt(""), ref(qint64(2026))}, admin).result,
              wire::Value(QStringLiteral("ALL")));

    // Another teacher of the school, with the same right, writes nothing of wang's exam.
    fx->db().exec("UPDATE \"JC_Teacher\" SET \"sPass\" = (SELECT \"sPass\" FROM \"JC_Teacher\" WHERE \"sLoginName\" = 'wang') WHERE \"sLoginName\" = 'nopass'");
    const QString other = fx->signIn("nopass", "pw6");
    wire::ChangePacket rename;
    rename.fields = header.fields;
    QVariantList renamed = header.rows[0].newValues;
    renamed[5] = QStringLiteral("别人的");
    rename.rows = {{RowStatus::Modified, header.rows[0].newValues, renamed}};
    r = upExamTotal(rename, wire::Null{}, other);
    EXPECT_EQ(r.error, ErrorCode::Forbidden);
    EXPECT_TRUE(r.message.contains("belongs to another teacher")) << r.message.toStdString();
    EXPECT_EQ(fx->call("AchieveUp", "UpDeleteExam", {txt("S1"), txt("1701"), txt("002"), val(QString(kTeacherCode)), val(qint64(2026))}, other).error,
              ErrorCode::Forbidden);
    // Nor can he pass his own exam off as school-wide without the right to create one.
    auto [sys, none] = newExam("001", kNoPage, QStringLiteral("期中考试"), {});
    EXPECT_EQ(upExamTotal(sys, wire::Null{}, other).error, ErrorCode::Forbidden);
    EXPECT_EQ(fx->db().scalar("SELECT \"ExamName\" FROM \"CJ_ExamTotal\"").toString(), QStringLiteral("单元测验"));

    // The list shows a teacher who may not see every grade the school-wide exams and his own.
    defineMidterm();
    const auto listed = [&](const QString &token) {
        const wire::Reply l = fx->call("AchieveQry", "QExamTotal", {txt("S1"), txt("1701"), txt(""), txt(""), ref(QStringLiteral("2026")), ref()}, token);
        return std::get<wire::DataPacket>(l.refs.value(5)).rowCount();
    };
    EXPECT_EQ(listed(admin), 2);
    EXPECT_EQ(listed(wang), 2);
    EXPECT_EQ(listed(other), 1) << "wang's unit exam is not his to see";
}

INSTANTIATE_TEST_SUITE_P(Backends, ExamMethodsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
