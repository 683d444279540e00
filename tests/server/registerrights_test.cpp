// Hand-made calls against the register's server methods, each trying what the register's page
// would never offer: they get no more than the page allows, and nothing of theirs is stored.

#include "fixtureschool.h"
#include "server/core/auth.h"
#include "server/storage/schema.h"
#include "toolkit/cipher/cipher.h"

#include <gtest/gtest.h>

using namespace lumeko;
using namespace lumeko::server;
using namespace lumeko::server::testing;
using wire::ErrorCode;
using wire::RowStatus;

namespace {

constexpr char kHeadCode[] = "{00000000-0000-0000-0000-0000000000B4}";

class RegisterRightsTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        LUMEKO_REQUIRE_BACKEND(GetParam());
        fx = std::make_unique<ServiceFixture>(GetParam());
        Database &db = fx->db();
        db.exec("INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES ('400903', '4009', 'ChangeClass', ?, 9)",
                {QStringLiteral("调班")});
        db.exec("INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES ('400904', '4009', 'SetPass', ?, 10)",
                {QStringLiteral("密码")});
        const QString student = "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", "
                                "\"sPNO\", \"iState\") VALUES (?, ?, ?, ?, ?, 1, ?, ?, '00')";
        db.exec(student, {"{A}", "S1", "1701", 2026, "001", QStringLiteral("张三"), "440300201401010011"});
        db.exec(student, {"{C}", "S1", "1701", 2026, "002", QStringLiteral("王五"), QVariant()});
        db.exec(student, {"{S}", "S1", "2701", 2026, "001", QStringLiteral("高一学生"), QVariant()});
        db.exec(student, {"{X}", "S2", "1701", 2026, "001", QStringLiteral("外校生"), QVariant()});
        const QString gc =
            "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\", \"TeacherCode\") VALUES ('S1', ?, ?, ?, ?)";
        db.exec(gc, {2026, "1701", "001", kTeacherCode}); // wang heads 七(1)
        db.exec(gc, {2026, "1701", "002", kHeadCode});    // the head teacher heads 七(2)
        db.exec(gc, {2026, "2701", "001", QVariant()});
        // A head teacher (role 4) who holds the register's Manager right.
        db.exec("INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sPass\", \"sRole\", \"iState\", \"iUserType\", "
                "\"bViewAllGrade\", \"bViewAllClass\") VALUES (?, 'S1', ?, 'head', ?, '4', 0, 0, false, false)",
                {kHeadCode, QStringLiteral("班主任"), hashPassword("pw4", PasswordCost::Minimal)});
        for (const char *f : {"40", "4009", "400901", "400904"})
            db.exec("INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (4, ?)", {f});
        admin = fx->signIn("admin", "lumeko");
    }

    // One row of the register as the page would send it changed.
    wire::ChangePacket studentChange(RowStatus status, QVariantList before, QVariantList after,
                                     const QStringList &fields = {"sCode", "SchoolCode", "InYear", "GradeCode", "ClassCode", "sName", "sPNO"})
    {
        wire::ChangePacket p;
        p.fields = schemaTable(u"XJ_Student").fieldDefs(fields);
        p.rows = {{status, std::move(before), std::move(after)}};
        return p;
    }
    wire::Reply upStudent(const wire::ChangePacket &p, const QString &token)
    {
        return fx->call("StudentUp", "UpStudent", {val(p), val(qint64(-1)), ref(qint64(0))}, token);
    }
    QString stored(const char *student, const char *column)
    {
        return fx->db().scalar(QStringLiteral("SELECT \"%1\" FROM \"XJ_Student\" WHERE \"sCode\" = ?").arg(QLatin1String(column)), {student}).toString();
    }

    std::unique_ptr<ServiceFixture> fx;
    QString admin;
};

