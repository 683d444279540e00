// The student register's server methods on both back ends: which students each query form gives,
// the family filter parsed (and refused when it is anything else), photos, exam history, the
// updates with their refusals, and many teachers saving the register at the same moment.

#include "fixtureschool.h"
#include "server/core/auth.h"
#include "server/storage/schema.h"
#include "toolkit/cipher/cipher.h"

#include <QMap>

#include <gtest/gtest.h>

#include <barrier>
#include <iostream>
#include <thread>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::ErrorCode;
using wire::RowStatus;

namespace {

class StudentMethodsTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        fx = std::make_unique<ServiceFixture>(GetParam());
        Database &db = fx->db();
        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", \"iState\") "
                                "VALUES (?, ?, ?, ?, ?, ?, ?, '00')";
        db.exec(student, {"{A}", "S1", "1701", 2026, "001", 2, QStringLiteral("张三")});
        db.exec(student, {"{B}", "S1", "1701", 2026, "001", 1, QStringLiteral("李四")});
        db.exec(student, {"{C}", "S1", "1701", 2026, "002", 1, QStringLiteral("王五")});
        db.exec(student, {"{D}", "S1", "1701", 2026, "003", 1, QStringLiteral("赵六")});
        db.exec(student, {"{E}", "S1", "1701", 2025, "001", 1, QStringLiteral("去年的")});
        db.exec(student, {"{F}", "S1", "1801", 2025, "001", 1, QStringLiteral("八年级")});
        db.exec(student, {"{X}", "S2", "1701", 2026, "001", 1, QStringLiteral("外校生")});
        const QString gc = "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"TeacherCode\") VALUES ('S1', ?, ?, ?, ?)";
        db.exec(gc, {2026, "1701", "001", kTeacherCode}); // wang heads 七(1)
        db.exec(gc, {2026, "1701", "002", QVariant()});
        db.exec(gc, {2026, "1701", "003", QVariant()});
        db.exec(gc, {2025, "1801", "001", QVariant()});
        db.exec("INSERT INTO \"XJ_CourseTable\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"SubjectCode\", \"TeacherCode\") "
                "VALUES ('S1', 2026, '1701', '002', '001', ?)", {kTeacherCode}); // and teaches 七(2)
        const QString fam = "INSERT INTO \"XJ_Family\" (\"scode\", \"sTitle\", \"sName\", \"SchoolCode\") VALUES (?, ?, ?, ?)";
        db.exec(fam, {"{A}", QStringLiteral("父亲"), QStringLiteral("张大山"), "S1"});
        db.exec(fam, {"{C}", QStringLiteral("母亲"), QStringLiteral("王妈妈"), "S1"});
        db.exec(fam, {"{X}", QStringLiteral("父亲"), QStringLiteral("外校家长"), "S2"});
        db.exec("INSERT INTO \"XJ_StudentPic\" (\"scode\", \"imgtype\", \"imgfile\", \"SchoolCode\") VALUES ('{A}', '0', '261206080000123.jpg', 'S1')");
        const qint64 exam = db.insertReturningId("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\") "
                                                 "VALUES ('S1', '1701', 2026, '001', ?, ?)",
                                                 {QStringLiteral("⊥"), QStringLiteral("期中考试")}, "Id");
        db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, '{A}', '001')", {exam});
        admin = fx->signIn("admin", "lumeko");
    }

    QStringList names(const wire::Reply &r, int ref)
    {
        EXPECT_TRUE(r.ok()) << r.message.toStdString();
        QStringList out;
        const wire::Value v = r.refs.value(ref);
        if (auto *p = std::get_if<wire::DataPacket>(&v))
            for (qsizetype i = 0; i < p->rowCount(); ++i) out << p->value(i, p->fieldIndex(u"sName")).toString();
        return out;
    }

    std::unique_ptr<ServiceFixture> fx;
    QString admin;
};

