// The school's organisation on both back ends: classes, grades and their classes and subjects, the
// school's subjects and departments with codes the server keeps unique when two clients save at
// once, the course table loaded by grade or by the course table's filter texts, the counts that
// keep a used class or subject, and the exam totals that follow the grade's subject types. Every
// write is tried with the refusals a hand-made call meets: other schools, missing rights, strange
// keys, and packets stored whole or not at all.

#include "organisationfixture.h"

#include <barrier>
#include <thread>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::ErrorCode;

namespace {

const QString kNoPage = QStringLiteral("⊥");

class OrganisationMethodsTest : public OrganisationTest {
protected:
    wire::DataPacket classes() { return query("StudentQry", "QClasses", {txt("S1"), ref()}, 1, admin); }
    wire::DataPacket gradeClasses(qint64 year, const char *grade)
    {
        return query("StudentQry", "QGradeClasses", {txt("S1"), ref(year), txt(grade), ref()}, 3, admin);
    }
    wire::DataPacket gradeSubjects(qint64 year, const char *grade)
    {
        return query("StudentQry", "QGradeSubjects", {txt("S1"), ref(year), txt(grade), ref()}, 3, admin);
    }
    wire::DataPacket subjects() { return query("StudentQry", "QSubjects", {txt("S1"), ref()}, 1, admin); }
    wire::DataPacket courseTable(wire::Value year, const char *grade, const QString &token = {})
    {
        return query("StudentQry", "QCourseTable", {txt("S1"), ref(year), txt(grade), ref()}, 3, token.isEmpty() ? admin : token);
    }
    wire::DataPacket grades() { return std::get<wire::DataPacket>(call("Session", "GradeList", {}, admin).result); }
    wire::Value checkData(const char *table, const char *field, const char *value, wire::ErrorCode *error = nullptr)
    {
        const wire::Reply r = call("StudentQry", "QCheckData", {txt("S1"), txt(table), txt(field), txt(value)}, admin);
        if (error) *error = r.error;
        return r.result;
    }
    // A school-wide exam of 1701 (2026) with the eight marks of each subject given.
    qint64 addExam(const char *code, bool frozen, const QString &page = QStringLiteral("⊥"))
    {
        Database &db = fx->db();
        return db.insertReturningId("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", "
                                    "\"aFullMark\", \"mFullMark\", \"bFullMark\", \"Freeze\") VALUES ('S1', '1701', 2026, ?, ?, ?, 999, 999, 999, ?)",
                                    {code, page, QStringLiteral("月考"), db.toDb(frozen, wire::FieldType::Boolean)}, "Id");
    }
    void addExamSubject(const char *exam, const char *subject, std::array<double, 8> marks, const QString &page = QStringLiteral("⊥"))
    {
        fx->db().exec("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", \"Per\", "
                      "\"FullMark\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\", \"DistanceMark\", \"HighMark\", \"LowMark\") "
                      "VALUES ('S1', '1701', 2026, ?, ?, ?, 1, ?, ?, ?, ?, ?, ?, ?, ?)",
                      {exam, page, subject, marks[0], marks[1], marks[2], marks[3], marks[4], marks[5], marks[6], marks[7]});
    }
    double header(qint64 exam, const char *column)
    {
        return fx->db().scalar(QStringLiteral("SELECT \"%1\" FROM \"CJ_ExamTotal\" WHERE \"Id\" = ?").arg(QLatin1String(column)), {exam}).toDouble();
    }
};

TEST_P(OrganisationMethodsTest, AClassKeepsItsCodeAndStaysWhileAGradeHasIt)
{
    wire::DataPacket c = classes();
    EXPECT_EQ(column(c, "ClassCode"), (QStringList{"001", "002"})) << "the other school's class 001 is not listed";
    EXPECT_EQ(column(c, "ClassName"), (QStringList{QStringLiteral("一班"), QStringLiteral("二班")}));
    EXPECT_EQ(call("StudentQry", "QClasses", {txt("S2"), ref()}, admin).error, ErrorCode::Forbidden);

    // A new class beside one whose code is taken: the whole packet is refused.
    Saved s = up("UpClass",
                 Changes(c)
                     .insert({{"ClassCode", "003"}, {"ClassName", QStringLiteral("(03)班")}, {"sType", "1"}})
                     .insert({{"ClassCode", "002"}, {"ClassName", QStringLiteral("(02)班")}, {"sType", "1"}}),
                 admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("the class code 002 is taken")) << s.message.toStdString();
    EXPECT_EQ(classes().rowCount(), 2);
    s = up("UpClass", Changes(c).insert({{"ClassCode", "003"}, {"ClassName", QStringLiteral("(03)班")}, {"sType", "1"}}), admin);
    ASSERT_EQ(s.errors, 0) << s.message.toStdString();
    EXPECT_EQ(column(classes(), "ClassCode"), (QStringList{"001", "002", "003"}));

    // Another school's row, and a code renamed.
    s = up("UpClass", Changes(c).insert({{"ClassCode", "004"}, {"ClassName", QStringLiteral("外校")}, {"SchoolCode", "S2"}}), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_EQ(count("SELECT count(*) FROM \"XJ_Class\" WHERE \"SchoolCode\" = 'S2'"), 1);
    c = classes();
    s = up("UpClass", Changes(c).modify(c, rowWhere(c, "ClassCode", "002"), {{"ClassCode", "009"}}), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("never renamed")) << s.message.toStdString();

    // A class a grade has stays; one no grade has goes.
    fx->db().exec("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2025, '1801', '001')");
    s = up("UpClass", Changes(c).remove(c, rowWhere(c, "ClassCode", "001")), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("a grade has the class")) << s.message.toStdString();
    s = up("UpClass", Changes(c).remove(c, rowWhere(c, "ClassCode", "003")), admin);
    EXPECT_EQ(s.errors, 0) << s.message.toStdString();
    EXPECT_EQ(column(classes(), "ClassCode"), (QStringList{"001", "002"}));

    // Classes are the class dialog's (4002/Manager): neither a subject teacher nor the course table.
    const Changes add = Changes(c).insert({{"ClassCode", "005"}, {"ClassName", "x"}});
    EXPECT_EQ(up("UpClass", add, wang).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpClass", add, zhou).error, ErrorCode::Forbidden);
}

TEST_P(OrganisationMethodsTest, AGradeListsEveryClassAndKeepsThoseWithStudents)
{
    seedSubjectsAndStudents();
    fx->db().exec("INSERT INTO \"XJ_Class\" (\"SchoolCode\", \"ClassCode\", \"ClassName\", \"sArea\") VALUES ('S1', '003', ?, ?)",
                  {QStringLiteral("三班"), QStringLiteral("分校")});
    wire::DataPacket sel = query("StudentQry", "QGradeClassesSel", {txt("S1"), ref(2026.0), txt("1701"), ref()}, 3, admin);
    EXPECT_EQ(column(sel, "ClassCode"), (QStringList{"001", "002", "003"}));
    EXPECT_EQ(column(sel, "Selected"), (QStringList{"true", "true", "false"}));
    EXPECT_EQ(column(sel, "Sel"), column(sel, "Selected"));
    EXPECT_EQ(sel.value(2, sel.fieldIndex(u"sArea")).toString(), QStringLiteral("分校")) << "a class the grade lacks shows its own campus";
    EXPECT_EQ(sel.value(2, sel.fieldIndex(u"InYear")).toLongLong(), 2026);
    EXPECT_EQ(column(query("StudentQry", "QGradeClassesSel", {txt("S1"), ref(qint64(2025)), txt("1801"), ref()}, 3, admin), "Selected"),
              (QStringList{"false", "false", "false"}));

    // Ticking 003 with a head teacher and an alias; the stored rows are what the dialog sends.
    wire::DataPacket stored = gradeClasses(2026, "1701");
    ASSERT_EQ(stored.rowCount(), 2);
    const Values add003 = {{"ClassCode", "003"}, {"InYear", qint64(2026)},      {"GradeCode", "1701"},
                           {"SchoolCode", "S1"}, {"TeacherCode", kTeacherCode}, {"AliasName", QStringLiteral("实验班")}};
    // With a class of no school, or a head teacher of another school, nothing is stored.
    Saved s = up("UpGradeClass", Changes(stored).insert(add003).insert({{"ClassCode", "009"}, {"InYear", qint64(2026)}, {"GradeCode", "1701"}}), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("names no class of this school")) << s.message.toStdString();
    s = up("UpGradeClass", Changes(stored).insert(add003).modify(stored, 0, {{"TeacherCode", kOtherSchoolCode}}), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("names no teacher of this school")) << s.message.toStdString();
    EXPECT_EQ(gradeClasses(2026, "1701").rowCount(), 2);
    s = up("UpGradeClass", Changes(stored).insert(add003), admin);
    ASSERT_EQ(s.errors, 0) << s.message.toStdString();
    sel = query("StudentQry", "QGradeClassesSel", {txt("S1"), ref(qint64(2026)), txt("1701"), ref()}, 3, admin);
    EXPECT_EQ(sel.value(2, sel.fieldIndex(u"AliasName")).toString(), QStringLiteral("实验班"));
    EXPECT_EQ(sel.value(2, sel.fieldIndex(u"TeacherCode")).toString(), QLatin1String(kTeacherCode));

    // The students of a grade class, counted by the strict condition the dialog sends.
    const auto students = [&](const char *condition) { return call("StudentQry", "QCheckStudent", {txt("S1"), txt(condition)}, admin); };
    EXPECT_EQ(students(" and GradeCode='1701' and InYear=2026 and ClassCode='001'").result, wire::Value(qint64(2)));
    EXPECT_EQ(students(" and GradeCode='1701' and InYear=2026 and ClassCode='003'").result, wire::Value(qint64(0)));
    EXPECT_EQ(students(" and GradeCode='1701' and InYear=2026 and ClassCode='001' or 1=1").error, ErrorCode::Refused);
    EXPECT_EQ(students(" and GradeCode='1701' and InYear=2026; DELETE FROM XJ_Student").error, ErrorCode::Refused);
    EXPECT_EQ(count("SELECT count(*) FROM \"XJ_Student\""), 3);
    EXPECT_EQ(call("StudentQry", "QCheckStudent", {txt("S2"), txt(" and GradeCode='1701' and InYear=2026 and ClassCode='001'")}, admin).error,
              ErrorCode::Forbidden);

    // A class with students stays; one without goes and takes its lines of the course table along.
    fx->db().exec("INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\") "
                  "VALUES ('S1', 2026, '1701', '003', '002', ?)",
                  {kTeacherCode});
    stored = gradeClasses(2026, "1701");
    s = up("UpGradeClass", Changes(stored).remove(stored, rowWhere(stored, "ClassCode", "001")).remove(stored, rowWhere(stored, "ClassCode", "003")), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("the class has students")) << s.message.toStdString();
    EXPECT_EQ(count("SELECT count(*) FROM \"XJ_CourseTable\""), 1) << "nothing of the refused call happened";
    s = up("UpGradeClass", Changes(stored).remove(stored, rowWhere(stored, "ClassCode", "003")), admin);
    ASSERT_EQ(s.errors, 0) << s.message.toStdString();
    EXPECT_EQ(count("SELECT count(*) FROM \"XJ_CourseTable\""), 0);

    // Through the course table: head teachers only, of the grades the writer reaches.
    stored = gradeClasses(2026, "1701");
    EXPECT_EQ(up("UpGradeClass", Changes(stored).modify(stored, 1, {{"TeacherCode", kSunCode}}), liu).errors, 0) << "刘老师 leads 1701";
    EXPECT_EQ(up("UpGradeClass", Changes(stored).modify(stored, 1, {{"AliasName", "x"}}), liu).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpGradeClass", Changes(stored).insert(add003), zhou).error, ErrorCode::Forbidden);
    fx->db().exec("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2025, '1801', '001')");
    const wire::DataPacket other = gradeClasses(2025, "1801");
    s = up("UpGradeClass", Changes(other).modify(other, 0, {{"TeacherCode", kSunCode}}), liu);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("does not lead")) << s.message.toStdString();
    EXPECT_EQ(up("UpGradeClass", Changes(other).modify(other, 0, {{"TeacherCode", kSunCode}}), zhou).errors, 0) << "周老师 may view every grade";
    EXPECT_EQ(up("UpGradeClass", Changes(other).modify(other, 0, {{"TeacherCode", kLiuCode}}), wang).error, ErrorCode::Forbidden);
}

TEST_P(OrganisationMethodsTest, CheckDataCountsOnlyTheFixedTablesAndRefusesEveryOtherText)
{
    seedSubjectsAndStudents();
    fx->db().exec("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S2', 2026, '1701', '001')");
    EXPECT_EQ(checkData("XJ_GradeClass", "ClassCode", "'001'"), wire::Value(qint64(1))) << "the other school's grade class is not counted";
    EXPECT_EQ(checkData("xj_gradeclass", "CLASSCODE", "'002'"), wire::Value(qint64(1)));
    EXPECT_EQ(checkData("XJ_GradeClass", "ClassCode", "'003'"), wire::Value(qint64(0)));
    EXPECT_EQ(checkData("XJ_GradeSubject", "SubjectCode", "'003'"), wire::Value(qint64(1)));

    const char *const refused[][3] = {
        {"XJ_Student", "ClassCode", "'001'"},      // a table not on the list
        {"XJ_GradeClass", "TeacherCode", "'x'"},   // a field not on the list
        {"XJ_GradeSubject", "ClassCode", "'001'"}, // a field of the other table
        {"XJ_GradeClass; DROP TABLE XJ_Class", "ClassCode", "'001'"},
        {"XJ_GradeClass", "ClassCode = ClassCode --", "'001'"},
        {"XJ_GradeClass", "ClassCode", "'001' OR 1=1"},
        {"XJ_GradeClass", "ClassCode", "'001'; DELETE FROM \"XJ_Class\""},
        {"XJ_GradeClass", "ClassCode", "001"},    // not quoted
        {"XJ_GradeClass", "ClassCode", "'0011'"}, // longer than a code
        {"XJ_GradeClass", "ClassCode", "''"},
    };
    for (const auto &[table, field, value] : refused) {
        ErrorCode error = ErrorCode::None;
        checkData(table, field, value, &error);
        EXPECT_EQ(error, ErrorCode::Refused) << table << " / " << field << " / " << value;
    }
    const wire::Reply r = call("StudentQry", "QCheckData", {txt("S1"), txt("XJ_Student"), txt("ClassCode"), txt("'001'")}, admin);
    EXPECT_TRUE(r.message.contains("expected XJ_GradeClass or XJ_GradeSubject")) << r.message.toStdString();
    EXPECT_EQ(count("SELECT count(*) FROM \"XJ_Class\""), 3) << "nothing was run";
    EXPECT_EQ(call("StudentQry", "QCheckData", {txt("S2"), txt("XJ_GradeClass"), txt("ClassCode"), txt("'001'")}, admin).error, ErrorCode::Forbidden);
}

TEST_P(OrganisationMethodsTest, GradesAreKeptWhileTheyHaveSubjectsOrClassesAndLeadersChangeThroughTheCourseTable)
{
    seedSubjectsAndStudents();
    wire::DataPacket g = grades();
    const Values grade1901 = {{"GradeCode", "1901"}, {"InYear", qint64(2024)}, {"sYear", QStringLiteral("2026~2027学年")}, {"bCurGrade", "Y"}};
    Saved s = up("UpGrade", Changes(g).insert(grade1901).insert({{"GradeCode", "1902"}, {"InYear", qint64(2024)}, {"bCurGrade", "X"}}), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("bCurGrade is Y or N")) << s.message.toStdString();
    s = up("UpGrade", Changes(g).insert(grade1901).modify(g, rowWhere(g, "GradeCode", "1801"), {{"TeacherCode", kOtherSchoolCode}}), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_EQ(grades().rowCount(), 2);
    s = up("UpGrade", Changes(g).insert(grade1901), admin);
    ASSERT_EQ(s.errors, 0) << s.message.toStdString();
    g = grades();
    ASSERT_EQ(g.rowCount(), 3);

    // 1701 has subjects and classes; 1901 has neither.
    s = up("UpGrade", Changes(g).remove(g, rowWhere(g, "GradeCode", "1701")), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("still has subjects or classes")) << s.message.toStdString();
    s = up("UpGrade", Changes(g).remove(g, rowWhere(g, "GradeCode", "1901")), admin);
    EXPECT_EQ(s.errors, 0) << s.message.toStdString();
    g = grades();

    // The grade leader 刘老师 sets his own grade's deputy through the course table, not another's,
    // and nothing else of a grade.
    const qsizetype g1701 = rowWhere(g, "GradeCode", "1701"), g1801 = rowWhere(g, "GradeCode", "1801");
    EXPECT_EQ(up("UpGrade", Changes(g).modify(g, g1701, {{"SubTeacherCode", kSunCode}}), liu).errors, 0);
    s = up("UpGrade", Changes(g).modify(g, g1801, {{"SubTeacherCode", kSunCode}}), liu);
    EXPECT_EQ(s.errors, 1);
    EXPECT_EQ(up("UpGrade", Changes(g).modify(g, g1701, {{"sYear", "x"}}), liu).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpGrade", Changes(g).insert(grade1901), liu).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpGrade", Changes(g).modify(g, g1801, {{"SubTeacherCode", kSunCode}}), zhou).errors, 0);
    EXPECT_EQ(up("UpGrade", Changes(g).modify(g, g1801, {{"TeacherCode", kSunCode}}), wang).error, ErrorCode::Forbidden);
    EXPECT_EQ(count("SELECT count(*) FROM \"XJ_Grade\" WHERE \"SchoolCode\" = 'S1' AND \"SubTeacherCode\" = ?", {kSunCode}), 2);
}

TEST_P(OrganisationMethodsTest, SubjectAndDepartmentCodesStayUniqueWhenTwoClientsInsertAtOnce)
{
    EXPECT_EQ(call("StudentQry", "MaxSubjectID", {txt("S1")}, admin).result, wire::Value(QString())) << "empty: no subject yet";
    const wire::DataPacket empty = subjects();
    Saved s = up("UpSubject",
                 Changes(empty)
                     .insert({{"SubjectCode", "001"}, {"SubjectName", QStringLiteral("语文")}})
                     .insert({{"SubjectCode", "002"}, {"SubjectName", QStringLiteral("数学")}}),
                 admin);
    ASSERT_EQ(s.errors, 0) << s.message.toStdString();
    EXPECT_TRUE(s.message.isEmpty()) << "free codes are kept as given";
    EXPECT_EQ(call("StudentQry", "MaxSubjectID", {txt("S1")}, admin).result, wire::Value(QStringLiteral("2")));

    // Names are the subjects' identity on every page: neither twice nor empty.
    s = up("UpSubject", Changes(empty).insert({{"SubjectCode", "003"}, {"SubjectName", QStringLiteral("语文")}}), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains(QStringLiteral("语文 would be used twice"))) << s.message.toStdString();
    EXPECT_EQ(up("UpSubject", Changes(empty).insert({{"SubjectCode", "003"}, {"SubjectName", " "}}), admin).errors, 1);

    // Two clients read MaxSubjectID 2 and both save their new subject as 003, at the same moment.
    Saved results[2];
    const QString tokens[2] = {admin, fx->signIn("admin", "lumeko")};
    {
        std::barrier start(2);
        const auto save = [&](int i, const char *name) {
            start.arrive_and_wait();
            results[i] = up("UpSubject", Changes(empty).insert({{"SubjectCode", "003"}, {"SubjectName", QString::fromUtf8(name)}}), tokens[i]);
        };
        std::thread a(save, 0, "物理"), b(save, 1, "化学");
        a.join();
        b.join();
    }
    EXPECT_EQ(results[0].errors, 0) << results[0].message.toStdString();
    EXPECT_EQ(results[1].errors, 0) << results[1].message.toStdString();
    wire::DataPacket stored = subjects();
    EXPECT_EQ(column(stored, "SubjectCode"), (QStringList{"001", "002", "003", "004"}));
    EXPECT_GE(rowWhere(stored, "SubjectName", QStringLiteral("物理")), 0);
    EXPECT_GE(rowWhere(stored, "SubjectName", QStringLiteral("化学")), 0);
    EXPECT_EQ(results[0].message.contains("stored as 004") + results[1].message.contains("stored as 004"), 1)
        << results[0].message.toStdString() << " / " << results[1].message.toStdString();

    // Two rows of one packet with one code, and a row without any: each gets the next free code.
    s = up("UpSubject",
           Changes(empty)
               .insert({{"SubjectCode", "005"}, {"SubjectName", QStringLiteral("生物")}})
               .insert({{"SubjectCode", "005"}, {"SubjectName", QStringLiteral("地理")}})
               .insert({{"SubjectName", QStringLiteral("历史")}}),
           admin);
    ASSERT_EQ(s.errors, 0) << s.message.toStdString();
    EXPECT_TRUE(s.message.contains("XJ_Subject row 2: the code 005 was taken; stored as 006")) << s.message.toStdString();
    EXPECT_TRUE(s.message.contains("XJ_Subject row 3: no code was given; stored as 007")) << s.message.toStdString();
    stored = subjects();
    EXPECT_EQ(stored.value(rowWhere(stored, "SubjectName", QStringLiteral("历史")), 0).toString(), "007");

    // A subject a grade has stays; codes are never renamed.
    fx->db().exec("INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\") VALUES ('S1', 2026, '1701', '001')");
    s = up("UpSubject", Changes(stored).remove(stored, rowWhere(stored, "SubjectCode", "001")), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("a grade has the subject")) << s.message.toStdString();
    EXPECT_EQ(up("UpSubject", Changes(stored).modify(stored, 1, {{"SubjectCode", "099"}}), admin).errors, 1);

    // The school's subject leaders through the course table: by a user who may view every grade.
    const qsizetype maths = rowWhere(stored, "SubjectCode", "002");
    EXPECT_EQ(up("UpSubject", Changes(stored).modify(stored, maths, {{"TeacherCode", kSunCode}}), zhou).errors, 0);
    EXPECT_EQ(up("UpSubject", Changes(stored).modify(stored, maths, {{"SubjectName", "x"}}), zhou).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpSubject", Changes(stored).modify(stored, maths, {{"SubTeacherCode", kSunCode}}), liu).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpSubject", Changes(stored).insert({{"SubjectName", "x"}}), wang).error, ErrorCode::Forbidden);

    // Departments: the same rule, and a department keeps its teachers.
    const wire::DataPacket depts = query("StudentQry", "QDept", {txt("S1"), ref()}, 1, admin);
    ASSERT_EQ(up("UpDept", Changes(depts).insert({{"sCode", "001"}, {"sName", QStringLiteral("教务处")}}), admin).errors, 0);
    s = up("UpDept", Changes(depts).insert({{"sCode", "001"}, {"sName", QStringLiteral("政教处")}}), admin);
    EXPECT_EQ(s.errors, 0) << s.message.toStdString();
    EXPECT_TRUE(s.message.contains("stored as 002")) << s.message.toStdString();
    EXPECT_EQ(call("StudentQry", "MaxDeptID", {txt("S1")}, admin).result, wire::Value(QStringLiteral("2")));
    fx->db().exec("INSERT INTO \"JC_DeptTeacher\" (\"SchoolCode\", \"TeacherCode\", \"DepartCode\") VALUES ('S1', ?, '001')", {kTeacherCode});
    const wire::DataPacket two = query("StudentQry", "QDept", {txt("S1"), ref()}, 1, admin);
    s = up("UpDept", Changes(two).remove(two, rowWhere(two, "sCode", "001")), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("still has teachers")) << s.message.toStdString();
}

TEST_P(OrganisationMethodsTest, GradeSubjectsAreStoredWholeAndASubjectWithScoresStays)
{
    seedSubjectsAndStudents();
    fx->db().exec("INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', '004', ?)", {QStringLiteral("物理")});
    const wire::DataPacket sel = query("StudentQry", "QGradeSubjectsSel", {txt("S1"), ref(2026.0), txt("1701"), ref()}, 3, admin);
    EXPECT_EQ(column(sel, "SubjectCode"), (QStringList{"001", "002", "003", "004"}));
    EXPECT_EQ(column(sel, "Selected"), (QStringList{"true", "true", "true", "false"}));
    EXPECT_EQ(column(sel, "SubjectType"), (QStringList{"0", "0", "1", ""}));
    EXPECT_EQ(column(sel, "FullMark"), (QStringList{"120", "120", "100", ""}));

    wire::DataPacket stored = gradeSubjects(2026, "1701");
    ASSERT_EQ(stored.rowCount(), 3);
    const Values physics = {{"SubjectCode", "004"},     {"InYear", qint64(2026)},  {"GradeCode", "1701"},        {"SchoolCode", "S1"},
                            {"SubjectType", qint64(2)}, {"FullMark", qint64(100)}, {"TeacherCode", kTeacherCode}};
    // Each bad row refuses the good one beside it.
    EXPECT_EQ(
        up("UpGradeSubject", Changes(stored).insert(physics).insert({{"SubjectCode", "009"}, {"InYear", qint64(2026)}, {"GradeCode", "1701"}}), admin).errors,
        1);
    EXPECT_EQ(up("UpGradeSubject", Changes(stored).insert(physics).modify(stored, 2, {{"TeacherCode", kOtherSchoolCode}}), admin).errors, 1);
    EXPECT_EQ(up("UpGradeSubject", Changes(stored).insert(physics).modify(stored, 2, {{"SubjectType", qint64(7)}}), admin).errors, 1);
    EXPECT_EQ(
        up("UpGradeSubject", Changes(stored).insert({{"SubjectCode", "004"}, {"InYear", qint64(2026)}, {"GradeCode", "1701"}, {"SchoolCode", "S2"}}), admin)
            .errors,
        1);
    EXPECT_EQ(gradeSubjects(2026, "1701").rowCount(), 3);
    Saved s = up("UpGradeSubject", Changes(stored).insert(physics), admin);
    ASSERT_EQ(s.errors, 0) << s.message.toStdString();
    stored = gradeSubjects(2026, "1701");
    ASSERT_EQ(stored.rowCount(), 4);

    // 数学 has a score in an exam of the grade; 物理 only a 0, which is no score.
    const qint64 exam = addExam("001", false);
    fx->db().exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, '{A}', '001')", {exam});
    fx->db().exec("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\") VALUES (?, '{A}', '002', 88)", {exam});
    fx->db().exec("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\") VALUES (?, '{A}', '004', 0)", {exam});
    fx->db().exec("INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\") "
                  "VALUES ('S1', 2026, '1701', '001', '004', ?)",
                  {kSunCode});
    s = up("UpGradeSubject", Changes(stored).remove(stored, rowWhere(stored, "SubjectCode", "002")).remove(stored, rowWhere(stored, "SubjectCode", "004")),
           admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("the grade has scores of the subject")) << s.message.toStdString();
    EXPECT_EQ(gradeSubjects(2026, "1701").rowCount(), 4);
    s = up("UpGradeSubject", Changes(stored).remove(stored, rowWhere(stored, "SubjectCode", "004")), admin);
    ASSERT_EQ(s.errors, 0) << s.message.toStdString();
    EXPECT_EQ(count("SELECT count(*) FROM \"XJ_CourseTable\" WHERE \"SubjectCode\" = '004'"), 0) << "its teaching lines went with it";

    // Lesson-preparation leaders through the course table; nothing else.
    stored = gradeSubjects(2026, "1701");
    EXPECT_EQ(up("UpGradeSubject", Changes(stored).modify(stored, 0, {{"TeacherCode", kSunCode}}), liu).errors, 0);
    EXPECT_EQ(up("UpGradeSubject", Changes(stored).modify(stored, 0, {{"FullMark", qint64(150)}}), liu).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpGradeSubject", Changes(stored).modify(stored, 0, {{"TeacherCode", kLiuCode}}), wang).error, ErrorCode::Forbidden);
}

TEST_P(OrganisationMethodsTest, ExamTotalsFollowTheGradeSubjectTypesWithMarksRoundedHalfToEven)
{
    seedSubjectsAndStudents();
    const qint64 open = addExam("001", false), frozen = addExam("002", true), unit = addExam("003", false, QLatin1String(kTeacherCode));
    // Full, excellent, good, pass, poor, band, upper, lower.
    for (const char *exam : {"001", "002"}) {
        addExamSubject(exam, "001", {120, 102.5, 84.5, 72.5, 36, 10, 110, 10});
        addExamSubject(exam, "002", {120, 101.5, 85.5, 73.5, 36, 10, 110, 10});
        addExamSubject(exam, "003", {100, 90, 80, 60, 30, 10, 90, 10});
    }
    addExamSubject("003", "001", {120, 102.5, 84.5, 72.5, 36, 10, 110, 10}, QLatin1String(kTeacherCode));

    // 英语 becomes an auxiliary subject: it leaves the main total.
    wire::DataPacket stored = gradeSubjects(2026, "1701");
    Saved s = up("UpGradeSubject", Changes(stored).modify(stored, rowWhere(stored, "SubjectCode", "003"), {{"SubjectType", qint64(2)}}), admin);
    ASSERT_EQ(s.errors, 0) << s.message.toStdString();
    EXPECT_EQ(header(open, "aFullMark"), 340);
    EXPECT_EQ(header(open, "aExcelMark"), 102 + 102 + 90) << "102.5 gives 102, 101.5 gives 102";
    EXPECT_EQ(header(open, "aGoodMark"), 84 + 86 + 80);
    EXPECT_EQ(header(open, "aPassMark"), 72 + 74 + 60);
    EXPECT_EQ(header(open, "mFullMark"), 240);
    EXPECT_EQ(header(open, "mPassMark"), 146);
    EXPECT_EQ(header(open, "bFullMark"), 240) << "语文 and 数学 are base subjects";
    EXPECT_EQ(header(open, "mHighMark"), 220);
    EXPECT_EQ(header(frozen, "aFullMark"), 999) << "a frozen exam keeps its totals";
    EXPECT_EQ(header(unit, "aFullMark"), 999) << "a unit exam has no totals";

    // The dialog's own reading: the open school-wide exams, already up to date.
    const wire::DataPacket headers = query("AchieveQry", "QExamTotalBySubject", {txt("S1"), ref(qint64(2026)), txt("1701"), ref()}, 3, admin);
    ASSERT_EQ(headers.rowCount(), 1);
    EXPECT_EQ(headers.value(0, headers.fieldIndex(u"Id")).toLongLong(), open);
    EXPECT_EQ(headers.value(0, headers.fieldIndex(u"mFullMark")).toDouble(), 240);
    EXPECT_EQ(headers.fieldIndex(u"ModifyRight") >= 0, true) << "every column, for UpExamTotal's change packet";
    EXPECT_EQ(call("AchieveQry", "QExamTotalBySubject", {txt("S2"), ref(qint64(2026)), txt("1701"), ref()}, admin).error, ErrorCode::Forbidden);

    // Back to a main subject, and 数学 to an auxiliary one.
    stored = gradeSubjects(2026, "1701");
    s = up("UpGradeSubject",
           Changes(stored)
               .modify(stored, rowWhere(stored, "SubjectCode", "003"), {{"SubjectType", qint64(1)}})
               .modify(stored, rowWhere(stored, "SubjectCode", "002"), {{"SubjectType", qint64(2)}}),
           admin);
    ASSERT_EQ(s.errors, 0) << s.message.toStdString();
    EXPECT_EQ(header(open, "mFullMark"), 220);
    EXPECT_EQ(header(open, "bFullMark"), 120);
    EXPECT_EQ(header(open, "bPassMark"), 72);
    EXPECT_EQ(header(open, "aFullMark"), 340);
}

TEST_P(OrganisationMethodsTest, TheCourseTableLoadsByGradeOrFilterAndStoresOnlyLinesOfTheGrade)
{
    seedSubjectsAndStudents();
    Database &db = fx->db();
    db.exec("INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2025, '1801', '001')");
    db.exec(
        "INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\") VALUES ('S1', 2025, '1801', '001', 0)");
    db.exec("INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', '004', ?)", {QStringLiteral("物理")});

    wire::DataPacket lines = courseTable(qint64(2026), "1701");
    EXPECT_EQ(lines.rowCount(), 0);
    const auto line = [](qint64 year, const char *grade, const char *cls, const char *subject, const char *teacher) {
        return Values{{"SchoolCode", "S1"}, {"InYear", year}, {"GradeCode", grade}, {"ClassCode", cls}, {"SubjectCode", subject}, {"TeacherCode", teacher}};
    };
    // A class or subject the grade lacks, or another school's teacher: nothing of the packet is stored.
    const Values good = line(2026, "1701", "001", "002", kTeacherCode);
    EXPECT_EQ(up("UpCourseTable", Changes(lines).insert(good).insert(line(2026, "1701", "003", "002", kSunCode)), admin).errors, 1);
    EXPECT_EQ(up("UpCourseTable", Changes(lines).insert(good).insert(line(2026, "1701", "002", "004", kSunCode)), admin).errors, 1);
    EXPECT_EQ(up("UpCourseTable", Changes(lines).insert(good).insert(line(2026, "1701", "002", "002", kOtherSchoolCode)), admin).errors, 1);
    EXPECT_EQ(courseTable(qint64(2026), "1701").rowCount(), 0);
    Saved s = up("UpCourseTable",
                 Changes(lines).insert(good).insert(line(2026, "1701", "002", "002", kSunCode)).insert(line(2025, "1801", "001", "001", kSunCode)), admin);
    ASSERT_EQ(s.errors, 0) << s.message.toStdString();

    // By grade and intake year, and by the course table's filter texts.
    EXPECT_EQ(courseTable(qint64(2026), "1701").rowCount(), 2);
    EXPECT_EQ(courseTable(QString(), "GradeCode like '17%' and bCurGrade='Y'").rowCount(), 2);
    EXPECT_EQ(courseTable(QStringLiteral(" and sYear='2026~2027学年'"), "GradeCode like '1%'").rowCount(), 3);
    EXPECT_EQ(courseTable(QStringLiteral("2025"), "1801").rowCount(), 1);
    EXPECT_EQ(courseTable(QString(), "1").rowCount(), 3) << "a stage: its current grades";
    EXPECT_EQ(courseTable(qint64(2026), "1").rowCount(), 2) << "a stage in one intake year";
    db.exec("UPDATE \"XJ_Grade\" SET \"bCurGrade\" = 'N' WHERE \"SchoolCode\" = 'S1' AND \"GradeCode\" = '1801'");
    EXPECT_EQ(courseTable(QString(), "GradeCode like '1%' and bCurGrade='Y'").rowCount(), 2);
    EXPECT_EQ(query("StudentQry", "QGradeSubjects", {txt("S1"), ref(QString()), txt("GradeCode like '17%' and bCurGrade='Y'"), ref()}, 3, admin).rowCount(), 3);
    EXPECT_EQ(query("StudentQry", "QGradeClasses", {txt("S1"), ref(QString()), txt("GradeCode like '1%' and bCurGrade='Y'"), ref()}, 3, admin).rowCount(), 2);
    EXPECT_EQ(gradeClasses(2026, "1701").rowCount(), 2) << "the register's own call is unchanged";
    for (const char *bad : {"GradeCode like '17%' or 1=1", "1701'; DELETE FROM \"XJ_CourseTable\"; --", "GradeCode like '%'"}) {
        const wire::Reply r = call("StudentQry", "QCourseTable", {txt("S1"), ref(QString()), txt(bad), ref()}, admin);
        EXPECT_EQ(r.error, ErrorCode::Refused) << bad;
    }
    EXPECT_EQ(call("StudentQry", "QCourseTable", {txt("S1"), ref(QString()), txt(""), ref()}, admin).error, ErrorCode::BadArguments) << "no grade named";
    EXPECT_EQ(count("SELECT count(*) FROM \"XJ_CourseTable\""), 3);

    // The subject-class view: every class of the grade for one subject; all lines for the score page.
    wire::DataPacket view = query("StudentQry", "QSubjectClass", {txt("S1"), txt("1701"), txt("002"), ref(qint64(2026)), ref()}, 4, admin);
    EXPECT_EQ(column(view, "ClassCode"), (QStringList{"001", "002"}));
    EXPECT_EQ(column(view, "Selected"), (QStringList{"true", "true"}));
    EXPECT_EQ(column(view, "TeacherName"), (QStringList{QStringLiteral("王老师"), QStringLiteral("孙老师")}));
    EXPECT_EQ(column(view, "ClassName"), (QStringList{QStringLiteral("一班"), QStringLiteral("二班")}));
    view = query("StudentQry", "QSubjectClass", {txt("S1"), txt("1701"), txt("003"), ref(qint64(2026)), ref()}, 4, admin);
    EXPECT_EQ(column(view, "Selected"), (QStringList{"false", "false"}));
    EXPECT_EQ(column(view, "SubjectCode"), (QStringList{"003", "003"}));
    view = query("StudentQry", "QSubjectClass", {txt("S1"), txt("1701"), txt(""), ref(qint64(2026)), ref()}, 4, wang);
    EXPECT_EQ(column(view, "TeacherCode"), (QStringList{QLatin1String(kTeacherCode), QLatin1String(kSunCode)}));

    // The grade leader writes lines of his grade only; a teacher without the right none. The
    // grade-subject dialog's users (4007) write them too.
    lines = courseTable(qint64(2026), "1701");
    const qsizetype maths001 = rowWhere(lines, "ClassCode", "001");
    EXPECT_EQ(up("UpCourseTable", Changes(lines).modify(lines, maths001, {{"TeacherCode", kLiuCode}}), liu).errors, 0);
    const wire::DataPacket old = courseTable(qint64(2025), "1801");
    s = up("UpCourseTable", Changes(old).modify(old, 0, {{"TeacherCode", kLiuCode}}), liu);
    EXPECT_EQ(s.errors, 1);
    EXPECT_EQ(up("UpCourseTable", Changes(lines).remove(lines, 1), wang).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpCourseTable", Changes(lines).modify(lines, 1, {{"ClassCode", "001"}}), admin).errors, 1) << "a line is never moved";
    db.exec("INSERT INTO \"XT_UserRight\" (\"TeacherCode\", \"sFunId\") VALUES (?, '4007')", {kTeacherCode});
    db.exec("UPDATE \"JC_Teacher\" SET \"bViewAllGrade\" = ? WHERE \"sCode\" = ?", {db.toDb(true, wire::FieldType::Boolean), kTeacherCode});
    EXPECT_EQ(up("UpCourseTable", Changes(lines).remove(lines, 1), wang).errors, 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, OrganisationMethodsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
