#include "fixtureschool.h"

#include "server/methods/methods.h"

#include "server/core/auth.h"

namespace lumeko::server::testing {

void seedFixtureSchool(Database &db)
{
    Transaction tx(db);
    const auto hash = [](const char *pw) { return hashPassword(QString::fromLatin1(pw), PasswordCost::Minimal); };
    const QString school = QStringLiteral("INSERT INTO \"XT_School\" (\"SchoolCode\", \"sFullName\", \"sName\", \"sSchoolType\", \"bSubTree\", "
                                          "\"bHasSub\", \"sMainCap\", \"sSubCap\") VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    db.exec(school, {"S1", QStringLiteral("示范市第一中学"), QStringLiteral("一中"), QStringLiteral("完全中学"), true, true, QStringLiteral("本部"), QStringLiteral("分校")});
    db.exec(school, {"S2", QStringLiteral("示范市第二中学"), QStringLiteral("二中"), QStringLiteral("完全中学"), false, false, QVariant(), QVariant()});

    const QString teacher = QStringLiteral("INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sMobile\", "
                                           "\"sMail\", \"sPass\", \"sRole\", \"iState\", \"iUserType\", \"bViewAllGrade\", \"bViewAllClass\") "
                                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    db.exec(teacher, {kAdminCode, "S1", QStringLiteral("管理员"), "admin", QVariant(), QVariant(), hash("lumeko"), "1", 0, 1, true, true});
    db.exec(teacher, {kTeacherCode, "S1", QStringLiteral("王老师"), "wang", "13800000001", "Wang@School.cn", hash("pw6"), "6", 0, 0, false, false});
    db.exec(teacher, {kOtherSchoolCode, "S2", QStringLiteral("李老师"), "li", QVariant(), QVariant(), hash("pw2"), "1", 0, 0, true, true});
    db.exec(teacher, {"{00000000-0000-0000-0000-0000000000D0}", "S1", QStringLiteral("离职老师"), "gone", QVariant(), QVariant(), hash("pw"), "6", 1, 0, false, false});
    db.exec(teacher, {"{00000000-0000-0000-0000-0000000000D1}", "S1", QStringLiteral("无密码"), "nopass", QVariant(), QVariant(), QVariant(), "6", 0, 0, false, false});

    const QString fn = QStringLiteral("INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES (?, ?, ?, ?, ?)");
    db.exec(fn, {"40", "", QVariant(), QStringLiteral("学业管理"), 1});
    db.exec(fn, {"4009", "40", QVariant(), QStringLiteral("学籍档案"), 2});
    db.exec(fn, {"400901", "4009", "Manager", QStringLiteral("管理"), 3});
    db.exec(fn, {"400902", "4009", "Import", QStringLiteral("导入"), 4});
    db.exec(fn, {"4010", "40", QVariant(), QStringLiteral("教师档案"), 5});
    db.exec(fn, {"0001", "00", "Print", QStringLiteral("打印"), 6});
    db.exec(fn, {"4004", "40", QVariant(), QStringLiteral("部门设置"), 7});
    db.exec(fn, {"400401", "4004", "Manager", QStringLiteral("管理"), 8});
    const QString grant = QStringLiteral("INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (?, ?)");
    for (const char *f : {"40", "4009", "0001"}) db.exec(grant, {6, f});
    db.exec(QStringLiteral("INSERT INTO \"XT_UserRight\" (\"TeacherCode\", \"sFunId\") VALUES (?, ?)"), {kTeacherCode, "400902"});

    const QString reg = QStringLiteral("INSERT INTO \"XT_RegList\" (\"sListName\", \"sKeyId\", \"sValue\", \"sDesc\", \"iOrder\") VALUES (?, ?, ?, ?, ?)");
    db.exec(reg, {"StudState", "00", QStringLiteral("在读"), QVariant(), 1});
    db.exec(reg, {"StudState", "01", QStringLiteral("休学"), QVariant(), 2});
    db.exec(reg, {"StudType", "1", QStringLiteral("统招生"), QVariant(), 1});
    db.exec(reg, {"StudType", "2", QStringLiteral("借读生"), QVariant(), 2});
    db.exec(QStringLiteral("INSERT INTO \"XT_Registry\" (\"sSection\", \"sKey\", \"sValue\", \"sExtra\") VALUES (?, ?, ?, ?)"),
            {"SysParams", "MaxImageSize", "100", QStringLiteral("http://example.invalid/photo-help")});
    const QString fld = QStringLiteral("INSERT INTO \"XT_Fields\" (\"sTable\", \"sFldName\", \"iOrder\", \"sFldCaption\", \"bShowed\", \"nWidth\", "
                                       "\"sFieldType\") VALUES (?, ?, ?, ?, ?, ?, ?)");
    db.exec(fld, {"XJ_Student", "sNO", 2, QStringLiteral("学号"), true, 12, "S"});
    db.exec(fld, {"XJ_Student", "sName", 1, QStringLiteral("姓名"), true, 10, "S"});

    const QString gname = QStringLiteral("INSERT INTO \"XT_GradeName\" (\"sSchoolType\", \"sKeyId\", \"sValue\", \"sType\", \"sNextGrade\", \"bGraduate\", \"iOrder\") "
                                         "VALUES (?, ?, ?, ?, ?, ?, ?)");
    db.exec(gname, {QStringLiteral("完全中学"), "1701", QStringLiteral("七年级"), QStringLiteral("初中"), "1801", false, 1});
    db.exec(gname, {QStringLiteral("完全中学"), "1801", QStringLiteral("八年级"), QStringLiteral("初中"), "1901", false, 2});
    db.exec(gname, {QStringLiteral("完全中学"), "1901", QStringLiteral("九年级"), QStringLiteral("初中"), QVariant(), true, 3});
    db.exec(gname, {QStringLiteral("小学"), "0106", QStringLiteral("六年级"), QStringLiteral("小学"), QVariant(), true, 1});
    const QString grade = QStringLiteral("INSERT INTO \"XJ_Grade\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"sYear\", \"bCurGrade\") VALUES (?, ?, ?, ?, ?)");
    db.exec(grade, {"S1", 2026, "1701", QStringLiteral("2026~2027学年"), "Y"});
    db.exec(grade, {"S1", 2025, "1801", QStringLiteral("2026~2027学年"), "Y"});
    db.exec(grade, {"S2", 2026, "1701", QStringLiteral("2026~2027学年"), "Y"});
    const QString cls = QStringLiteral("INSERT INTO \"XJ_Class\" (\"SchoolCode\", \"ClassCode\", \"ClassName\", \"sArea\") VALUES (?, ?, ?, ?)");
    db.exec(cls, {"S1", "001", QStringLiteral("一班"), QStringLiteral("本部")});
    db.exec(cls, {"S1", "002", QStringLiteral("二班"), QStringLiteral("分校")});
    db.exec(cls, {"S2", "001", QStringLiteral("外校一班"), QVariant()});
    tx.commit();
}

ServiceFixture::ServiceFixture(Backend backend) : now(QDateTime(QDate(2026, 12, 6), QTime(8, 0), Qt::UTC)), m_testDb(backend)
{
    m_filesPath = m_files.filePath(QStringLiteral("files"));
    ServerOptions o;
    o.database = m_testDb.url();
    o.fileStore = m_filesPath;
    o.passwordCost = PasswordCost::Minimal;
    o.maxFileBytes = 64 * 1024;
    o.clock = [this] { return now; };
    m_service = std::make_unique<Service>(o);
    installSchoolMethods(*m_service);
    seedFixtureSchool(m_service->connection());
}

wire::Reply ServiceFixture::call(const QString &object, const QString &method, QList<wire::Argument> args, const QString &token,
                                 const QString &peer)
{
    wire::Call c{object, method, token, std::move(args)};
    return m_service->handle(c, CallOrigin{peer});
}

QString ServiceFixture::signIn(const QString &login, const QString &password)
{
    const wire::Reply r = call(QStringLiteral("Session"), QStringLiteral("SignIn"),
                               {val(login), val(password), val(QStringLiteral("PC-01"))});
    EXPECT_TRUE(r.ok()) << r.message.toStdString();
    const QString *token = std::get_if<QString>(&r.result);
    return token ? *token : QString();
}

} // namespace lumeko::server::testing
