// The session object: signing in and out, and the data the host services hand to the module (the
// user's context, rights, grade list, grade names, class names and type lists).

#include "server/core/rights.h"
#include "server/core/service.h"
#include "server/core/sessionprotocol.h"
#include "server/methods/methods.h"
#include "server/storage/schema.h"

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldType;

namespace {

// A hash to verify against when the login is unknown, so that a wrong login costs as much time
// as a wrong password and does not reveal which logins exist.
const QString &dummyHash()
{
    static const QString h = hashPassword(QStringLiteral("no such user"));
    return h;
}

struct Teacher {
    QString code, school, hash;
    qint64 state = 0;
};

std::optional<Teacher> findLogin(Database &db, const QString &login)
{
    // A login is the login name, the mobile number or the e-mail address (names and addresses
    // without regard to case).
    const auto rows = db.select(
        QStringLiteral("SELECT \"sCode\", \"SchoolCode\", \"sPass\", \"iState\" FROM \"JC_Teacher\" "
                       "WHERE lower(\"sLoginName\") = lower(?) OR \"sMobile\" = ? OR lower(\"sMail\") = lower(?)"),
        {login, login, login},
        {{"sCode", FieldType::Text, 0, 0}, {"SchoolCode", FieldType::Text, 0, 0}, {"sPass", FieldType::Text, 0, 0},
         {"iState", FieldType::Integer, 0, 0}});
    if (rows.rowCount() != 1) return std::nullopt; // unknown, or ambiguous across schools
    return Teacher{rows.value(0, 0).toString(), rows.value(0, 1).toString(), rows.value(0, 2).toString(), rows.value(0, 3).toLongLong()};
}

void signIn(MethodCall &c)
{
    const QString login = c.text(0).trimmed();
    const QString password = c.text(1);
    const QString computer = c.text(2).left(60);
    if (login.isEmpty() || login.size() > 100 || password.size() > 1000)
        throw CallError(ErrorCode::BadArguments, QStringLiteral("a login of 1 to 100 characters and a password are needed"));
    Database &db = c.db();
    const QDateTime now = c.env().now();
    SignInThrottle throttle(db);
    const QString loginSubject = QStringLiteral("login:") + login.toLower();
    const QString peerSubject = QStringLiteral("peer:") + c.origin();
    const int wait = std::max(throttle.secondsBlocked(loginSubject, now), throttle.secondsBlocked(peerSubject, now));
    if (wait > 0)
        throw CallError(ErrorCode::Refused, QStringLiteral("too many failed sign-ins; try again in %1 seconds").arg(wait));

    const std::optional<Teacher> t = findLogin(db, login);
    const bool good = verifyPassword(t && !t->hash.isEmpty() ? t->hash : dummyHash(), password) && t && !t->hash.isEmpty();
    if (!good) {
        throttle.recordFailure(loginSubject, now);
        throttle.recordFailure(peerSubject, now);
        throw CallError(ErrorCode::Refused, QStringLiteral("the login or the password is wrong"));
    }
    if (t->state != 0) throw CallError(ErrorCode::Refused, QStringLiteral("this teacher no longer works at the school"));
    throttle.clear(loginSubject);

    const QString token = newSessionToken();
    const QDateTime expires = now.addSecs(c.env().options().sessionMinutes * 60);
    db.exec(QStringLiteral("INSERT INTO \"XT_Session\" (\"sTokenHash\", \"TeacherCode\", \"SchoolCode\", \"sComputer\", \"sPeer\", "
                           "\"dCreated\", \"dSeen\", \"dExpires\") VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
            {sessionTokenHash(token), t->code, t->school, computer, c.origin().left(60), db.toDb(now, FieldType::DateTime),
             db.toDb(now, FieldType::DateTime), db.toDb(expires, FieldType::DateTime)});
    // Sessions that ended long ago are swept by whoever signs in next.
    db.exec(QStringLiteral("DELETE FROM \"XT_Session\" WHERE \"dExpires\" < ?"), {db.toDb(now.addDays(-1), FieldType::DateTime)});
    c.setResult(token);
}

wire::DataPacket contextPacket(MethodCall &c)
{
    const SessionUser &u = c.user();
    const auto school = c.db().select(QStringLiteral("SELECT \"sName\", \"sFullName\", \"sSchoolType\" FROM \"XT_School\" WHERE \"SchoolCode\" = ?"),
                                      {u.school}, schemaTable(u"XT_School").fieldDefs({"sName", "sFullName", "sSchoolType"}));
    QString schoolName, schoolType;
    if (school.rowCount() > 0) {
        schoolName = school.value(0, 0).toString().isEmpty() ? school.value(0, 1).toString() : school.value(0, 0).toString();
        schoolType = school.value(0, 2).toString();
    }
    QList<wire::FieldDef> fields;
    for (QLatin1StringView name : session::ContextFields) {
        FieldType type = FieldType::Text;
        if (name == QLatin1StringView("UserType")) type = FieldType::Integer;
        if (name.startsWith(QLatin1StringView("ViewAll"))) type = FieldType::Boolean;
        fields.append({QString(name), type, 0, 0});
    }
    wire::DataPacket p(fields);
    p.appendRow({u.school, schoolName, schoolType, u.teacherCode, u.name, u.login, u.userType, u.roles, u.viewAllGrade, u.viewAllClass});
    return p;
}

wire::DataPacket gradeList(MethodCall &c)
{
    const TableDef &t = schemaTable(u"XJ_Grade");
    const QStringList cols = {"GradeCode", "InYear", "sYear", "TeacherCode", "SubTeacherCode", "bCurGrade", "SchoolCode"};
    return c.db().select(QStringLiteral("SELECT \"GradeCode\", \"InYear\", \"sYear\", \"TeacherCode\", \"SubTeacherCode\", \"bCurGrade\", "
                                        "\"SchoolCode\" FROM \"XJ_Grade\" WHERE \"SchoolCode\" = ? ORDER BY \"InYear\" DESC, \"GradeCode\""),
                         {c.user().school}, t.fieldDefs(cols));
}

wire::DataPacket gradeNames(MethodCall &c)
{
    const TableDef &t = schemaTable(u"XT_GradeName");
    return c.db().select(QStringLiteral("SELECT g.\"sKeyId\", g.\"sValue\", g.\"sType\", g.\"sNextGrade\", g.\"bGraduate\" FROM \"XT_GradeName\" g "
                                        "JOIN \"XT_School\" s ON s.\"sSchoolType\" = g.\"sSchoolType\" WHERE s.\"SchoolCode\" = ? "
                                        "ORDER BY g.\"iOrder\", g.\"sKeyId\""),
                         {c.user().school}, t.fieldDefs({"sKeyId", "sValue", "sType", "sNextGrade", "bGraduate"}));
}

wire::DataPacket classNames(MethodCall &c)
{
    const TableDef &t = schemaTable(u"XJ_Class");
    QList<wire::FieldDef> fields = t.fieldDefs({"ClassCode", "ClassName"});
    fields.append({QStringLiteral("AliasName"), FieldType::Text, 40, 0});
    fields += t.fieldDefs({"sArea", "sType"});
    return c.db().select(QStringLiteral("SELECT \"ClassCode\", \"ClassName\", \"ClassName\", \"sArea\", \"sType\" FROM \"XJ_Class\" "
                                        "WHERE \"SchoolCode\" = ? ORDER BY \"ClassCode\""),
                         {c.user().school}, fields);
}

QString typeList(MethodCall &c)
{
    const auto rows = c.db().select(QStringLiteral("SELECT \"sValue\" FROM \"XT_RegList\" WHERE lower(\"sListName\") = lower(?) "
                                                   "ORDER BY \"iOrder\", \"sKeyId\""),
                                    {c.text(0)}, {{"sValue", FieldType::Text, 0, 0}});
    QStringList values;
    for (qsizetype r = 0; r < rows.rowCount(); ++r) values << rows.value(r, 0).toString();
    return values.join(u',');
}

} // namespace

void registerSessionMethods(Service &s)
{
    const QString obj = session::Object;
    s.addMethod(obj, {QString(session::SignIn), 3, 3, signIn, MethodDef::Access::Anyone});
    s.addMethod(obj, {QString(session::SignOut), 0, 0, [](MethodCall &c) {
        c.db().exec(QStringLiteral("DELETE FROM \"XT_Session\" WHERE \"TeacherCode\" = ? AND \"sTokenHash\" = ?"),
                    {c.user().teacherCode, c.user().tokenHash});
    }});
    s.addMethod(obj, {QString(session::Context), 0, 0, [](MethodCall &c) { c.setResult(contextPacket(c)); }});
    s.addMethod(obj, {QStringLiteral("UserRight"), 0, 0, [](MethodCall &c) { c.setResult(rightsPacket(c.db(), c.user())); }});
    s.addMethod(obj, {QStringLiteral("GradeList"), 0, 0, [](MethodCall &c) { c.setResult(gradeList(c)); }});
    s.addMethod(obj, {QStringLiteral("GradeNames"), 0, 0, [](MethodCall &c) { c.setResult(gradeNames(c)); }});
    s.addMethod(obj, {QStringLiteral("ClassNames"), 0, 0, [](MethodCall &c) { c.setResult(classNames(c)); }});
    s.addMethod(obj, {QStringLiteral("TypeList"), 1, 1, [](MethodCall &c) { c.setResult(typeList(c)); }});
}

} // namespace lumeko::server
