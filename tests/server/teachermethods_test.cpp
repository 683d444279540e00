// The teachers on both back ends: their records without passwords, the names they sign in with
// unique over every school of the database, what UpTeacher stores and refuses, their departments,
// and the roles the course table's duties give them: granted and revoked exactly, and taking effect
// on the score sheet when the teacher signs in.

#include "organisationfixture.h"

#include "toolkit/cipher/cipher.h"

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::ErrorCode;

namespace {

const QString kNoPage = QStringLiteral("⊥");

QString enciphered(const char *password)
{
    return cipher::encStr(QString::fromLatin1(password), QString::fromLatin1(cipher::kImportPasswordKey));
}

class TeacherMethodsTest : public OrganisationTest {
protected:
    wire::DataPacket teachers(const char *dept = "") { return query("StudentQry", "QTeacherByDept", {txt("S1"), txt(dept), ref()}, 2, admin); }
    wire::Value loginUsed(const char *value, qint64 kind, const char *edited = "", const QString &token = {})
    {
        return call("StudentQry", "CheckLoginUsed", {txt(value), val(kind), txt(edited)}, token.isEmpty() ? admin : token).result;
    }
    QString storedPass(const char *teacher) { return fx->db().scalar("SELECT \"sPass\" FROM \"JC_Teacher\" WHERE \"sCode\" = ?", {teacher}).toString(); }
    QString roles(const char *teacher) { return fx->db().scalar("SELECT \"sRole\" FROM \"JC_Teacher\" WHERE \"sCode\" = ?", {teacher}).toString(); }
    wire::Reply userRoles(const char *teacher, const char *role, qint64 grant, const QString &token = {})
    {
        return call("SysUp", "ARUserRoles", {txt("S1"), txt(teacher), txt(role), val(grant)}, token.isEmpty() ? admin : token);
    }
    wire::DataPacket courseTable() { return query("StudentQry", "QCourseTable", {txt("S1"), ref(qint64(2026)), txt("1701"), ref()}, 3, admin); }
    Saved addLine(const char *cls, const char *subject, const char *teacher)
    {
        return up("UpCourseTable",
                  Changes(courseTable())
                      .insert({{"SchoolCode", "S1"},
                               {"InYear", qint64(2026)},
                               {"GradeCode", "1701"},
                               {"ClassCode", cls},
                               {"SubjectCode", subject},
                               {"TeacherCode", teacher}}),
                  admin);
    }
    Saved removeLine(const char *cls, const char *subject)
    {
        const wire::DataPacket lines = courseTable();
        for (qsizetype r = 0; r < lines.rowCount(); ++r)
            if (lines.value(r, lines.fieldIndex(u"ClassCode")).toString() == QLatin1String(cls) &&
                lines.value(r, lines.fieldIndex(u"SubjectCode")).toString() == QLatin1String(subject))
                return up("UpCourseTable", Changes(lines).remove(lines, r), admin);
        ADD_FAILURE() << "no line " << cls << "/" << subject;
        return {};
    }
};

TEST_P(TeacherMethodsTest, TheTeachersPageReadsTheSchoolsTeachersWithoutTheirPasswords)
{
    wire::DataPacket t = teachers();
    EXPECT_EQ(t.rowCount(), 7) << "S1's seven teachers, not the other school's";
    EXPECT_LT(rowWhere(t, "sCode", QLatin1String(kOtherSchoolCode)), 0);
    const int pass = t.fieldIndex(u"sPass");
    ASSERT_GE(pass, 0);
    EXPECT_EQ(t.value(rowWhere(t, "sLoginName", "wang"), pass).toString(), "******");
    EXPECT_EQ(t.value(rowWhere(t, "sLoginName", "nopass"), pass).toString(), "");
    for (qsizetype r = 0; r < t.rowCount(); ++r)
        EXPECT_FALSE(t.value(r, pass).toString().startsWith("$argon2")) << "no hash leaves the server";

    // One department's teachers.
    fx->db().exec("INSERT INTO \"XJ_Dept\" (\"SchoolCode\", \"sCode\", \"sName\") VALUES ('S1', '001', ?)", {QStringLiteral("教务处")});
    fx->db().exec("INSERT INTO \"JC_DeptTeacher\" (\"SchoolCode\", \"TeacherCode\", \"DepartCode\") VALUES ('S1', ?, '001')", {kTeacherCode});
    EXPECT_EQ(column(teachers("001"), "sName"), QStringList{QStringLiteral("王老师")});
    EXPECT_EQ(teachers("002").rowCount(), 0);

    // The records are the teachers' page's (4010); the drop-downs' list is anyone's.
    EXPECT_EQ(call("StudentQry", "QTeacherByDept", {txt("S1"), txt(""), ref()}, wang).error, ErrorCode::Forbidden);
    EXPECT_EQ(call("StudentQry", "QTeacherByDept", {txt("S2"), txt(""), ref()}, admin).error, ErrorCode::Forbidden);
    const wire::DataPacket list = query("StudentQry", "QTeacherByParam", {txt("SchoolCode"), txt("S1"), ref()}, 2, wang);
    EXPECT_EQ(list.rowCount(), 7);
    EXPECT_EQ(list.fields().size(), 4);
    EXPECT_LT(list.fieldIndex(u"sPass"), 0);
    EXPECT_EQ(call("StudentQry", "QTeacherByParam", {txt("sName"), txt(QStringLiteral("王老师").toUtf8().constData()), ref()}, wang).error, ErrorCode::Refused);
    EXPECT_EQ(call("StudentQry", "QTeacherByParam", {txt("SchoolCode"), txt("S2"), ref()}, wang).error, ErrorCode::Forbidden);
}

TEST_P(TeacherMethodsTest, ALoginNameIsCheckedOverEverySchoolExceptTheTeacherBeingEdited)
{
    EXPECT_EQ(loginUsed("wang", 0), wire::Value(QStringLiteral("王老师")));
    EXPECT_EQ(loginUsed("WANG", 0), wire::Value(QStringLiteral("王老师"))) << "sign-in takes login names without regard to case";
    EXPECT_EQ(loginUsed("wang", 0, kTeacherCode), wire::Value(QString())) << "his own name, while he is edited";
    EXPECT_EQ(loginUsed("li", 0), wire::Value(QStringLiteral("其他学校的用户"))) << "another school's user signs in with it";
    EXPECT_EQ(loginUsed("li", 0, kOtherSchoolCode), wire::Value(QStringLiteral("其他学校的用户"))) << "only a teacher of the school is left out";
    EXPECT_EQ(loginUsed("13800000001", 0), wire::Value(QStringLiteral("王老师"))) << "a login name that is someone's mobile would sign him in";
    EXPECT_EQ(loginUsed("13800000001", 1), wire::Value(QStringLiteral("王老师")));
    EXPECT_EQ(loginUsed("wang@school.CN", 2), wire::Value(QStringLiteral("王老师")));
    EXPECT_EQ(loginUsed("zhang", 0), wire::Value(QString()));
    EXPECT_EQ(loginUsed("", 1), wire::Value(QString()));
    EXPECT_EQ(call("StudentQry", "CheckLoginUsed", {txt("wang"), val(qint64(3))}, admin).error, ErrorCode::BadArguments);
    EXPECT_EQ(call("StudentQry", "CheckLoginUsed", {txt("wang"), val(qint64(0))}, admin).result, wire::Value(QStringLiteral("王老师")))
        << "the edited teacher may be left off";
    EXPECT_EQ(call("StudentQry", "CheckLoginUsed", {txt("li"), val(qint64(0))}, wang).error, ErrorCode::Forbidden) << "4010/Manager or Import";
}

TEST_P(TeacherMethodsTest, UpTeacherStoresPasswordsAsHashesAndRefusesWhatIsNotItsToChange)
{
    wire::DataPacket t = teachers();
    const Values qian = {{"sCode", "{00000000-0000-0000-0000-0000000000E1}"},
                         {"SchoolCode", "S1"},
                         {"sName", QStringLiteral("钱老师")},
                         {"sLoginName", "qian"},
                         {"sPass", enciphered("qianpw")},
                         {"iState", qint64(0)},
                         {"sMail", ""},
                         {"sMobile", ""}};
    const Values zheng = {{"sCode", "{00000000-0000-0000-0000-0000000000E2}"},
                          {"SchoolCode", "S1"},
                          {"sName", QStringLiteral("郑老师")},
                          {"iState", qint64(0)},
                          {"sMail", ""},
                          {"sMobile", ""},
                          {"sLoginName", ""}};
    Saved s = up("UpTeacher", Changes(t).insert(qian).insert(zheng), admin);
    ASSERT_EQ(s.errors, 0) << s.message.toStdString() << " (empty e-mails and mobiles are none, not one shared value)";
    EXPECT_TRUE(storedPass("{00000000-0000-0000-0000-0000000000E1}").startsWith("$argon2id"));
    EXPECT_FALSE(fx->signIn("qian", "qianpw").isEmpty());

    // Names to sign in with are unique over every school and every kind; a packet with one taken
    // name stores nothing.
    t = teachers();
    const auto withLogin = [](const char *code, const char *login) {
        return Values{{"sCode", code}, {"SchoolCode", "S1"}, {"sName", QStringLiteral("新老师")}, {"sLoginName", login}, {"iState", qint64(0)}};
    };
    for (const char *taken : {"LI", "13800000001", "wang@school.cn"}) {
        s = up(
            "UpTeacher",
            Changes(t).insert(withLogin("{00000000-0000-0000-0000-0000000000E3}", "feng")).insert(withLogin("{00000000-0000-0000-0000-0000000000E4}", taken)),
            admin);
        EXPECT_EQ(s.errors, 1) << taken;
        EXPECT_TRUE(s.message.contains("already used to sign in")) << s.message.toStdString();
    }
    s = up("UpTeacher",
           Changes(t).insert(withLogin("{00000000-0000-0000-0000-0000000000E3}", "feng")).insert(withLogin("{00000000-0000-0000-0000-0000000000E4}", "Feng")),
           admin);
    EXPECT_GE(s.errors, 1) << "two new teachers with one name";
    EXPECT_EQ(teachers().rowCount(), 9);

    // Changing a name leaves the password alone; what the page showed stands for the stored hash.
    const qsizetype w = rowWhere(t, "sLoginName", "wang");
    const QString hash = storedPass(kTeacherCode);
    ASSERT_EQ(up("UpTeacher", Changes(t).modify(t, w, {{"sName", QStringLiteral("王大明")}}), admin).errors, 0);
    EXPECT_EQ(storedPass(kTeacherCode), hash);

    // Roles, the user type and the view-all flags are not the teachers' page's; nor is a password in clear.
    EXPECT_EQ(up("UpTeacher", Changes(t).modify(t, w, {{"sRole", "1,6"}}), admin).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpTeacher", Changes(t).modify(t, w, {{"bViewAllGrade", true}}), admin).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpTeacher", Changes(t).insert({{"sCode", "{E5}"}, {"sName", "x"}, {"iUserType", qint64(1)}}), admin).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpTeacher", Changes(t).insert({{"sCode", "{E5}"}, {"sName", "x"}, {"sRole", "1"}}), admin).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpTeacher", Changes(t).modify(t, w, {{"sPass", "secret"}}), admin).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpTeacher", Changes(t).modify(t, w, {{"sPass", ""}}), admin).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpTeacher", Changes(t).modify(t, w, {{"sCode", "{E6}"}}), admin).error, ErrorCode::Forbidden);
    EXPECT_EQ(roles(kTeacherCode), "6");

    // A new imported password replaces the hash and signs the teacher out everywhere else.
    const QString wangToken = fx->signIn("wang", "pw6");
    t = teachers();
    ASSERT_EQ(up("UpTeacher", Changes(t).modify(t, rowWhere(t, "sLoginName", "wang"), {{"sPass", enciphered("neu6")}}), admin).errors, 0);
    EXPECT_EQ(call("Session", "Context", {}, wangToken).error, ErrorCode::NotSignedIn);
    EXPECT_FALSE(fx->signIn("wang", "neu6").isEmpty());
    EXPECT_TRUE(call("Session", "Context", {}, admin).ok()) << "the writer's own session stays";

    // Deleting: not oneself, not a teacher who still has duties, never another school's row.
    t = teachers();
    fx->db().exec(
        "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"TeacherCode\") VALUES ('S1', 2026, '1701', '001', ?)",
        {kSunCode});
    s = up("UpTeacher", Changes(t).remove(t, rowWhere(t, "sCode", QLatin1String(kAdminCode))), admin);
    EXPECT_EQ(s.errors, 1);
    s = up("UpTeacher", Changes(t).remove(t, rowWhere(t, "sCode", QLatin1String(kSunCode))), admin);
    EXPECT_EQ(s.errors, 1);
    EXPECT_TRUE(s.message.contains("change the course table first")) << s.message.toStdString();
    const qsizetype gone = rowWhere(t, "sLoginName", "gone");
    ASSERT_EQ(up("UpTeacher", Changes(t).remove(t, gone), admin).errors, 0);
    EXPECT_EQ(teachers().rowCount(), 8);
    Changes foreign(t);
    foreign.modify(t, w, {{"sName", "x"}});
    wire::ChangePacket moved = foreign.packet();
    const int school = moved.fieldIndex(u"SchoolCode"), code = moved.fieldIndex(u"sCode");
    moved.rows[0].oldValues[school] = moved.rows[0].newValues[school] = QStringLiteral("S2");
    moved.rows[0].oldValues[code] = moved.rows[0].newValues[code] = QLatin1String(kOtherSchoolCode);
    const wire::Reply r = call("StudentUp", "UpTeacher", {val(moved), val(qint64(-1)), ref(qint64(0))}, admin);
    EXPECT_EQ(std::get<qint64>(r.refs.value(2)), 1) << "the other school's teacher is not changed";
    EXPECT_EQ(fx->db().scalar("SELECT \"sName\" FROM \"JC_Teacher\" WHERE \"sCode\" = ?", {kOtherSchoolCode}).toString(), QStringLiteral("李老师"));
}