TEST_P(RegisterRightsTest, ChangeClassMovesStudentsAndNothingElse)
{
    Database &db = fx->db();
    db.exec("DELETE FROM \"XT_UserRight\"");
    db.exec("INSERT INTO \"XT_UserRight\" (\"TeacherCode\", \"sFunId\") VALUES (?, '400903')", {kTeacherCode});
    const QString wang = fx->signIn("wang", "pw6");
    const QVariantList a{"{A}", "S1", 2026, "1701", "001", QStringLiteral("张三"), "440300201401010011"};

    QVariantList moved = a;
    moved[4] = "002";
    const wire::Reply move = upStudent(studentChange(RowStatus::Modified, a, moved), wang);
    ASSERT_TRUE(move.ok()) << move.message.toStdString();
    EXPECT_EQ(std::get<qint64>(move.refs[2]), 0);
    EXPECT_EQ(stored("{A}", "ClassCode"), "002");

    const QVariantList now = moved;
    QVariantList renamed = now;
    renamed[5] = QStringLiteral("改名");
    QVariantList idCard = now;
    idCard[6] = "000000000000000000";
    for (const QVariantList &tried : {renamed, idCard}) {
        const wire::Reply r = upStudent(studentChange(RowStatus::Modified, now, tried), wang);
        EXPECT_EQ(r.error, ErrorCode::Forbidden);
        EXPECT_TRUE(r.message.contains("ChangeClass moves students between classes only")) << r.message.toStdString();
    }
    EXPECT_EQ(upStudent(studentChange(RowStatus::Inserted, {}, {"{NEW}", "S1", 2026, "1701", "001", QStringLiteral("新生"), QVariant()}), wang).error,
              ErrorCode::Forbidden);
    EXPECT_EQ(upStudent(studentChange(RowStatus::Deleted, now, {}), wang).error, ErrorCode::Forbidden);
    // A password in clear is refused for anyone, the administrator too.
    wire::ChangePacket pass =
        studentChange(RowStatus::Modified, {"{C}", "S1", QString()}, {"{C}", "S1", QStringLiteral("123456")}, {"sCode", "SchoolCode", "sPass"});
    const wire::Reply clear = upStudent(pass, admin);
    EXPECT_EQ(clear.error, ErrorCode::Forbidden);
    EXPECT_TRUE(clear.message.contains("passwords are set through SetPass"));

    EXPECT_EQ(stored("{A}", "sName"), QStringLiteral("张三"));
    EXPECT_EQ(stored("{A}", "sPNO"), "440300201401010011");
    EXPECT_EQ(stored("{C}", "sPass"), QString());
    EXPECT_EQ(db.scalar("SELECT count(*) FROM \"XJ_Student\"").toInt(), 4);
}

TEST_P(RegisterRightsTest, AHeadTeacherChangesOnlyTheStudentsOfHisOwnClasses)
{
    const QString head = fx->signIn("head", "pw4");
    // His own class: fine.
    QVariantList c{"{C}", "S1", 2026, "1701", "002", QStringLiteral("王五"), QVariant()};
    QVariantList renamed = c;
    renamed[5] = QStringLiteral("王小五");
    const wire::Reply own = upStudent(studentChange(RowStatus::Modified, c, renamed), head);
    ASSERT_TRUE(own.ok()) << own.message.toStdString();
    EXPECT_EQ(stored("{C}", "sName"), QStringLiteral("王小五"));

    // A senior student and a student of another junior class: refused, whatever the write.
    const QVariantList senior{"{S}", "S1", 2026, "2701", "001", QStringLiteral("高一学生"), QVariant()};
    QVariantList seniorRenamed = senior;
    seniorRenamed[5] = QStringLiteral("改名");
    const wire::Reply r = upStudent(studentChange(RowStatus::Modified, senior, seniorRenamed), head);
    EXPECT_EQ(r.error, ErrorCode::Forbidden);
    EXPECT_EQ(r.message, "StudentUp.UpStudent: row 1 is a student outside the classes of this user; nothing was stored");
    EXPECT_EQ(upStudent(studentChange(RowStatus::Inserted, {}, {"{NEW}", "S1", 2026, "2701", "001", QStringLiteral("新生"), QVariant()}), head).error,
              ErrorCode::Forbidden);

    wire::ChangePacket family;
    family.fields = schemaTable(u"XJ_Family").fieldDefs({"scode", "sTitle", "sName", "SchoolCode"});
    family.rows = {{RowStatus::Inserted, {}, {"{S}", QStringLiteral("父亲"), QStringLiteral("某家长"), "S1"}}};
    EXPECT_EQ(fx->call("StudentUp", "UpFamily", {val(family), val(qint64(-1)), ref(qint64(0))}, head).error, ErrorCode::Forbidden);
    EXPECT_EQ(fx->call("StudentUp", "SetPass", {txt("S1"), txt("{S}"), txt("x"), ref(qint64(2))}, head).error, ErrorCode::Forbidden);
    EXPECT_EQ(fx->call("StudentUp", "SetPass", {txt("S1"), txt("{A}"), txt("x"), ref(qint64(2))}, head).error, ErrorCode::Forbidden)
        << "七(1) is wang's class, not his";
    EXPECT_EQ(fx->call("StudentUp", "SetPass", {txt("S1"), txt("{C}"), txt("x"), ref(qint64(2))}, head).result, wire::Value(qint64(1)));

    EXPECT_EQ(stored("{S}", "sName"), QStringLiteral("高一学生"));
    EXPECT_EQ(fx->db().scalar("SELECT count(*) FROM \"XJ_Family\"").toInt(), 0);
    EXPECT_EQ(stored("{S}", "sPass"), QString());

    // A history grade needs EditHis, even for his own class.
    fx->db().exec("UPDATE \"XJ_Grade\" SET \"bCurGrade\" = 'N' WHERE \"InYear\" = 2026 AND \"GradeCode\" = '1701' AND \"SchoolCode\" = 'S1'");
    QVariantList again = renamed;
    again[5] = QStringLiteral("王五");
    EXPECT_TRUE(upStudent(studentChange(RowStatus::Modified, renamed, again), head).message.contains("EditHis"));
}

