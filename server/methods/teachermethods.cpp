// The teachers: their records (the teachers' page), the names they sign in with, their
// departments, and the roles the course table's duties give them (JC_Teacher.sRole, which sign-in,
// the rights tree and the score rights read).

#include "server/core/auth.h"
#include "server/core/service.h"
#include "server/grammar/registerfilters.h"
#include "server/methods/organisationrows.h"
#include "server/methods/updates.h"
#include "server/storage/schema.h"
#include "toolkit/cipher/cipher.h"
#include "wire/protocol/methods.h"

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldType;
using wire::RowStatus;
namespace P = wire::protocol;

namespace {

const QString kTeachers = QStringLiteral("4010");
const QString kPasswordSet = QStringLiteral("******");
const QString kOtherSchoolUser = QStringLiteral("其他学校的用户");

// Where each role's duty is held: a teacher holds role 2 while he leads or deputises a school
// subject, 3 a grade, 4 heads a grade class, 5 leads a grade's subject, 6 teaches in the course table.
bool holdsDuty(Database &db, const QString &school, const QString &teacher, int role)
{
    const auto count = [&](const char *table, bool deputy) {
        const QString sql = QStringLiteral("SELECT count(*) FROM \"%1\" WHERE \"SchoolCode\" = ? AND (\"TeacherCode\" = ?%2)")
                                .arg(QLatin1StringView(table), deputy ? QStringLiteral(" OR \"SubTeacherCode\" = ?") : QString());
        QVariantList params{school, teacher};
        if (deputy) params << teacher;
        return db.scalar(sql, params).toLongLong();
    };
    switch (role) {
    case 2:
        return count("XJ_Subject", true) > 0;
    case 3:
        return count("XJ_Grade", true) > 0;
    case 4:
        return count("XJ_GradeClass", false) > 0;
    case 5:
        return count("XJ_GradeSubject", true) > 0;
    case 6:
        return count("XJ_CourseTable", false) > 0;
    default:
        return false;
    }
}

bool holdsAnyDuty(Database &db, const QString &school, const QString &teacher)
{
    for (int role = 2; role <= 6; ++role)
        if (holdsDuty(db, school, teacher, role)) return true;
    return false;
}

// The teachers' columns, the password read as whether one is set.
QString teacherColumns(const QString &alias)
{
    QStringList cols;
    for (const ColumnDef &col : schemaTable(u"JC_Teacher").columns)
        cols << (col.name == u"sPass" ? QStringLiteral("CASE WHEN %1.\"sPass\" IS NULL OR %1.\"sPass\" = '' THEN '' ELSE '%2' END").arg(alias, kPasswordSet)
                                      : alias + u'.' + Database::quoted(col.name));
    return cols.join(QStringLiteral(", "));
}

// (school, department code or empty, var Data).
void qTeacherByDept(MethodCall &c)
{
    const QString school = c.school(0), dept = c.text(1);
    QString sql = QStringLiteral("SELECT %1 FROM \"JC_Teacher\" t WHERE t.\"SchoolCode\" = ?").arg(teacherColumns(QStringLiteral("t")));
    QVariantList params{school};
    if (!dept.isEmpty()) {
        sql += QStringLiteral(" AND EXISTS (SELECT 1 FROM \"JC_DeptTeacher\" d WHERE d.\"SchoolCode\" = t.\"SchoolCode\" AND d.\"TeacherCode\" = t.\"sCode\" "
                              "AND d.\"DepartCode\" = ?)");
        params << dept;
    }
    c.setRef(2, c.db().select(sql + QStringLiteral(" ORDER BY t.\"sName\", t.\"sCode\""), params, schemaTable(u"JC_Teacher").fieldDefs()));
}

// ("SchoolCode", the user's school, var Data).
void qTeacherByParam(MethodCall &c)
{
    grammar::parseTeacherLookupField(c.text(0));
    const QString school = c.school(1);
    c.setRef(2, c.db().select(QStringLiteral("SELECT \"sCode\", \"sName\", \"SchoolCode\", \"iState\" FROM \"JC_Teacher\" WHERE \"SchoolCode\" = ? "
                                             "ORDER BY \"sName\", \"sCode\""),
                              {school}, schemaTable(u"JC_Teacher").fieldDefs({"sCode", "sName", "SchoolCode", "iState"})));
}

// The teachers of any school other than `except` who sign in with `value`: sign-in takes a login
// name, a mobile number or an e-mail address, letters of names and addresses without regard to case.
wire::DataPacket usersOf(Database &db, const QString &value, const QString &except, const QString &school)
{
    QVariantList params{value, value, value};
    QString others;
    if (!except.isEmpty()) {
        others = QStringLiteral(" AND \"sCode\" <> ?");
        params << except;
    }
    return db.select(QStringLiteral("SELECT \"sName\", \"SchoolCode\" FROM \"JC_Teacher\" "
                                    "WHERE (lower(\"sLoginName\") = lower(?) OR \"sMobile\" = ? OR lower(\"sMail\") = lower(?))%1 "
                                    "ORDER BY CASE WHEN \"SchoolCode\" = ? THEN 0 ELSE 1 END, \"sName\"")
                         .arg(others),
                     params << school, {{"sName", FieldType::Text, 0, 0}, {"SchoolCode", FieldType::Text, 0, 0}});
}

// (value, kind, the edited teacher or empty).
void checkLoginUsed(MethodCall &c)
{
    const QString value = c.text(0).trimmed();
    const qint64 kind = c.integer(1);
    if (kind < 0 || kind > 2)
        throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: the kind is 0 (login name), 1 (mobile) or 2 (e-mail)").arg(P::CheckLoginUsed.fullName()));
    if (value.size() > 100) throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: the value is too long").arg(P::CheckLoginUsed.fullName()));
    if (value.isEmpty()) {
        c.setResult(QString());
        return;
    }
    // Only a teacher of the user's own school is left out as the one being edited.
    const QString edited = c.argCount() > 2 ? c.text(2) : QString();
    const QString except = !edited.isEmpty() && isTeacherOfSchool(c, edited) ? edited : QString();
    const wire::DataPacket users = usersOf(c.db(), value, except, c.user().school);
    if (users.rowCount() == 0)
        c.setResult(QString());
    else
        c.setResult(users.value(0, 1).toString() == c.user().school ? users.value(0, 0).toString() : kOtherSchoolUser);
}

[[noreturn]] void refuseTeacherRow(qsizetype row, const QString &why)
{
    throw CallError(ErrorCode::Forbidden, QStringLiteral("%1: row %2 %3; nothing was stored").arg(P::UpTeacher.fullName()).arg(row + 1).arg(why));
}

// Teachers are written by the teachers' page (Manager: all; Import: no deletions) and, by name
// only, by the course table's unknown names. Roles, the user type and the view-all flags are the
// rights administration's and ARUserRoles'; passwords arrive enciphered or through SetPass.
void upTeacher(MethodCall &c)
{
    const TableDef &t = schemaTable(u"JC_Teacher");
    const bool manager = c.hasRight(kTeachers, QStringLiteral("Manager")), import = c.hasRight(kTeachers, QStringLiteral("Import"));
    const wire::ChangePacket &given = c.changes(0);
    static const QSet<QString> byName = {"scode", "sname", "schoolcode", "istate", "selected"};
    for (qsizetype r = 0; r < given.rows.size(); ++r) {
        const PacketRow row(given, given.rows[r]);
        const QSet<QString> set = row.changedColumns(t);
        if (row.status() == RowStatus::Deleted && !manager) refuseTeacherRow(r, QStringLiteral("deletes a teacher, which needs the right 4010/Manager"));
        if (!manager && !import) {
            if (row.status() != RowStatus::Inserted)
                refuseTeacherRow(r, QStringLiteral("changes a teacher, which needs the right 4010/Manager or 4010/Import"));
            for (const QString &col : set)
                if (!byName.contains(col)) refuseTeacherRow(r, QStringLiteral("sets %1; the course table adds teachers by name only").arg(col));
        }
        const bool inserted = row.status() == RowStatus::Inserted;
        const bool grants = inserted ? (!row.text(u"sRole").isEmpty() || row.value(u"iUserType").toLongLong() != 0 || row.value(u"bViewAllGrade").toBool() ||
                                        row.value(u"bViewAllClass").toBool())
                                     : (set.contains(QStringLiteral("srole")) || set.contains(QStringLiteral("iusertype")) ||
                                        set.contains(QStringLiteral("bviewallgrade")) || set.contains(QStringLiteral("bviewallclass")));
        if (grants) refuseTeacherRow(r, QStringLiteral("sets roles, the user type or the view-all flags, which are not changed here"));
        if (set.contains(QStringLiteral("spass")) && !cipher::isCipherText(row.text(u"sPass")))
            refuseTeacherRow(r, QStringLiteral("sets a password in clear; passwords are set through SetPass"));
        if (changesKey(row, t)) refuseTeacherRow(r, QStringLiteral("changes the teacher's key"));
    }

    OrganisationWrite w(QStringLiteral("JC_Teacher"));
    QSet<QString> newPasswords; // teachers whose stored password this call replaces
    w.check = [&](Refusals &refused, wire::ChangePacket &packet) {
        const int pass = packet.fieldIndex(u"sPass"), code = packet.fieldIndex(u"sCode");
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            wire::RowChange &change = packet.rows[r];
            // An empty name to sign in with is none: many teachers have no e-mail.
            for (const char *id : {"sLoginName", "sMobile", "sMail"}) {
                const int f = packet.fieldIndex(QString::fromLatin1(id));
                if (f < 0) continue;
                for (QVariantList *values : {&change.oldValues, &change.newValues})
                    if (f < values->size() && (*values)[f].toString().trimmed().isEmpty()) (*values)[f] = QVariant();
            }
            const PacketRow row(packet, change);
            const QString teacher = row.text(u"sCode");
            if (change.status == RowStatus::Deleted) {
                if (teacher == c.user().teacherCode)
                    refused.add(r, QStringLiteral("is the signed-in user himself"));
                else if (holdsAnyDuty(c.db(), c.user().school, teacher))
                    refused.add(r, QStringLiteral("still leads, heads or teaches in the school; change the course table first"));
            }
            if (pass < 0) continue;
            const bool changes = row.changedColumns(schemaTable(w.table)).contains(QStringLiteral("spass"));
            // What the page showed ("******") stands for the stored hash.
            if (code >= 0 && (change.status == RowStatus::Deleted || (change.status == RowStatus::Modified && changes)))
                change.oldValues[pass] = c.db().scalar(QStringLiteral("SELECT \"sPass\" FROM \"JC_Teacher\" WHERE \"sCode\" = ? AND \"SchoolCode\" = ?"),
                                                       {change.oldValues.value(code), c.user().school});
            if (!changes) continue;
            const std::optional<QString> plain = cipher::decStr(change.newValues.value(pass).toString(), QString::fromLatin1(cipher::kImportPasswordKey));
            if (!plain) {
                refused.add(r, QStringLiteral("its imported password cannot be deciphered"));
                continue;
            }
            change.newValues[pass] = hashPassword(*plain, c.env().options().passwordCost);
            if (change.status == RowStatus::Modified) newPasswords.insert(teacher);
        }
    };
    w.after = [&](Refusals &refused, const wire::ChangePacket &packet) {
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            const PacketRow row(packet, packet.rows[r]);
            const QSet<QString> set = row.changedColumns(schemaTable(w.table));
            for (const char *id : {"sLoginName", "sMobile", "sMail"}) {
                const QString value = row.text(QString::fromLatin1(id));
                if (value.isEmpty() || !set.contains(QString::fromLatin1(id).toLower())) continue;
                if (usersOf(c.db(), value, row.text(u"sCode"), c.user().school).rowCount() > 0)
                    refused.add(r, QStringLiteral("%1 %2 is already used to sign in by another user").arg(QLatin1StringView(id), value));
            }
        }
        // A teacher whose password changed is signed out everywhere but here.
        for (const QString &teacher : newPasswords)
            c.db().exec(QStringLiteral("DELETE FROM \"XT_Session\" WHERE \"TeacherCode\" = ? AND \"sTokenHash\" <> ?"), {teacher, c.user().tokenHash});
    };
    storeOrganisationRows(c, w);
}