TEST_P(StudentMethodsTest, EachQueryFormGivesItsStudentsAndOnlyTheCallersSchool)
{
    const QString Q = "StudentQry";
    EXPECT_EQ(names(fx->call(Q, "QStudByClass", {txt("001"), txt("1701"), ref(qint64(2026)), txt("S1"), txt("Y"), ref()}, admin), 5),
              (QStringList{QStringLiteral("李四"), QStringLiteral("张三")})) << "in seat order";
    EXPECT_EQ(fx->call(Q, "QStudByClass", {txt("001"), txt("1701"), ref(qint64(2026)), txt("S2"), txt("Y"), ref()}, admin).error, ErrorCode::Forbidden);

    // A grade of an intake year; the whole junior stage's current grades; the stage in one year.
    EXPECT_EQ(names(fx->call(Q, "QStudByGrade", {txt("1701"), ref(qint64(2026)), txt("S1"), txt("Y"), txt(""), ref()}, admin), 5).size(), 4);
    fx->db().exec("UPDATE \"XJ_Grade\" SET \"bCurGrade\" = 'N' WHERE \"InYear\" = 2025 AND \"GradeCode\" = '1801'");
    EXPECT_EQ(names(fx->call(Q, "QStudByGrade", {txt("1"), ref(qint64(2026)), txt("S1"), txt("Y"), txt(""), ref()}, admin), 5).size(), 4)
        << "only the current grades of the stage";
    EXPECT_EQ(names(fx->call(Q, "QStudByGrade", {txt("1"), ref(qint64(2025)), txt("S1"), ref(QStringLiteral("viewers")), txt(""), ref()}, admin), 5),
              (QStringList{QStringLiteral("去年的"), QStringLiteral("八年级")}));
    // A teacher who sees only his classes gets the one he heads and the one he teaches, whatever
    // user code the call names; the user code limits nobody else either.
    const QString wang = fx->signIn("wang", "pw6");
    for (const QString &userCode : {QString(), QStringLiteral("nobody"), QString(kTeacherCode)})
        EXPECT_EQ(names(fx->call(Q, "QStudByGrade", {txt("1701"), ref(qint64(2026)), txt("S1"), txt("Y"), val(userCode), ref()}, wang), 5),
                  (QStringList{QStringLiteral("李四"), QStringLiteral("张三"), QStringLiteral("王五")}))
            << userCode.toStdString();
    EXPECT_EQ(names(fx->call(Q, "QStudByGrade", {txt("1701"), ref(qint64(2026)), txt("S1"), txt("Y"), val(QString(kTeacherCode)), ref()}, admin), 5).size(), 4);
    EXPECT_TRUE(names(fx->call(Q, "QStudByClass", {txt("003"), txt("1701"), ref(qint64(2026)), txt("S1"), txt("Y"), ref()}, wang), 5).isEmpty())
        << "not his class";
    EXPECT_EQ(names(fx->call(Q, "QFamily", {txt("S1"), ref(QStringLiteral(" and b.gradecode='1701' and b.inyear=2026")), ref()}, wang), 2).size(), 2)
        << "the families of his students only (张三's and 王五's)";
    // Password hashes never leave the server; the register learns only whether one is set.
    fx->db().exec("UPDATE \"XJ_Student\" SET \"sPass\" = 'argon2-hash' WHERE \"sCode\" = '{A}'");
    const wire::Reply rows = fx->call(Q, "QStudByClass", {txt("001"), txt("1701"), ref(qint64(2026)), txt("S1"), txt("Y"), ref()}, admin);
    const auto &packet = std::get<wire::DataPacket>(rows.refs[5]);
    QStringList passwords;
    for (qsizetype i = 0; i < packet.rowCount(); ++i)
        passwords << packet.value(i, packet.fieldIndex(u"sPass")).toString();
    EXPECT_EQ(passwords, (QStringList{QString(), QStringLiteral("******")}));

    // Classes of the grade, teachers of the school.
    const wire::Reply classes = fx->call(Q, "QGradeClasses", {txt("S1"), ref(qint64(2026)), txt("1701"), ref()}, admin);
    EXPECT_EQ(std::get<wire::DataPacket>(classes.refs[3]).rowCount(), 3);
    const wire::Reply teachers = fx->call(Q, "QTeachers", {txt("S1"), ref()}, admin);
    EXPECT_EQ(std::get<wire::DataPacket>(teachers.refs[1]).rowCount(), 4);
}