TEST_P(RegisterRightsTest, ASubjectTeacherNeitherUploadsPhotosNorRepointsThem)
{
    Database &db = fx->db();
    db.exec("DELETE FROM \"XT_UserRight\""); // wang: the register's page and nothing more
    db.exec("INSERT INTO \"XJ_StudentPic\" (\"scode\", \"imgtype\", \"imgfile\", \"SchoolCode\") VALUES ('{A}', '0', 'a.jpg', 'S1')");
    const QString wang = fx->signIn("wang", "pw6");
    const wire::Reply file = fx->call("SysQry", "VarToSFile", {txt("StudentPics\\S1\\0"), txt("a.jpg"), val(QByteArray("not a photo"))}, wang);
    EXPECT_EQ(file.error, ErrorCode::Forbidden);
    EXPECT_EQ(file.message, "SysQry.VarToSFile needs the right 4009/Manager or 4009/Import");
    wire::ChangePacket pic;
    pic.fields = schemaTable(u"XJ_StudentPic").fieldDefs({"scode", "imgtype", "imgfile", "SchoolCode"});
    pic.rows = {{RowStatus::Modified, {"{A}", "0", "a.jpg", "S1"}, {"{A}", "0", "other.jpg", "S1"}}};
    EXPECT_EQ(fx->call("StudentUp", "UpPicture", {val(pic), val(qint64(-1)), ref(qint64(0))}, wang).error, ErrorCode::Forbidden);
    pic.rows = {{RowStatus::Deleted, {"{A}", "0", "a.jpg", "S1"}, {}}};
    EXPECT_EQ(fx->call("StudentUp", "UpPicture", {val(pic), val(qint64(-1)), ref(qint64(0))}, wang).error, ErrorCode::Forbidden);
    EXPECT_EQ(db.scalar("SELECT \"imgfile\" FROM \"XJ_StudentPic\" WHERE \"scode\" = '{A}'").toString(), "a.jpg");
    EXPECT_FALSE(QFile::exists(fx->fileStore() + "/StudentPics/S1/0/a.jpg"));
}