void qDeptByTeacher(MethodCall &c)
{
    const QString school = c.school(0);
    const TableDef &t = schemaTable(u"JC_DeptTeacher");
    c.setRef(2, c.db().select(QStringLiteral("SELECT \"DepartCode\", \"sDuty\", \"SchoolCode\", \"TeacherCode\" FROM \"JC_DeptTeacher\" "
                                             "WHERE \"SchoolCode\" = ? AND \"TeacherCode\" = ? ORDER BY \"DepartCode\""),
                              {school, c.text(1)}, t.fieldDefs({"DepartCode", "sDuty", "SchoolCode", "TeacherCode"})));
}

void upDeptTeacher(MethodCall &c)
{
    OrganisationWrite w(QStringLiteral("JC_DeptTeacher"));
    w.check = [&](Refusals &refused, wire::ChangePacket &packet) {
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            const PacketRow row(packet, packet.rows[r]);
            if (row.status() == RowStatus::Deleted) continue;
            if (row.text(u"TeacherCode").isEmpty() || !isTeacherOfSchool(c, row.text(u"TeacherCode")))
                refused.add(r, QStringLiteral("TeacherCode names no teacher of this school"));
            if (c.db()
                    .scalar(QStringLiteral("SELECT count(*) FROM \"XJ_Dept\" WHERE \"SchoolCode\" = ? AND \"sCode\" = ?"),
                            {c.user().school, row.text(u"DepartCode")})
                    .toLongLong() == 0)
                refused.add(r, QStringLiteral("DepartCode names no department of this school"));
        }
    };
    storeOrganisationRows(c, w);
}

