#include "organisationfixture.h"

#include "server/core/auth.h"

namespace lumeko::server::testing {

void OrganisationTest::SetUp()
{
    LUMEKO_REQUIRE_BACKEND(GetParam());
    fx = std::make_unique<ServiceFixture>(GetParam());
    Database &db = fx->db();
    const QString fn = "INSERT INTO \"XT_Function\" (\"sFunId\", \"sParFunId\", \"sFunKey\", \"sFunName\", \"iOrder\") VALUES (?, ?, ?, ?, ?)";
    int order = 40;
    for (const auto &[id, parent, key] : std::initializer_list<std::tuple<const char *, const char *, const char *>>{{"4001", "40", nullptr},
                                                                                                                     {"400101", "4001", "Manager"},
                                                                                                                     {"4002", "40", nullptr},
                                                                                                                     {"400201", "4002", "Manager"},
                                                                                                                     {"4003", "40", nullptr},
                                                                                                                     {"400301", "4003", "Manager"},
                                                                                                                     {"4006", "40", nullptr},
                                                                                                                     {"400601", "4006", "Manager"},
                                                                                                                     {"4007", "40", nullptr},
                                                                                                                     {"400701", "4007", "Manager"},
                                                                                                                     {"4008", "40", nullptr},
                                                                                                                     {"400801", "4008", "Manager"},
                                                                                                                     {"400802", "4008", "Import"},
                                                                                                                     {"401001", "4010", "Manager"},
                                                                                                                     {"401002", "4010", "Import"},
                                                                                                                     {"4011", "40", nullptr},
                                                                                                                     {"4012", "40", nullptr}})
        db.exec(fn, {id, parent, key ? QVariant(key) : QVariant(), QString::fromLatin1(id), order++});
    const QString roleRight = "INSERT INTO \"XT_RoleRight\" (\"iRole\", \"sFunId\") VALUES (?, ?)";
    for (const char *f : {"40", "4008", "400801", "4011"})
        db.exec(roleRight, {3, f});
    db.exec(roleRight, {6, "4011"});

    const QString teacher = "INSERT INTO \"JC_Teacher\" (\"sCode\", \"SchoolCode\", \"sName\", \"sLoginName\", \"sPass\", \"sRole\", \"iState\", "
                            "\"iUserType\", \"bViewAllGrade\", \"bViewAllClass\") VALUES (?, 'S1', ?, ?, ?, ?, 0, 0, ?, ?)";
    const auto hash = [](const char *pw) { return hashPassword(QString::fromLatin1(pw), PasswordCost::Minimal); };
    db.exec(teacher, {kZhouCode, QStringLiteral("周老师"), "zhou", hash("pwz"), QVariant(), true, false});
    db.exec(teacher, {kLiuCode, QStringLiteral("刘老师"), "liu", hash("pwl"), "3", false, false});
    db.exec(teacher, {kSunCode, QStringLiteral("孙老师"), "sun", hash("pws"), QVariant(), false, false});
    for (const char *f : {"40", "4008", "400801"})
        db.exec("INSERT INTO \"XT_UserRight\" (\"TeacherCode\", \"sFunId\") VALUES (?, ?)", {kZhouCode, f});
    db.exec("UPDATE \"XJ_Grade\" SET \"TeacherCode\" = ? WHERE \"SchoolCode\" = 'S1' AND \"GradeCode\" = '1701'", {kLiuCode});

    admin = fx->signIn("admin", "lumeko");
    wang = fx->signIn("wang", "pw6");
    zhou = fx->signIn("zhou", "pwz");
    liu = fx->signIn("liu", "pwl");
}

void OrganisationTest::seedSubjectsAndStudents()
{
    Database &db = fx->db();
    const QString subject = "INSERT INTO \"XJ_Subject\" (\"SchoolCode\", \"SubjectCode\", \"SubjectName\") VALUES ('S1', ?, ?)";
    db.exec(subject, {"001", QStringLiteral("语文")});
    db.exec(subject, {"002", QStringLiteral("数学")});
    db.exec(subject, {"003", QStringLiteral("英语")});
    const QString gradeSubject = "INSERT INTO \"XJ_GradeSubject\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"SubjectCode\", \"SubjectType\", \"FullMark\") "
                                 "VALUES ('S1', 2026, '1701', ?, ?, ?)";
    db.exec(gradeSubject, {"001", 0, 120});
    db.exec(gradeSubject, {"002", 0, 120});
    db.exec(gradeSubject, {"003", 1, 100});
    const QString gradeClass = "INSERT INTO \"XJ_GradeClass\" (\"SchoolCode\", \"InYear\", \"GradeCode\", \"ClassCode\") VALUES ('S1', 2026, '1701', ?)";
    db.exec(gradeClass, {"001"});
    db.exec(gradeClass, {"002"});
    const QString student =
        "INSERT INTO \"XJ_Student\" (\"sCode\", \"SchoolCode\", \"GradeCode\", \"InYear\", \"ClassCode\", \"iClassNo\", \"sName\", \"iState\") "
        "VALUES (?, 'S1', '1701', 2026, ?, ?, ?, '00')";
    db.exec(student, {"{A}", "001", 1, QStringLiteral("张三")});
    db.exec(student, {"{B}", "001", 2, QStringLiteral("李四")});
    db.exec(student, {"{C}", "002", 1, QStringLiteral("王五")});
}

wire::DataPacket OrganisationTest::query(const char *object, const char *method, QList<wire::Argument> args, int slot, const QString &token)
{
    const wire::Reply r = call(object, method, std::move(args), token);
    EXPECT_TRUE(r.ok()) << method << ": " << r.message.toStdString();
    if (!r.ok()) return {};
    if (const auto it = r.refs.constFind(slot); it != r.refs.cend())
        if (const auto *p = std::get_if<wire::DataPacket>(&*it)) return *p;
    ADD_FAILURE() << method << " answered no data packet in argument " << slot + 1;
    return {};
}

OrganisationTest::Saved OrganisationTest::up(const char *method, const Changes &changes, const QString &token)
{
    const wire::Reply r = call("StudentUp", method, {val(changes.packet()), val(qint64(-1)), ref(qint64(0))}, token);
    if (!r.ok()) return {-1, r.error, r.message};
    return {std::get<qint64>(r.refs.value(2)), r.error, r.message};
}

} // namespace lumeko::server::testing