TEST_P(StudentMethodsTest, TheFamilyFilterIsParsedAndAnythingElseRefused)
{
    const auto family = [&](const QString &filter) { return fx->call("StudentQry", "QFamily", {txt("S1"), ref(filter), ref()}, admin); };
    QStringList got = names(family(" and b.gradecode='1701' and b.inyear=2026"), 2);
    got.sort();
    EXPECT_EQ(got, (QStringList{QStringLiteral("张大山"), QStringLiteral("王妈妈")})) << "never the other school's families";
    EXPECT_EQ(names(family(" and b.gradecode='1701' and b.inyear=2026 and b.classcode='002'"), 2), QStringList{QStringLiteral("王妈妈")});
    for (const char *bad : {" and b.gradecode='1701' or 1=1", " and b.gradecode='1701' and b.inyear=2026; DELETE FROM \"XJ_Family\"", "", "1=1"}) {
        const wire::Reply r = family(QString::fromUtf8(bad));
        EXPECT_EQ(r.error, ErrorCode::Refused) << bad;
        EXPECT_TRUE(r.message.contains("family filter")) << r.message.toStdString();
    }
    EXPECT_EQ(fx->db().scalar("SELECT count(*) FROM \"XJ_Family\"").toInt(), 3);
}

TEST_P(StudentMethodsTest, AStageReadsTheFamiliesAndPhotosOfItsCurrentGrades)
{
    const auto family = [&](const QString &filter) { return fx->call("StudentQry", "QFamily", {txt("S1"), ref(filter), ref()}, admin); };
    QStringList got = names(family(" and b.gradecode='1' and b.inyear=0"), 2);
    got.sort();
    EXPECT_EQ(got, (QStringList{QStringLiteral("张大山"), QStringLiteral("王妈妈")})) << "the junior stage's families, no other school's";
    EXPECT_TRUE(names(family(" and b.gradecode='0' and b.inyear=0"), 2).isEmpty()) << "no primary students";
    EXPECT_EQ(family(" and b.gradecode='1701' and b.inyear=0").error, ErrorCode::Refused) << "a grade always names its intake year";

    const wire::Reply photos = fx->call("StudentQry", "QStudentImage", {txt("S1"), txt("1"), txt(""), txt("Y"), txt(""), ref(qint64(0))}, admin);
    ASSERT_TRUE(photos.ok()) << photos.message.toStdString();
    EXPECT_EQ(std::get<wire::DataPacket>(photos.result).rowCount(), 1);
    fx->db().exec("UPDATE \"XJ_Grade\" SET \"bCurGrade\" = 'N' WHERE \"InYear\" = 2026 AND \"GradeCode\" = '1701'");
    EXPECT_TRUE(names(family(" and b.gradecode='1' and b.inyear=0"), 2).isEmpty()) << "a graduated grade is no longer the stage's";
}

TEST_P(StudentMethodsTest, TheSchoolOutlineCountsEveryStudentOfAGradeAndMarksTheTeachersClasses)
{
    const auto outline = [&](const QString &token) {
        const wire::Reply r = fx->call("Session", "SchoolOutline", {}, token);
        EXPECT_TRUE(r.ok()) << r.message.toStdString();
        QMap<QString, QString> rows; // "InYear GradeCode ClassCode" -> "name students mine"
        if (const auto *p = std::get_if<wire::DataPacket>(&r.result))
            for (qsizetype i = 0; i < p->rowCount(); ++i)
                rows.insert(QStringLiteral("%1 %2 %3").arg(p->value(i, 0).toString(), p->value(i, 1).toString(), p->value(i, 2).toString()),
                            QStringLiteral("%1 %2 %3")
                                .arg(p->value(i, p->fieldIndex(u"ClassName")).toString(), p->value(i, p->fieldIndex(u"nStudents")).toString(),
                                     p->value(i, p->fieldIndex(u"bMine")).toString()));
        return rows;
    };
    fx->db().exec("UPDATE \"XJ_GradeClass\" SET \"AliasName\" = ? WHERE \"InYear\" = 2026 AND \"ClassCode\" = '002'", {QStringLiteral("七(2)实验班")});
    const QMap<QString, QString> rows = outline(admin);
    EXPECT_EQ(rows.value("2026 1701 001"), QStringLiteral("一班 2 0"));
    EXPECT_EQ(rows.value("2026 1701 002"), QStringLiteral("七(2)实验班 1 0")) << "the grade's own name of the class wins";
    EXPECT_EQ(rows.value("2026 1701 003"), QStringLiteral("003 1 0")) << "a class the school list lacks shows its code";
    EXPECT_EQ(rows.value("2025 1701 001"), QStringLiteral(" 1 0")) << "students of a class their grade does not list still count";
    EXPECT_EQ(rows.size(), 5) << "and nothing of the other school";

    const QMap<QString, QString> wang = outline(fx->signIn("wang", "pw6"));
    EXPECT_TRUE(wang.value("2026 1701 001").endsWith(" 1")) << "he heads it";
    EXPECT_TRUE(wang.value("2026 1701 002").endsWith(" 1")) << "he teaches it";
    EXPECT_TRUE(wang.value("2026 1701 003").endsWith(" 0"));
}

