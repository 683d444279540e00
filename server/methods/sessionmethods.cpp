// The session object: signing in and out, and the data the host services hand to the module (the
// user's context, rights, grade list, grade names, class names and type lists).

#include "server/core/rights.h"
#include "server/core/service.h"
#include "server/methods/methods.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

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
    // The attempt is counted before its password is checked for this login from this address:
    // guesses at one login sent at once are checked no more often than guesses sent one after the
    // other, and a teacher is never braked by someone else's guesses from another address. The
    // address as a whole is counted by its failures: the teachers of a school behind one NAT
    // address sign in together in the morning, and their attempts in flight are no guesses (the
    // bound on concurrent password checks keeps what is in flight small). A blocked address is
    // refused before anything is counted.
    SignInThrottle throttle(db, now);
    const QString peerSubject = QStringLiteral("peer:") + c.origin();
    const QString loginSubject = SignInThrottle::subject(QStringLiteral("login"), login.toLower(), c.origin());
    if (const int wait = throttle.secondsBlocked(peerSubject); wait > 0)
        throw CallError(ErrorCode::Refused, QStringLiteral("too many failed sign-ins from this address; try again in %1 seconds").arg(wait));
    if (throttle.admit(loginSubject, SignInThrottle::kLoginFromAddress) == 0)
        throw CallError(ErrorCode::Refused, QStringLiteral("too many failed sign-ins; try again in %1 seconds").arg(throttle.secondsBlocked(loginSubject)));

    const std::optional<Teacher> t = findLogin(db, login);
    const bool known = t && !t->hash.isEmpty();
    const PasswordCheck check = checkPassword(known ? t->hash : dummyHash(), password);
    if (check == PasswordCheck::Busy) {
        // Not a guess: the server had no turn for the check. Answered as a time-out, which the
        // teacher is told is the server's (a refusal would read as a wrong password).
        throttle.takeBack(loginSubject);
        throw CallError(ErrorCode::Timeout, QStringLiteral("the server is checking too many passwords at once; try again in a moment"));
    }
    if (check != PasswordCheck::Right || !known) {
        throttle.admit(peerSubject, SignInThrottle::kAddress);
        throw CallError(ErrorCode::Refused, QStringLiteral("the login or the password is wrong"));
    }
    throttle.clear(loginSubject);
    if (t->state != 0) throw CallError(ErrorCode::Refused, QStringLiteral("this teacher no longer works at the school"));

    const QString token = newSessionToken();
    const QDateTime expires = now.addSecs(c.env().options().sessionMinutes * 60);
    db.exec(QStringLiteral("INSERT INTO \"XT_Session\" (\"sTokenHash\", \"TeacherCode\", \"SchoolCode\", \"sComputer\", \"sPeer\", "
                           "\"dCreated\", \"dSeen\", \"dExpires\") VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
            {sessionTokenHash(token), t->code, t->school, computer, c.origin().left(60), db.toDb(now, FieldType::DateTime),
             db.toDb(now, FieldType::DateTime), db.toDb(expires, FieldType::DateTime)});
    // Sessions that ended long ago, and attempts long forgotten, are swept by whoever signs in next.
    db.exec(QStringLiteral("DELETE FROM \"XT_Session\" WHERE \"dExpires\" < ?"), {db.toDb(now.addDays(-1), FieldType::DateTime)});
    throttle.sweep();
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
    for (QLatin1StringView name : wire::protocol::session::ContextFields) {
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

// The school's structure as the host's navigation shows it: one row per class of a grade (and one
// per class code that students of a grade carry but the grade's class list lacks), with the
// class's display name, its campus, its head teacher, whether the signed-in teacher heads or
// teaches it, and its number of students. A grade's students are the sum over its rows.
wire::DataPacket schoolOutline(MethodCall &c)
{
    const QString school = c.user().school, me = c.user().teacherCode;
    Database &db = c.db();
    const wire::DataPacket classes = db.select(
        QStringLiteral("SELECT gc.\"InYear\", gc.\"GradeCode\", gc.\"ClassCode\", "
                       "COALESCE(NULLIF(gc.\"AliasName\", ''), cl.\"ClassName\", gc.\"ClassCode\"), gc.\"sArea\", gc.\"TeacherCode\", "
                       "CASE WHEN gc.\"TeacherCode\" = ? OR EXISTS (SELECT 1 FROM \"XJ_CourseTable\" ct WHERE ct.\"SchoolCode\" = gc.\"SchoolCode\" "
                       "AND ct.\"InYear\" = gc.\"InYear\" AND ct.\"GradeCode\" = gc.\"GradeCode\" AND ct.\"ClassCode\" = gc.\"ClassCode\" "
                       "AND ct.\"TeacherCode\" = ?) THEN 1 ELSE 0 END "
                       "FROM \"XJ_GradeClass\" gc LEFT JOIN \"XJ_Class\" cl ON cl.\"SchoolCode\" = gc.\"SchoolCode\" AND cl.\"ClassCode\" = gc.\"ClassCode\" "
                       "WHERE gc.\"SchoolCode\" = ? ORDER BY gc.\"InYear\" DESC, gc.\"GradeCode\", gc.\"ClassCode\""),
        {me, me, school},
        {{"InYear", FieldType::Integer, 0, 0},
         {"GradeCode", FieldType::Text, 4, 0},
         {"ClassCode", FieldType::Text, 3, 0},
         {"ClassName", FieldType::Text, 40, 0},
         {"sArea", FieldType::Text, 20, 0},
         {"TeacherCode", FieldType::Text, 38, 0},
         {"bMine", FieldType::Integer, 0, 0}});
    const wire::DataPacket counts = db.select(
        QStringLiteral("SELECT \"InYear\", \"GradeCode\", COALESCE(\"ClassCode\", ''), COUNT(*) FROM \"XJ_Student\" WHERE \"SchoolCode\" = ? "
                       "GROUP BY \"InYear\", \"GradeCode\", COALESCE(\"ClassCode\", '')"),
        {school},
        {{"InYear", FieldType::Integer, 0, 0}, {"GradeCode", FieldType::Text, 4, 0}, {"ClassCode", FieldType::Text, 3, 0}, {"n", FieldType::Integer, 0, 0}});
    const auto key = [](const wire::DataPacket &p, qsizetype r) {
        return QStringLiteral("%1|%2|%3").arg(p.value(r, 0).toLongLong()).arg(p.value(r, 1).toString(), p.value(r, 2).toString());
    };
    QHash<QString, qint64> students;
    for (qsizetype r = 0; r < counts.rowCount(); ++r)
        students.insert(key(counts, r), counts.value(r, 3).toLongLong());

    QList<wire::FieldDef> fields = classes.fields();
    fields.append({QStringLiteral("nStudents"), FieldType::Integer, 0, 0});
    wire::DataPacket out(fields);
    for (qsizetype r = 0; r < classes.rowCount(); ++r) {
        QVariantList row;
        for (int f = 0; f < classes.fields().size(); ++f)
            row << classes.value(r, f);
        row << students.take(key(classes, r));
        out.appendRow(row);
    }
    // Students in a class the grade's class list does not name still count for their grade.
    for (qsizetype r = 0; r < counts.rowCount(); ++r) {
        if (!students.contains(key(counts, r))) continue;
        out.appendRow({counts.value(r, 0), counts.value(r, 1), counts.value(r, 2), QVariant(), QVariant(), QVariant(), 0, counts.value(r, 3)});
    }
    return out;
}

// The latest school-wide exams (newest first, at most `limit`) of the grades the teacher may see:
// every grade for those who view all grades, otherwise the grades he leads or has a class in. Each
// row carries what opening its score sheet needs: the grade's current flag and leaders, and the
// exam's subject codes joined by ";".
wire::DataPacket recentExams(MethodCall &c)
{
    const SessionUser &u = c.user();
    const qint64 limit = std::clamp<qint64>(c.integer(0), 1, 50);
    QString scope;
    QVariantList params{u.school};
    if (!u.viewAllGrade) {
        scope = QStringLiteral(" AND (g.\"TeacherCode\" = ? OR g.\"SubTeacherCode\" = ? OR EXISTS (SELECT 1 FROM \"XJ_GradeClass\" gc "
                               "WHERE gc.\"SchoolCode\" = e.\"SchoolCode\" AND gc.\"InYear\" = e.\"InYear\" AND gc.\"GradeCode\" = e.\"GradeCode\" "
                               "AND gc.\"TeacherCode\" = ?) OR EXISTS (SELECT 1 FROM \"XJ_CourseTable\" ct WHERE ct.\"SchoolCode\" = e.\"SchoolCode\" "
                               "AND ct.\"InYear\" = e.\"InYear\" AND ct.\"GradeCode\" = e.\"GradeCode\" AND ct.\"TeacherCode\" = ?))");
        params << u.teacherCode << u.teacherCode << u.teacherCode << u.teacherCode;
    }
    params << limit;
    wire::DataPacket exams =
        c.db().select(QStringLiteral("SELECT e.\"Id\", e.\"InYear\", e.\"GradeCode\", e.\"ExamCode\", e.\"PageName\", e.\"ExamName\", e.\"dDefDay\", "
                                     "g.\"bCurGrade\", g.\"TeacherCode\", g.\"SubTeacherCode\", "
                                     "(SELECT COUNT(*) FROM \"CJ_ExamStudent\" s WHERE s.\"examId\" = e.\"Id\") "
                                     "FROM \"CJ_ExamTotal\" e JOIN \"XJ_Grade\" g ON g.\"SchoolCode\" = e.\"SchoolCode\" AND g.\"InYear\" = e.\"InYear\" "
                                     "AND g.\"GradeCode\" = e.\"GradeCode\" WHERE e.\"SchoolCode\" = ? AND e.\"PageName\" = '⊥'%1 "
                                     "ORDER BY e.\"dDefDay\" DESC, e.\"Id\" DESC LIMIT ?")
                          .arg(scope),
                      params,
                      {{"Id", FieldType::Integer, 0, 0},
                       {"InYear", FieldType::Integer, 0, 0},
                       {"GradeCode", FieldType::Text, 4, 0},
                       {"ExamCode", FieldType::Text, 10, 0},
                       {"PageName", FieldType::Text, 40, 0},
                       {"ExamName", FieldType::Text, 40, 0},
                       {"dDefDay", FieldType::Date, 0, 0},
                       {"bCurGrade", FieldType::Text, 1, 0},
                       {"TeacherCode", FieldType::Text, 38, 0},
                       {"SubTeacherCode", FieldType::Text, 38, 0},
                       {"nStudents", FieldType::Integer, 0, 0}});
    QList<wire::FieldDef> fields = exams.fields();
    fields.append({QStringLiteral("Subjects"), FieldType::Text, 200, 0});
    wire::DataPacket out(fields);
    for (qsizetype r = 0; r < exams.rowCount(); ++r) {
        const wire::DataPacket subjects =
            c.db().select(QStringLiteral("SELECT \"SubjectCode\" FROM \"CJ_ExamSubject\" WHERE \"SchoolCode\" = ? AND \"GradeCode\" = ? AND \"InYear\" = ? "
                                         "AND \"ExamCode\" = ? AND \"PageName\" = ? ORDER BY \"SubjectCode\""),
                          {u.school, exams.value(r, 2), exams.value(r, 1), exams.value(r, 3), exams.value(r, 4)}, {{"SubjectCode", FieldType::Text, 3, 0}});
        QStringList codes;
        for (qsizetype s = 0; s < subjects.rowCount(); ++s)
            codes << subjects.value(s, 0).toString();
        QVariantList row;
        for (int f = 0; f < exams.fields().size(); ++f)
            row << exams.value(r, f);
        row << codes.join(u';');
        out.appendRow(row);
    }
    return out;
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
    namespace P = wire::protocol::session;
    s.addMethod(P::SignIn, signIn);
    s.addMethod(P::SignOut, [](MethodCall &c) {
        c.db().exec(QStringLiteral("DELETE FROM \"XT_Session\" WHERE \"TeacherCode\" = ? AND \"sTokenHash\" = ?"),
                    {c.user().teacherCode, c.user().tokenHash});
    });
    s.addMethod(P::Context, [](MethodCall &c) { c.setResult(contextPacket(c)); });
    s.addMethod(P::UserRight, [](MethodCall &c) { c.setResult(rightsPacket(c.db(), c.user())); });
    s.addMethod(P::GradeList, [](MethodCall &c) { c.setResult(gradeList(c)); });
    s.addMethod(P::GradeNames, [](MethodCall &c) { c.setResult(gradeNames(c)); });
    s.addMethod(P::ClassNames, [](MethodCall &c) { c.setResult(classNames(c)); });
    s.addMethod(P::SchoolOutline, [](MethodCall &c) { c.setResult(schoolOutline(c)); });
    s.addMethod(P::RecentExams, [](MethodCall &c) { c.setResult(recentExams(c)); });
    s.addMethod(P::TypeList, [](MethodCall &c) { c.setResult(typeList(c)); });
}

} // namespace lumeko::server