TEST_P(TeacherMethodsTest, ImportAndTheCourseTableWriteTeachersWithinTheirRights)
{
    wire::DataPacket t = teachers();
    // The course table adds the names it does not know, and nothing else.
    const Values byName = {
        {"sCode", "{00000000-0000-0000-0000-0000000000E7}"}, {"SchoolCode", "S1"}, {"sName", QStringLiteral("吴老师")}, {"iState", qint64(0)}};
    EXPECT_EQ(up("UpTeacher", Changes(t).insert(byName), zhou).errors, 0);
    EXPECT_EQ(up("UpTeacher", Changes(t).insert({{"sCode", "{E8}"}, {"sName", "x"}, {"sLoginName", "wu2"}}), zhou).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpTeacher", Changes(t).modify(t, 0, {{"sName", "x"}}), zhou).error, ErrorCode::Forbidden);
    // Import adds and changes, never deletes; a subject teacher does neither.
    fx->db().exec("INSERT INTO \"XT_UserRight\" (\"TeacherCode\", \"sFunId\") VALUES (?, '401002')", {kSunCode});
    const QString sun = fx->signIn("sun", "pws");
    t = teachers();
    const qsizetype wu = rowWhere(t, "sName", QStringLiteral("吴老师"));
    EXPECT_EQ(up("UpTeacher", Changes(t).modify(t, wu, {{"sMobile", "13900000009"}}), sun).errors, 0);
    EXPECT_EQ(up("UpTeacher", Changes(t).remove(t, wu), sun).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpTeacher", Changes(t).modify(t, wu, {{"sName", "x"}}), wang).error, ErrorCode::Forbidden);
    EXPECT_EQ(call("StudentQry", "CheckLoginUsed", {txt("13900000009"), val(qint64(1)), txt("")}, sun).result, wire::Value(QStringLiteral("吴老师")));
}

TEST_P(TeacherMethodsTest, ATeachersDepartmentsAreTheSchools)
{
    fx->db().exec("INSERT INTO \"XJ_Dept\" (\"SchoolCode\", \"sCode\", \"sName\") VALUES ('S1', '001', ?)", {QStringLiteral("教务处")});
    fx->db().exec("INSERT INTO \"XJ_Dept\" (\"SchoolCode\", \"sCode\", \"sName\") VALUES ('S2', '002', ?)", {QStringLiteral("外校处")});
    wire::DataPacket d = query("StudentQry", "QDeptByTeacher", {txt("S1"), txt(kTeacherCode), ref()}, 2, admin);
    EXPECT_EQ(d.rowCount(), 0);
    const auto row = [](const char *dept, const char *teacher) {
        return Values{{"DepartCode", dept}, {"sDuty", QStringLiteral("主任")}, {"SchoolCode", "S1"}, {"TeacherCode", teacher}};
    };
    EXPECT_EQ(up("UpDeptTeacher", Changes(d).insert(row("001", kTeacherCode)).insert(row("002", kTeacherCode)), admin).errors, 1)
        << "the other school's department";
    EXPECT_EQ(up("UpDeptTeacher", Changes(d).insert(row("001", kTeacherCode)).insert(row("001", kOtherSchoolCode)), admin).errors, 1)
        << "the other school's teacher";
    ASSERT_EQ(up("UpDeptTeacher", Changes(d).insert(row("001", kTeacherCode)), admin).errors, 0);
    d = query("StudentQry", "QDeptByTeacher", {txt("S1"), txt(kTeacherCode), ref()}, 2, admin);
    EXPECT_EQ(column(d, "sDuty"), QStringList{QStringLiteral("主任")});
    EXPECT_EQ(up("UpDeptTeacher", Changes(d).remove(d, 0), wang).error, ErrorCode::Forbidden);
    EXPECT_EQ(up("UpDeptTeacher", Changes(d).remove(d, 0), admin).errors, 0);
    EXPECT_EQ(call("StudentQry", "QDeptByTeacher", {txt("S2"), txt(kTeacherCode), ref()}, admin).error, ErrorCode::Forbidden);
}

TEST_P(TeacherMethodsTest, RolesAreGrantedForDutiesAndRevokedOnlyWhenNoDutyIsLeft)
{
    seedSubjectsAndStudents();
    // No duty, no role.
    wire::Reply r = userRoles(kSunCode, "6", 1);
    EXPECT_EQ(r.error, ErrorCode::Refused);
    EXPECT_TRUE(r.message.contains("holds no duty of role 6")) << r.message.toStdString();
    EXPECT_EQ(roles(kSunCode), "");

    ASSERT_EQ(addLine("001", "002", kSunCode).errors, 0);
    EXPECT_EQ(userRoles(kSunCode, "6", 1).result, wire::Value(qint64(1)));
    EXPECT_EQ(roles(kSunCode), "6");
    EXPECT_EQ(userRoles(kSunCode, "6", 1).result, wire::Value(qint64(0))) << "held already";

    // Head teacher of 002: role 4 beside 6, in order.
    const wire::DataPacket classes = query("StudentQry", "QGradeClasses", {txt("S1"), ref(qint64(2026)), txt("1701"), ref()}, 3, admin);
    ASSERT_EQ(up("UpGradeClass", Changes(classes).modify(classes, rowWhere(classes, "ClassCode", "002"), {{"TeacherCode", kSunCode}}), admin).errors, 0);
    EXPECT_EQ(userRoles(kSunCode, "4", 1).result, wire::Value(qint64(1)));
    EXPECT_EQ(roles(kSunCode), "4,6");

    // He also teaches 英语 in 002: taking 数学 away leaves role 6 with him.
    ASSERT_EQ(addLine("002", "003", kSunCode).errors, 0);
    ASSERT_EQ(removeLine("001", "002").errors, 0);
    r = userRoles(kSunCode, "6", 0);
    EXPECT_EQ(r.result, wire::Value(qint64(0)));
    EXPECT_TRUE(r.message.contains("the role stays")) << r.message.toStdString();
    EXPECT_EQ(roles(kSunCode), "4,6");
    ASSERT_EQ(removeLine("002", "003").errors, 0);
    EXPECT_EQ(userRoles(kSunCode, "6", 0).result, wire::Value(qint64(1)));
    EXPECT_EQ(roles(kSunCode), "4");
    EXPECT_EQ(userRoles(kSunCode, "6", 0).result, wire::Value(qint64(0))) << "not held";

    // Leaders: 2 of a school subject, 5 of a grade's subject, 3 of a grade.
    fx->db().exec("UPDATE \"XJ_Subject\" SET \"SubTeacherCode\" = ? WHERE \"SubjectCode\" = '001'", {kSunCode});
    fx->db().exec("UPDATE \"XJ_GradeSubject\" SET \"TeacherCode\" = ? WHERE \"SubjectCode\" = '003'", {kSunCode});
    EXPECT_EQ(userRoles(kSunCode, "2", 1).result, wire::Value(qint64(1)));
    EXPECT_EQ(userRoles(kSunCode, "5", 1).result, wire::Value(qint64(1)));
    EXPECT_EQ(userRoles(kSunCode, "3", 1).error, ErrorCode::Refused);
    EXPECT_EQ(roles(kSunCode), "2,4,5");

    // Role 1 is the administrator's and never touched: a grant and revoke of 6 leave it.
    ASSERT_EQ(addLine("001", "001", kAdminCode).errors, 0);
    EXPECT_EQ(userRoles(kAdminCode, "6", 1).result, wire::Value(qint64(1)));
    EXPECT_EQ(roles(kAdminCode), "1,6");
    ASSERT_EQ(removeLine("001", "001").errors, 0);
    EXPECT_EQ(userRoles(kAdminCode, "6", 0).result, wire::Value(qint64(1)));
    EXPECT_EQ(roles(kAdminCode), "1");
    for (const char *role : {"1", "7", "0", "6,3", "", "06"})
        EXPECT_EQ(userRoles(kAdminCode, role, 0).error, ErrorCode::BadArguments) << role;
    EXPECT_EQ(userRoles(kSunCode, "6", 2).error, ErrorCode::BadArguments);
    EXPECT_EQ(roles(kAdminCode), "1");

    // Another school's teacher, another school, no right: refused. The grade leader syncs (4008/Manager).
    EXPECT_EQ(userRoles(kOtherSchoolCode, "6", 0).error, ErrorCode::Forbidden);
    EXPECT_EQ(call("SysUp", "ARUserRoles", {txt("S2"), txt(kOtherSchoolCode), txt("6"), val(qint64(0))}, admin).error, ErrorCode::Forbidden);
    EXPECT_EQ(userRoles(kSunCode, "2", 0, wang).error, ErrorCode::Forbidden);
    EXPECT_EQ(userRoles(kSunCode, "2", 1, liu).result, wire::Value(qint64(0)));
}

// The page-level test comes with the course-table page; this one makes the calls by hand.
TEST_P(TeacherMethodsTest, ARoleFromTheCourseTableLetsTheTeacherEditExactlyHisSubjectAndClass)
{
    seedSubjectsAndStudents();
    Database &db = fx->db();
    // An open exam of 1701 that only subject teachers may edit (bit 5 of ModifyRight).
    const qint64 exam = db.insertReturningId(
        "INSERT INTO \"CJ_ExamTotal\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"ExamName\", \"ModifyRight\", \"dDefDay\", "
        "\"dLimitDay\", \"Freeze\") VALUES ('S1', '1701', 2026, '001', ?, ?, 32, ?, ?, ?)",
        {kNoPage, QStringLiteral("期末考试"), db.toDb(QDate(2026, 11, 20), wire::FieldType::Date), db.toDb(QDate(2026, 12, 31), wire::FieldType::Date),
         db.toDb(false, wire::FieldType::Boolean)},
        "Id");
    for (const char *subject : {"001", "002"})
        db.exec(
            "INSERT INTO \"CJ_ExamSubject\" (\"SchoolCode\", \"GradeCode\", \"InYear\", \"ExamCode\", \"PageName\", \"SubjectCode\", \"Per\", \"FullMark\") "
            "VALUES ('S1', '1701', 2026, '001', ?, ?, 1, 120)",
            {kNoPage, subject});
    for (const auto &[student, cls] : {std::pair{"{A}", "001"}, {"{B}", "001"}, {"{C}", "002"}})
        db.exec("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, ?, ?)", {exam, student, cls});

    struct Sheet {
        wire::DataPacket data, upload;
    };
    const auto sheet = [&](const QString &token) {
        const wire::Reply r =
            call("AchieveQry", "QMark",
                 {txt("S1"), txt("1701"), txt("001"), ref(kNoPage), ref(QString()), ref(QStringLiteral("001;002")), ref(qint64(2026)), ref(), ref()}, token);
        EXPECT_TRUE(r.ok()) << r.message.toStdString();
        return r.ok() ? Sheet{std::get<wire::DataPacket>(r.refs.value(7)), std::get<wire::DataPacket>(r.refs.value(8))} : Sheet{};
    };
    // The upload image's row of a student with one score set.
    const auto score = [](const Sheet &s, const char *student, const char *subject, double value) {
        const qsizetype row = rowWhere(s.upload, "StudentCode", QLatin1String(student));
        EXPECT_GE(row, 0) << student;
        wire::ChangePacket p{s.upload.fields(), {}};
        QVariantList now = s.upload.row(row);
        now[s.upload.fieldIndex(QStringLiteral("C_") + QLatin1String(subject))] = value;
        p.rows.append({wire::RowStatus::Modified, s.upload.row(row), now});
        return p;
    };
    const auto upMark = [&](const wire::ChangePacket &p, const QString &token) {
        const wire::Reply r = call("AchieveUp", "UpMark", {val(p), val(qint64(-1)), ref(qint64(0))}, token);
        return r.ok() ? std::get<qint64>(r.refs.value(2)) : qint64(-1);
    };
    const auto stored = [&](const char *student, const char *subject) {
        return db.scalar("SELECT \"score\" FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = ?", {exam, student, subject});
    };

    // 孙老师 signs in without a role: no score page for him.
    QString sun = fx->signIn("sun", "pws");
    EXPECT_EQ(call("AchieveUp", "UpMark", {val(score(sheet(admin), "{A}", "002", 90)), val(qint64(-1)), ref(qint64(0))}, sun).error, ErrorCode::Forbidden);

    // The course table gives him 数学 in class 001 and the synchronisation role 6.
    ASSERT_EQ(addLine("001", "002", kSunCode).errors, 0);
    ASSERT_EQ(userRoles(kSunCode, "6", 1).result, wire::Value(qint64(1)));
    sun = fx->signIn("sun", "pws");
    const wire::DataPacket context = std::get<wire::DataPacket>(call("Session", "Context", {}, sun).result);
    EXPECT_EQ(context.value(0, context.fieldIndex(u"Roles")).toString(), "6");
    Sheet mine = sheet(sun);
    EXPECT_EQ(column(mine.data, "sCode"), (QStringList{"{A}", "{B}"})) << "the classes he teaches";
    EXPECT_EQ(upMark(score(mine, "{A}", "002", 95), sun), 0);
    EXPECT_EQ(stored("{A}", "002"), 95.0);
    EXPECT_EQ(upMark(score(mine, "{A}", "001", 80), sun), 1) << "语文 is not his";
    EXPECT_TRUE(stored("{A}", "001").isNull());
    EXPECT_EQ(upMark(score(sheet(admin), "{C}", "002", 70), sun), 1) << "class 002 is not his";
    EXPECT_TRUE(stored("{C}", "002").isNull());

    // The line goes: even with the role still held, the same save is refused; after the revoke he
    // may not use the score page at all.
    mine = sheet(sun);
    const wire::ChangePacket again = score(mine, "{A}", "002", 96);
    ASSERT_EQ(removeLine("001", "002").errors, 0);
    EXPECT_EQ(upMark(again, sun), 1);
    EXPECT_EQ(userRoles(kSunCode, "6", 0).result, wire::Value(qint64(1)));
    EXPECT_EQ(roles(kSunCode), "");
    EXPECT_EQ(upMark(again, sun), -1);
    EXPECT_EQ(call("AchieveUp", "UpMark", {val(again), val(qint64(-1)), ref(qint64(0))}, sun).error, ErrorCode::Forbidden);
    EXPECT_EQ(stored("{A}", "002"), 95.0);
}

INSTANTIATE_TEST_SUITE_P(Backends, TeacherMethodsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