TEST_P(StudentMethodsTest, RecentExamsAreTheGradesTheTeacherMaySeeWithWhatTheirSheetsNeed)
{
    Database &db = fx->db();
    db.exec("UPDATE \"CJ_ExamTotal\" SET \"dDefDay\" = ?", {db.toDb(QDate(2026, 11, 2), wire::FieldType::Date)});
    db.exec("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\") "
            "VALUES ('S1', '1701', 2026, '001', ?, ?)",
            {QStringLiteral("⊥"), "002"});
    db.exec("INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\") "
            "VALUES ('S1', '1701', 2026, '001', ?, ?)",
            {QStringLiteral("⊥"), "001"});
    const auto add = [&](const char *grade, int year, const char *code, const char *page, const char *name, QDate day) {
        db.exec("INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"dDefDay\") "
                "VALUES ('S1', ?, ?, ?, ?, ?, ?)",
                {grade, year, code, QString::fromUtf8(page), QString::fromUtf8(name), db.toDb(day, wire::FieldType::Date)});
    };
    add("1801", 2025, "002", "⊥", "月考", QDate(2026, 12, 1));
    add("1701", 2026, "003", "{T}", "单元测验", QDate(2026, 12, 3)); // a teacher's own sheet is not the school's exam
    const auto exams = [&](const QString &token, qint64 limit) {
        const wire::Reply r = fx->call("Session", "RecentExams", {val(limit)}, token);
        EXPECT_TRUE(r.ok()) << r.message.toStdString();
        QStringList out;
        if (const auto *p = std::get_if<wire::DataPacket>(&r.result))
            for (qsizetype i = 0; i < p->rowCount(); ++i)
                out << QStringLiteral("%1:%2:%3")
                           .arg(p->value(i, p->fieldIndex(u"ExamName")).toString(), p->value(i, p->fieldIndex(u"Subjects")).toString(),
                                p->value(i, p->fieldIndex(u"nStudents")).toString());
        return out;
    };
    EXPECT_EQ(exams(admin, 8), (QStringList{QStringLiteral("月考::0"), QStringLiteral("期中考试:001;002:1")})) << "newest first";
    EXPECT_EQ(exams(admin, 1), QStringList{QStringLiteral("月考::0")});
    EXPECT_EQ(exams(fx->signIn("wang", "pw6"), 8), QStringList{QStringLiteral("期中考试:001;002:1")}) << "wang has classes in 七年级 only";
}