TEST_P(RegisterRightsTest, KeysOfAnotherSchoolAreRefusedAndNoReplyCarriesSqlOrConstraintNames)
{
    wire::ChangePacket family;
    family.fields = schemaTable(u"XJ_Family").fieldDefs({"scode", "sTitle", "sName", "SchoolCode"});
    family.rows = {{RowStatus::Inserted, {}, {"{X}", QStringLiteral("父亲"), QStringLiteral("冒名"), "S1"}}};
    wire::Reply r = fx->call("StudentUp", "UpFamily", {val(family), val(qint64(-1)), ref(qint64(0))}, admin);
    EXPECT_EQ(r.error, ErrorCode::Forbidden) << "{X} is a student of S2";
    EXPECT_TRUE(r.message.contains("names no student of this school"));
    wire::ChangePacket pic;
    pic.fields = schemaTable(u"XJ_StudentPic").fieldDefs({"scode", "imgtype", "imgfile", "SchoolCode"});
    pic.rows = {{RowStatus::Inserted, {}, {"{X}", "0", "x.jpg", "S1"}}};
    EXPECT_EQ(fx->call("StudentUp", "UpPicture", {val(pic), val(qint64(-1)), ref(qint64(0))}, admin).error, ErrorCode::Forbidden);
    EXPECT_EQ(fx->db().scalar("SELECT count(*) FROM \"XJ_Family\"").toInt(), 0);

    // The other school's own rows then go in as usual (li is that school's administrator).
    fx->db().exec("UPDATE \"JC_Teacher\" SET \"iUserType\" = 1 WHERE \"sLoginName\" = 'li'");
    const QString li = fx->signIn("li", "pw2");
    family.rows = {{RowStatus::Inserted, {}, {"{X}", QStringLiteral("父亲"), QStringLiteral("外校家长"), "S2"}}};
    r = fx->call("StudentUp", "UpFamily", {val(family), val(qint64(-1)), ref(qint64(0))}, li);
    ASSERT_TRUE(r.ok()) << r.message.toStdString();
    EXPECT_EQ(std::get<qint64>(r.refs[2]), 0) << r.message.toStdString();

    // A duplicate is refused in plain words: no statement, no constraint, no driver text.
    r = fx->call("StudentUp", "UpFamily", {val(family), val(qint64(-1)), ref(qint64(0))}, li);
    EXPECT_EQ(std::get<qint64>(r.refs[2]), 1);
    EXPECT_TRUE(r.message.contains("another row already has the same key")) << r.message.toStdString();
    for (const char *leak : {"INSERT", "UNIQUE", "constraint", "duplicate key", "XJ_Family_pkey", "\""})
        EXPECT_FALSE(r.message.contains(QLatin1String(leak), Qt::CaseInsensitive)) << leak << " in " << r.message.toStdString();
}

TEST_P(RegisterRightsTest, TheLogRecordsTheSignedInUserAndAPasswordChangeEndsOtherSessions)
{
    const QString wang = fx->signIn("wang", "pw6");
    ASSERT_TRUE(
        fx->call("SysUp", "AddLogs", {txt("S1"), txt("admin"), txt(QStringLiteral("管理员").toUtf8().constData()), txt("PC"), txt("删除全部学生")}, wang).ok());
    EXPECT_EQ(fx->db().scalar("SELECT \"sUserId\" FROM \"XT_Log\"").toString(), "wang");
    EXPECT_EQ(fx->db().scalar("SELECT \"sUserName\" FROM \"XT_Log\"").toString(), QStringLiteral("王老师"));

    const QString wangElsewhere = fx->signIn("wang", "pw6");
    ASSERT_TRUE(fx->call("SysQry", "DBDate", {}, wangElsewhere).ok());
    EXPECT_EQ(fx->call("StudentUp", "SetPass", {txt("S1"), val(QString(kTeacherCode)), txt("newpw"), ref(qint64(1))}, admin).result, wire::Value(qint64(1)));
    EXPECT_EQ(fx->call("SysQry", "DBDate", {}, wang).error, ErrorCode::NotSignedIn);
    EXPECT_EQ(fx->call("SysQry", "DBDate", {}, wangElsewhere).error, ErrorCode::NotSignedIn);
    EXPECT_TRUE(fx->call("SysQry", "DBDate", {}, admin).ok()) << "the administrator who set it stays signed in";
    EXPECT_FALSE(fx->signIn("wang", "newpw").isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Backends, RegisterRightsTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

} // namespace