// The role numbers of a comma text, in order, without repeats.
QList<int> roleList(const QString &text)
{
    QList<int> roles;
    for (QStringView part : QStringView(text).split(u',')) {
        bool ok = false;
        const int r = part.trimmed().toInt(&ok);
        if (ok && !roles.contains(r)) roles << r;
    }
    std::sort(roles.begin(), roles.end());
    return roles;
}

// (school, teacher, role "2" … "6", 1 grant / 0 revoke): answers 1 when sRole changed.
void arUserRoles(MethodCall &c)
{
    const QString school = c.school(0), teacher = c.text(1), roleText = c.text(2).trimmed();
    const qint64 grant = c.integer(3);
    const int role = roleText.size() == 1 ? roleText.front().unicode() - u'0' : 0;
    if (role < 2 || role > 6)
        throw CallError(
            ErrorCode::BadArguments,
            QStringLiteral("%1: the role is one of \"2\" to \"6\"; role 1 is given by the rights administration only").arg(P::ARUserRoles.fullName()));
    if (grant != 0 && grant != 1) throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: grant with 1, revoke with 0").arg(P::ARUserRoles.fullName()));
    Database &db = c.db();
    Transaction tx(db);
    const QString lock = db.backend() == Backend::Postgres ? QStringLiteral(" FOR UPDATE") : QString();
    const wire::DataPacket found = db.select(QStringLiteral("SELECT \"sRole\" FROM \"JC_Teacher\" WHERE \"sCode\" = ? AND \"SchoolCode\" = ?") + lock,
                                             {teacher, school}, {{"sRole", FieldType::Text, 0, 0}});
    if (found.rowCount() != 1)
        throw CallError(ErrorCode::Forbidden, QStringLiteral("%1: %2 names no teacher of this school").arg(P::ARUserRoles.fullName(), teacher.left(40)));
    QList<int> roles = roleList(found.value(0, 0).toString());
    const bool duty = holdsDuty(db, school, teacher, role);
    if (grant == 1) {
        if (!duty)
            throw CallError(ErrorCode::Refused,
                            QStringLiteral("%1: the teacher holds no duty of role %2 in the school").arg(P::ARUserRoles.fullName()).arg(role));
        if (roles.contains(role)) {
            c.setResult(qint64(0));
            return;
        }
        roles << role;
        std::sort(roles.begin(), roles.end());
    } else {
        if (!roles.contains(role) || duty) {
            if (duty) c.setMessage(QStringLiteral("the teacher still holds a duty of role %1; the role stays").arg(role));
            c.setResult(qint64(0));
            return;
        }
        roles.removeAll(role);
    }
    QStringList text;
    for (int r : roles)
        text << QString::number(r);
    db.exec(QStringLiteral("UPDATE \"JC_Teacher\" SET \"sRole\" = ? WHERE \"sCode\" = ? AND \"SchoolCode\" = ?"),
            {text.isEmpty() ? QVariant() : QVariant(text.join(u',')), teacher, school});
    tx.commit();
    c.setResult(qint64(1));
}

} // namespace

void registerTeacherMethods(Service &s)
{
    s.addMethod(P::QTeacherByDept, qTeacherByDept);
    s.addMethod(P::QTeacherByParam, qTeacherByParam);
    s.addMethod(P::CheckLoginUsed, checkLoginUsed);
    s.addMethod(P::UpTeacher, upTeacher);
    s.addMethod(P::QDeptByTeacher, qDeptByTeacher);
    s.addMethod(P::UpDeptTeacher, upDeptTeacher);
    s.addMethod(P::ARUserRoles, arUserRoles);
}

} // namespace lumeko::server