TEST_P(StudentMethodsTest, PhotosAndExamHistory)
{
    const wire::Reply photos = fx->call("StudentQry", "QStudentImage", {txt("S1"), txt("1701"), txt(""), txt("Y"), txt(""), ref(qint64(2026))}, admin);
    ASSERT_TRUE(photos.ok()) << photos.message.toStdString();
    const auto &index = std::get<wire::DataPacket>(photos.result);
    ASSERT_EQ(index.rowCount(), 1);
    EXPECT_EQ(index.fields()[0].name, "sCode");
    EXPECT_EQ(fx->call("StudentQry", "QStudPicByCode", {txt("{A}"), ref(qint64(0))}, admin).result, wire::Value(QStringLiteral("261206080000123.jpg")));
    EXPECT_EQ(fx->call("StudentQry", "QStudPicByCode", {txt("{A}"), ref(qint64(1))}, admin).result, wire::Value(QString())) << "no graduation photo";

    const wire::Reply marks = fx->call("AchieveQry", "QMyMarkList", {txt("S1"), txt("{A}"), ref()}, admin);
    const auto &list = std::get<wire::DataPacket>(marks.refs[2]);
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.value(0, list.fieldIndex(u"GradeName")).toString(), QStringLiteral("七年级"));
    EXPECT_EQ(list.value(0, list.fieldIndex(u"ExamName")).toString(), QStringLiteral("期中考试"));
    EXPECT_EQ(std::get<wire::DataPacket>(fx->call("AchieveQry", "QMyMarkList", {txt("S1"), txt("{B}"), ref()}, admin).refs[2]).rowCount(), 0);
}

TEST_P(StudentMethodsTest, UpdatesMoveStudentsKeepThoseWithExamsAndFindFamiliesByTheirOldTitle)
{
    const TableDef &t = schemaTable(u"XJ_Student");
    wire::ChangePacket p;
    p.fields = t.fieldDefs({"sCode", "SchoolCode", "ClassCode", "sName"});
    // Moving 李四 to class 002 goes through; deleting 张三, who sat an exam, refuses the packet.
    p.rows = {{RowStatus::Modified, {"{B}", "S1", "001", QStringLiteral("李四")}, {"{B}", "S1", "002", QStringLiteral("李四")}},
              {RowStatus::Deleted, {"{A}", "S1", "001", QStringLiteral("张三")}, {}}};
    wire::Reply r = fx->call("StudentUp", "UpStudent", {val(p), val(qint64(-1)), ref(qint64(0))}, admin);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(std::get<qint64>(r.refs[2]), 1);
    EXPECT_TRUE(r.message.contains("exam data"));
    EXPECT_EQ(fx->db().scalar("SELECT \"ClassCode\" FROM \"XJ_Student\" WHERE \"sCode\" = '{B}'").toString(), "001") << "nothing of the packet stored";
    p.rows.removeLast();
    r = fx->call("StudentUp", "UpStudent", {val(p), val(qint64(-1)), ref(qint64(0))}, admin);
    EXPECT_EQ(std::get<qint64>(r.refs[2]), 0);
    EXPECT_EQ(fx->db().scalar("SELECT \"ClassCode\" FROM \"XJ_Student\" WHERE \"sCode\" = '{B}'").toString(), "002");

    // A family member's title changes: the row is found by the old title.
    wire::ChangePacket f;
    f.fields = schemaTable(u"XJ_Family").fieldDefs({"scode", "sTitle", "sName", "SchoolCode"});
    f.rows = {{RowStatus::Modified, {"{A}", QStringLiteral("父亲"), QStringLiteral("张大山"), "S1"}, {"{A}", QStringLiteral("爷爷"), QStringLiteral("张大山"), "S1"}}};
    r = fx->call("StudentUp", "UpFamily", {val(f), val(qint64(-1)), ref(qint64(0))}, admin);
    EXPECT_EQ(std::get<qint64>(r.refs[2]), 0) << r.message.toStdString();
    EXPECT_EQ(fx->db().scalar("SELECT \"sTitle\" FROM \"XJ_Family\" WHERE \"scode\" = '{A}'").toString(), QStringLiteral("爷爷"));

    // An imported password arrives enciphered with the import's key and is stored as a hash.
    wire::ChangePacket imported;
    imported.fields = t.fieldDefs({"sCode", "SchoolCode", "sName", "sPass", "InYear", "GradeCode", "ClassCode"});
    imported.rows = {
        {RowStatus::Inserted,
         {},
         {"{N}", "S1", QStringLiteral("新生"), cipher::encStr("chushi123", QString::fromLatin1(cipher::kImportPasswordKey)), 2026, "1701", "001"}}};
    r = fx->call("StudentUp", "UpStudent", {val(imported), val(qint64(-1)), ref(qint64(0))}, admin);
    ASSERT_EQ(std::get<qint64>(r.refs[2]), 0) << r.message.toStdString();
    EXPECT_TRUE(verifyPassword(fx->db().scalar("SELECT \"sPass\" FROM \"XJ_Student\" WHERE \"sCode\" = '{N}'").toString(), "chushi123"));
    imported.rows[0].newValues[0] = "{M}";
    imported.rows[0].newValues[3] = cipher::encStr("x", "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(fx->call("StudentUp", "UpStudent", {val(imported), val(qint64(-1)), ref(qint64(0))}, admin).error, ErrorCode::BadArguments)
        << "a password enciphered with another key";

    // A teacher without any right to change the register.
    fx->db().exec("DELETE FROM \"XT_UserRight\"");
    EXPECT_EQ(fx->call("StudentUp", "UpStudent", {val(p), val(qint64(-1)), ref(qint64(0))}, fx->signIn("wang", "pw6")).error, ErrorCode::Forbidden);
}

TEST_P(StudentMethodsTest, ClassNamesPhotoRowsCardScoresAndPasswords)
{
    const wire::Reply names = fx->call("StudentQry", "QGradeClassNames", {txt("S1"), ref(qint64(2026)), ref(QStringLiteral("1701")), ref()}, admin);
    const auto &classes = std::get<wire::DataPacket>(names.refs.value(3));
    ASSERT_EQ(classes.rowCount(), 3);
    EXPECT_EQ(classes.value(0, 1).toString(), QStringLiteral("一班"));
    EXPECT_EQ(classes.value(2, 1).toString(), "003") << "a class without a name shows its code";

    // The photo import: the existing rows, then a new one stored; another school's row refused.
    const wire::Reply existing = fx->call("StudentQry", "QStudPicForUp", {txt("S1"), txt("1701"), txt("001"), ref(qint64(2026)), val(qint64(0))}, admin);
    const auto pics = std::get<wire::DataPacket>(existing.result);
    ASSERT_EQ(pics.rowCount(), 1);
    wire::ChangePacket up;
    up.fields = pics.fields();
    up.rows = {{RowStatus::Inserted, {}, {"{B}", "0", "261206090000456.jpg", "S1"}}};
    wire::Reply r = fx->call("StudentUp", "UpPicture", {val(up), val(qint64(-1)), ref(qint64(0))}, admin);
    EXPECT_EQ(std::get<qint64>(r.refs.value(2)), 0) << r.message.toStdString();
    up.rows = {{RowStatus::Inserted, {}, {"{X}", "0", "x.jpg", "S2"}}};
    r = fx->call("StudentUp", "UpPicture", {val(up), val(qint64(-1)), ref(qint64(0))}, admin);
    EXPECT_EQ(r.error, ErrorCode::Forbidden) << "another school's student";
    EXPECT_EQ(fx->db().scalar("SELECT count(*) FROM \"XJ_StudentPic\"").toInt(), 2);

    // Card 2: the totals of the exams each student sat, oldest first.
    fx->db().exec("UPDATE \"CJ_ExamStudent\" SET \"FullTotal\" = 512.5 WHERE \"StudentCode\" = '{A}'");
    const auto card = std::get<wire::DataPacket>(fx->call("StudentQry", "QGetCard2", {txt("S1"), ref(QStringLiteral("1701")), ref(qint64(2026))}, admin).result);
    EXPECT_EQ(card.fieldCount(), 25) << "sCode and c1 ... c24";
    ASSERT_EQ(card.rowCount(), 1);
    EXPECT_EQ(card.value(0, card.fieldIndex(u"c1")).toDouble(), 512.5);
    EXPECT_TRUE(wire::isNull(card.value(0, card.fieldIndex(u"c2"))));

    // Passwords: a student's is stored as a hash; a teacher can sign in with the one set for him.
    r = fx->call("StudentUp", "SetPass", {txt("S1"), txt("{B}"), txt("xuesheng1"), ref(qint64(2))}, admin);
    EXPECT_EQ(r.result, wire::Value(qint64(1)));
    const QString hash = fx->db().scalar("SELECT \"sPass\" FROM \"XJ_Student\" WHERE \"sCode\" = '{B}'").toString();
    EXPECT_TRUE(verifyPassword(hash, "xuesheng1"));
    EXPECT_FALSE(hash.contains("xuesheng1"));
    EXPECT_EQ(fx->call("StudentUp", "SetPass", {txt("S1"), txt("{X}"), txt("x"), ref(qint64(2))}, admin).error, ErrorCode::Forbidden)
        << "another school's student is not found";
    r = fx->call("StudentUp", "SetPass", {txt("S1"), val(QString(kTeacherCode)), txt("newpw"), ref(qint64(1))}, admin);
    EXPECT_EQ(r.result, wire::Value(qint64(1)));
    const QString wang = fx->signIn("wang", "newpw");
    EXPECT_FALSE(wang.isEmpty());
    EXPECT_EQ(fx->call("StudentUp", "SetPass", {txt("S1"), txt("{B}"), txt("x"), ref(qint64(2))}, wang).error, ErrorCode::Forbidden)
        << "setting passwords needs the SetPass right";
}

// 2, 10 and 50 teachers press 保存 on the register at the same moment, each on the image of the
// grade he loaded before anyone saved. Each changing a student of his own: every change is kept,
// all of its fields. All changing the same student's name from the same image, each with a change
// of his own student first in the same save: one wins, every other is told of the conflict, and
// nothing of a refused save is stored, not even the row that went through before the conflict.
TEST_P(StudentMethodsTest, TwoTenAndFiftyWritersOfTheRegisterLoseNothingAndEveryConflictIsReported)
{
    constexpr int kMostWriters = 50;
    const auto own = [](int i) { return QStringLiteral("{W%1}").arg(i, 2, 10, QLatin1Char('0')); };
    {
        Transaction tx(fx->db());
        for (int i = 0; i < kMostWriters; ++i)
            fx->db().exec("INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", "
                          "\"sNO\", \"iState\") VALUES (?, 'S1', '1701', 2026, '002', ?, ?, ?, '00')",
                          {own(i), 10 + i, QStringLiteral("写者%1").arg(i), QStringLiteral("NO-%1").arg(i)});
        tx.commit();
    }
    QStringList tokens;
    for (int i = 0; i < kMostWriters; ++i)
        tokens << fx->signIn("admin", "lumeko");

    // The grade's register as every writer's page loads it: all its columns, one row per student.
    const auto load = [&] {
        const wire::Reply r =
            fx->call("StudentQry", "QStudByGrade", {txt("1701"), ref(qint64(2026)), txt("S1"), ref(QStringLiteral("Y")), txt(""), ref()}, admin);
        EXPECT_TRUE(r.ok()) << r.message.toStdString();
        const wire::Value data = r.refs.value(5);
        return std::get<wire::DataPacket>(data);
    };
    const auto rowOf = [](const wire::DataPacket &image, const QString &student) {
        for (qsizetype r = 0; r < image.rowCount(); ++r)
            if (image.value(r, image.fieldIndex(u"sCode")).toString() == student) return r;
        ADD_FAILURE() << student.toStdString() << " is not in the register";
        return qsizetype(0);
    };
    // A student's row changed as given ("sName" → 张三), against the image.
    const auto changed = [&](const wire::DataPacket &image, const QString &student, QList<QPair<const char *, QVariant>> values) {
        const QVariantList before = image.row(rowOf(image, student));
        QVariantList after = before;
        for (const auto &[field, v] : values)
            after[image.fieldIndex(QString::fromLatin1(field))] = v;
        return wire::RowChange{RowStatus::Modified, before, after};
    };
    const auto race = [&](const QList<wire::ChangePacket> &saves) {
        QList<wire::Reply> replies(saves.size());
        std::barrier start(saves.size());
        std::vector<std::thread> writers;
        for (qsizetype i = 0; i < saves.size(); ++i)
            writers.emplace_back([&, i] {
                start.arrive_and_wait();
                replies[i] = fx->call("StudentUp", "UpStudent", {val(saves[i]), val(qint64(-1)), ref(qint64(0))}, tokens[i]);
            });
        for (std::thread &t : writers)
            t.join();
        return replies;
    };
    const auto stored = [&](const QString &student, const char *field) {
        return fx->db().scalar(QStringLiteral("SELECT \"%1\" FROM \"XJ_Student\" WHERE \"sCode\" = ?").arg(QLatin1String(field)), {student});
    };

    for (const int n : {2, 10, 50}) {
        // Each writer moves his own student to another seat, renames him and gives him a new number.
        const wire::DataPacket image = load();
        QList<wire::ChangePacket> different;
        for (int i = 0; i < n; ++i)
            different.append(
                {image.fields(),
                 {changed(
                     image, own(i),
                     {{"sName", QStringLiteral("写者%1-%2").arg(n).arg(i)}, {"iClassNo", n * 100 + i}, {"sNO", QStringLiteral("N%1-%2").arg(n).arg(i)}})}});
        QList<wire::Reply> replies = race(different);
        int acknowledged = 0, lost = 0;
        for (int i = 0; i < n; ++i) {
            ASSERT_TRUE(replies[i].ok()) << replies[i].message.toStdString();
            acknowledged += replies[i].refs.value(2) == wire::Value(qint64(0)) ? 1 : 0;
            EXPECT_EQ(replies[i].refs.value(2), wire::Value(qint64(0))) << "writer " << i << ": " << replies[i].message.toStdString();
            const bool kept = stored(own(i), "sName").toString() == QStringLiteral("写者%1-%2").arg(n).arg(i) &&
                              stored(own(i), "iClassNo").toInt() == n * 100 + i && stored(own(i), "sNO").toString() == QStringLiteral("N%1-%2").arg(n).arg(i);
            lost += kept ? 0 : 1;
            EXPECT_TRUE(kept) << "writer " << i << "'s change was lost";
        }
        EXPECT_EQ(stored("{A}", "sName").toString(), QStringLiteral("张三")) << "a student nobody saved is as he was";

        // Every writer renames 李四 from the same image, after a change of his own student.
        const wire::DataPacket again = load();
        QList<wire::ChangePacket> same;
        for (int i = 0; i < n; ++i)
            same.append({again.fields(),
                         {changed(again, own(i), {{"sNO", QStringLiteral("S%1-%2").arg(n).arg(i)}}),
                          changed(again, "{B}", {{"sName", QStringLiteral("李四%1-%2").arg(n).arg(i)}, {"iClassNo", n}})}});
        replies = race(same);
        int winner = -1, winners = 0, conflicts = 0, failed = 0, halfWritten = 0;
        for (int i = 0; i < n; ++i) {
            if (!replies[i].ok()) {
                ++failed;
                ADD_FAILURE() << "writer " << i << ": " << replies[i].message.toStdString();
            } else if (replies[i].refs.value(2) == wire::Value(qint64(0))) {
                ++winners;
                winner = i;
            } else {
                ++conflicts;
                EXPECT_EQ(replies[i].refs.value(2), wire::Value(qint64(1))) << "one refused row: 李四's";
                EXPECT_TRUE(replies[i].message.contains("XJ_Student row 2: the row was changed or deleted by someone else since it was read"))
                    << replies[i].message.toStdString();
            }
        }
        EXPECT_EQ(winners, 1);
        EXPECT_EQ(conflicts, n - 1) << "every other writer is told";
        EXPECT_EQ(failed, 0);
        ASSERT_GE(winner, 0);
        EXPECT_EQ(stored("{B}", "sName").toString(), QStringLiteral("李四%1-%2").arg(n).arg(winner));
        EXPECT_EQ(stored("{B}", "iClassNo").toInt(), n);
        for (int i = 0; i < n; ++i) {
            const QString expected = i == winner ? QStringLiteral("S%1-%2").arg(n).arg(i) : QStringLiteral("N%1-%2").arg(n).arg(i);
            if (stored(own(i), "sNO").toString() == expected) continue;
            ++halfWritten;
            ADD_FAILURE() << "writer " << i << ": his own student's number is " << stored(own(i), "sNO").toString().toStdString() << ", not "
                          << expected.toStdString();
        }
        std::cout << "[" << backendName(GetParam()).toStdString() << "] register writers=" << n << " different students: saves=" << n
                  << " acknowledged=" << acknowledged << " lost=" << lost << "; same student's name: saves=" << n << " winners=" << winners
                  << " conflicts=" << conflicts << " failed=" << failed << " half_written=" << halfWritten << "\n";
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, StudentMethodsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
