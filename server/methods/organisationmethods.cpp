// The school's organisation: departments, classes, grades and their classes and subjects, the
// school's subjects, the course table, and the counts that keep a used class or subject from
// being deleted. Teachers and roles are in teachermethods.cpp, exam totals in examtotals.cpp.

#include "server/core/service.h"
#include "server/grammar/registerfilters.h"
#include "server/methods/methods.h"
#include "server/methods/organisationrows.h"
#include "server/methods/updates.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldType;
using wire::RowStatus;
namespace P = wire::protocol;

namespace {

const QString kGradeDefine = QStringLiteral("4012");

wire::DataPacket schoolRows(MethodCall &c, const QString &table, const QStringList &columns, const QString &order)
{
    QStringList cols;
    for (const QString &col : columns)
        cols << Database::quoted(col);
    return c.db().select(QStringLiteral("SELECT %1 FROM %2 WHERE \"SchoolCode\" = ? ORDER BY %3").arg(cols.join(u", "), Database::quoted(table), order),
                         {c.user().school}, schemaTable(table).fieldDefs(columns));
}

// The highest number among the school's codes of a table; empty when there is none.
void maxCode(MethodCall &c, const QString &table, const QString &column)
{
    c.school(0);
    const QSet<QString> codes = storedCodes(c, table, column);
    qint64 highest = -1;
    for (const QString &code : codes) {
        bool ok = false;
        const qint64 n = code.toLongLong(&ok);
        if (ok) highest = std::max(highest, n);
    }
    c.setResult(highest < 0 ? wire::Value(QString()) : wire::Value(QString::number(highest)));
}

// Inserted rows keep their code when it is free; one that is empty, not a number, or taken
// (stored, or given to an earlier row of the packet) gets the next free number, and a note says so.
void assignFreeCodes(MethodCall &c, OrganisationWrite &w, Refusals &refused, wire::ChangePacket &packet, const QString &codeColumn)
{
    const int f = packet.fieldIndex(codeColumn);
    if (f < 0) return; // the applier refuses a packet without its key
    lockSchool(c);
    QSet<QString> taken = storedCodes(c, w.table, codeColumn);
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        wire::RowChange &row = packet.rows[r];
        if (row.status != RowStatus::Inserted) continue;
        QString given = row.newValues.value(f).toString().trimmed();
        bool number = given.size() >= 1 && given.size() <= 3;
        for (QChar ch : given)
            number = number && ch >= u'0' && ch <= u'9';
        if (number) given = given.rightJustified(3, u'0');
        if (number && !taken.contains(given)) {
            row.newValues[f] = given;
            taken.insert(given);
            continue;
        }
        const QString code = nextFreeCode(taken);
        if (code.size() > 3) {
            refused.add(r, QStringLiteral("the codes 001 to 999 are all taken"));
            continue;
        }
        row.newValues[f] = code;
        taken.insert(code);
        const QString why = number            ? QStringLiteral("the code %1 was taken").arg(given)
                            : given.isEmpty() ? QStringLiteral("no code was given")
                                              : QStringLiteral("the code %1 is not a number").arg(given.left(10));
        w.notes << QStringLiteral("%1 row %2: %3; stored as %4").arg(w.table).arg(r + 1).arg(why, code);
    }
}

// Refuses every modified row that renames its key.
void refuseKeyChanges(Refusals &refused, const wire::ChangePacket &packet, const TableDef &t)
{
    for (qsizetype r = 0; r < packet.rows.size(); ++r)
        if (changesKey(PacketRow(packet, packet.rows[r]), t)) refused.add(r, QStringLiteral("changes its code; codes are never renamed"));
}

// Refuses rows naming a teacher (in any of `fields`) who is not a teacher of the school.
void refuseStrangeTeachers(MethodCall &c, Refusals &refused, const wire::ChangePacket &packet, const QStringList &fields)
{
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const PacketRow row(packet, packet.rows[r]);
        if (row.status() == RowStatus::Deleted) continue;
        for (const QString &f : fields)
            if (!isTeacherOfSchool(c, row.text(f))) refused.add(r, QStringLiteral("%1 names no teacher of this school").arg(f));
    }
}

// Deleted rows still in use by `sql`, whose parameters are the row's values of `fields` ("@school":
// the user's school).
void refuseUsedDeletes(MethodCall &c, Refusals &refused, const wire::ChangePacket &packet, const QString &sql, const QStringList &fields, const QString &why)
{
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const PacketRow row(packet, packet.rows[r]);
        if (row.status() != RowStatus::Deleted) continue;
        QVariantList params;
        for (const QString &f : fields)
            params << (f == u"@school" ? QVariant(c.user().school) : row.value(f));
        if (c.db().scalar(sql, params).toLongLong() > 0) refused.add(r, why);
    }
}

// Rows of grades the writer may not reach through the course table.
void refuseUnreachedGrades(MethodCall &c, Refusals &refused, const wire::ChangePacket &packet)
{
    const GradeReach reach(c);
    if (reach.everything()) return;
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const PacketRow row(packet, packet.rows[r]);
        for (const bool old : {false, true}) {
            if (old && row.status() == RowStatus::Inserted) continue;
            const QVariant year = old ? row.old(u"InYear") : row.value(u"InYear");
            const QString grade = (old ? row.old(u"GradeCode") : row.value(u"GradeCode")).toString();
            if (!reach.reaches(year.toLongLong(), grade)) {
                refused.add(r, QStringLiteral("is of the grade %1 (%2), which this user does not lead").arg(grade).arg(year.toLongLong()));
                break;
            }
        }
    }
}

// ---- departments --------------------------------------------------------------------------------

void qDept(MethodCall &c)
{
    c.school(0);
    c.setRef(1, schoolRows(c, QStringLiteral("XJ_Dept"), {"sCode", "sName", "sMemo", "SchoolCode"}, QStringLiteral("\"sCode\"")));
}

void upDept(MethodCall &c)
{
    OrganisationWrite w(QStringLiteral("XJ_Dept"));
    w.check = [&](Refusals &refused, wire::ChangePacket &packet) {
        refuseKeyChanges(refused, packet, schemaTable(w.table));
        refuseUsedDeletes(c, refused, packet, QStringLiteral("SELECT count(*) FROM \"JC_DeptTeacher\" WHERE \"SchoolCode\" = ? AND \"DepartCode\" = ?"),
                          {"@school", "sCode"}, QStringLiteral("the department still has teachers"));
        assignFreeCodes(c, w, refused, packet, QStringLiteral("sCode"));
    };
    storeOrganisationRows(c, w);
}

// ---- classes ----------------------------------------------------------------------------------------

void qClasses(MethodCall &c)
{
    c.school(0);
    c.setRef(1, schoolRows(c, QStringLiteral("XJ_Class"), {"ClassCode", "ClassName", "sType", "sArea", "SchoolCode"}, QStringLiteral("\"ClassCode\"")));
}

// A new class whose code is taken is refused rather than renumbered: its name was made from its code.
void upClass(MethodCall &c)
{
    OrganisationWrite w(QStringLiteral("XJ_Class"));
    w.check = [&](Refusals &refused, wire::ChangePacket &packet) {
        refuseKeyChanges(refused, packet, schemaTable(w.table));
        refuseUsedDeletes(c, refused, packet, QStringLiteral("SELECT count(*) FROM \"XJ_GradeClass\" WHERE \"SchoolCode\" = ? AND \"ClassCode\" = ?"),
                          {"@school", "ClassCode"}, QStringLiteral("a grade has the class"));
        const QSet<QString> stored = storedCodes(c, w.table, QStringLiteral("ClassCode"));
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            const PacketRow row(packet, packet.rows[r]);
            if (row.status() == RowStatus::Inserted && stored.contains(row.text(u"ClassCode")))
                refused.add(r, QStringLiteral("the class code %1 is taken").arg(row.text(u"ClassCode")));
        }
    };
    storeOrganisationRows(c, w);
}

// ---- grades -------------------------------------------------------------------------------------------

void upGrade(MethodCall &c)
{
    OrganisationWrite w(QStringLiteral("XJ_Grade"));
    const TableDef &t = schemaTable(w.table);
    const bool limited = !(c.hasRight(QStringLiteral("4001"), QStringLiteral("Manager")) || c.hasFunction(kGradeDefine));
    if (limited) requireOnlyChanges(P::UpGrade, c.changes(0), t, {"teachercode", "subteachercode"});
    w.check = [&](Refusals &refused, wire::ChangePacket &packet) {
        refuseKeyChanges(refused, packet, t);
        refuseStrangeTeachers(c, refused, packet, {"TeacherCode", "SubTeacherCode"});
        if (limited) refuseUnreachedGrades(c, refused, packet);
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            const PacketRow row(packet, packet.rows[r]);
            const QString flag = row.text(u"bCurGrade");
            if (row.status() != RowStatus::Deleted && row.has(u"bCurGrade") && !flag.isEmpty() && flag != u"Y" && flag != u"N")
                refused.add(r, QStringLiteral("bCurGrade is Y or N"));
        }
        refuseUsedDeletes(c, refused, packet,
                          QStringLiteral("SELECT (SELECT count(*) FROM \"XJ_GradeSubject\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ?) "
                                         "+ (SELECT count(*) FROM \"XJ_GradeClass\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ?)"),
                          {"@school", "InYear", "GradeCode", "@school", "InYear", "GradeCode"}, QStringLiteral("the grade still has subjects or classes"));
    };
    storeOrganisationRows(c, w);
}

// ---- grade classes --------------------------------------------------------------------------------------

// (school, var InYear, grade, var Data): one row per class of the school, the grade's own marked.
void qGradeClassesSel(MethodCall &c)
{
    const QString school = c.school(0);
    c.setRef(
        3,
        c.db().select(
            QStringLiteral(
                "SELECT CASE WHEN gc.\"ClassCode\" IS NULL THEN 0 ELSE 1 END, CASE WHEN gc.\"ClassCode\" IS NULL THEN 0 ELSE 1 END, "
                "cl.\"ClassCode\", cl.\"ClassName\", gc.\"AliasName\", COALESCE(gc.\"sArea\", cl.\"sArea\"), gc.\"TeacherCode\", "
                "CAST(? AS INTEGER), CAST(? AS VARCHAR(4)), cl.\"SchoolCode\" FROM \"XJ_Class\" cl LEFT JOIN \"XJ_GradeClass\" gc ON gc.\"SchoolCode\" = cl.\"SchoolCode\" "
                "AND gc.\"ClassCode\" = cl.\"ClassCode\" AND gc.\"InYear\" = ? AND gc.\"GradeCode\" = ? "
                "WHERE cl.\"SchoolCode\" = ? ORDER BY cl.\"ClassCode\""),
            {c.integer(1), c.text(2), c.integer(1), c.text(2), school},
            {{"Selected", FieldType::Boolean, 0, 0},
             {"Sel", FieldType::Boolean, 0, 0},
             {"ClassCode", FieldType::Text, 3, wire::FieldDef::Key},
             {"ClassName", FieldType::Text, 40, 0},
             {"AliasName", FieldType::Text, 40, 0},
             {"sArea", FieldType::Text, 20, 0},
             {"TeacherCode", FieldType::Text, 38, 0},
             {"InYear", FieldType::Integer, 0, 0},
             {"GradeCode", FieldType::Text, 4, 0},
             {"SchoolCode", FieldType::Text, 20, 0}}));
}

// A grade class that goes takes its lines of the course table along.
void upGradeClass(MethodCall &c)
{
    OrganisationWrite w(QStringLiteral("XJ_GradeClass"));
    const TableDef &t = schemaTable(w.table);
    const bool limited = !(c.hasRight(QStringLiteral("4006"), QStringLiteral("Manager")) || c.hasFunction(kGradeDefine));
    if (limited) requireOnlyChanges(P::UpGradeClass, c.changes(0), t, {"teachercode"});
    w.check = [&](Refusals &refused, wire::ChangePacket &packet) {
        refuseKeyChanges(refused, packet, t);
        refuseStrangeTeachers(c, refused, packet, {"TeacherCode"});
        if (limited) refuseUnreachedGrades(c, refused, packet);
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            const PacketRow row(packet, packet.rows[r]);
            if (row.status() == RowStatus::Inserted && !isClassOfSchool(c, row.text(u"ClassCode")))
                refused.add(r, QStringLiteral("ClassCode names no class of this school"));
        }
        refuseUsedDeletes(
            c, refused, packet,
            QStringLiteral("SELECT count(*) FROM \"XJ_Student\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? AND \"ClassCode\" = ?"),
            {"@school", "InYear", "GradeCode", "ClassCode"}, QStringLiteral("the class has students"));
    };
    w.after = [&](Refusals &, const wire::ChangePacket &packet) {
        for (const wire::RowChange &change : packet.rows) {
            const PacketRow row(packet, change);
            if (row.status() != RowStatus::Deleted) continue;
            c.db().exec(
                QStringLiteral("DELETE FROM \"XJ_CourseTable\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? AND \"ClassCode\" = ?"),
                {c.user().school, row.value(u"InYear").toLongLong(), row.text(u"GradeCode"), row.text(u"ClassCode")});
        }
    };
    storeOrganisationRows(c, w);
}

// (school, " and GradeCode='1701' and InYear=2026 and ClassCode='001'"): the class's students.
void qCheckStudent(MethodCall &c)
{
    const QString school = c.school(0);
    const grammar::GradeClassCondition k = grammar::parseStudentCondition(c.text(1));
    c.setResult(c.db()
                    .scalar(QStringLiteral("SELECT count(*) FROM \"XJ_Student\" WHERE \"SchoolCode\" = ? AND \"GradeCode\" = ? AND \"InYear\" = ? "
                                           "AND \"ClassCode\" = ?"),
                            {school, k.gradeCode, k.inYear, k.classCode})
                    .toLongLong());
}

// (school, table, field, "'code'"): the rows of the fixed list's table that hold the code.
void qCheckData(MethodCall &c)
{
    const QString school = c.school(0);
    const grammar::CheckData check = grammar::parseCheckData(c.text(1), c.text(2), c.text(3));
    const QString sql = check.target == grammar::CheckDataTarget::GradeClassClassCode
                            ? QStringLiteral("SELECT count(*) FROM \"XJ_GradeClass\" WHERE \"SchoolCode\" = ? AND \"ClassCode\" = ?")
                            : QStringLiteral("SELECT count(*) FROM \"XJ_GradeSubject\" WHERE \"SchoolCode\" = ? AND \"SubjectCode\" = ?");
    c.setResult(c.db().scalar(sql, {school, check.value}).toLongLong());
}

// ---- subjects ---------------------------------------------------------------------------------------------

void qSchoolSubjects(MethodCall &c)
{
    c.school(0);
    c.setRef(1, schoolRows(c, QStringLiteral("XJ_Subject"), {"SubjectCode", "SubjectName", "TeacherCode", "SubTeacherCode", "SchoolCode"},
                           QStringLiteral("\"SubjectCode\"")));
}

void upSubject(MethodCall &c)
{
    OrganisationWrite w(QStringLiteral("XJ_Subject"));
    const TableDef &t = schemaTable(w.table);
    const bool limited = !c.hasRight(QStringLiteral("4003"), QStringLiteral("Manager"));
    if (limited) {
        requireOnlyChanges(P::UpSubject, c.changes(0), t, {"teachercode", "subteachercode"});
        if (!GradeReach(c).everything())
            throw CallError(ErrorCode::Forbidden,
                            QStringLiteral("%1: the school's subject leaders are set by a user who may view every grade").arg(P::UpSubject.fullName()));
    }
    w.check = [&](Refusals &refused, wire::ChangePacket &packet) {
        refuseKeyChanges(refused, packet, t);
        refuseStrangeTeachers(c, refused, packet, {"TeacherCode", "SubTeacherCode"});
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            const PacketRow row(packet, packet.rows[r]);
            if (row.status() != RowStatus::Deleted && row.has(u"SubjectName") && row.text(u"SubjectName").isEmpty())
                refused.add(r, QStringLiteral("a subject needs a name"));
        }
        refuseUsedDeletes(c, refused, packet, QStringLiteral("SELECT count(*) FROM \"XJ_GradeSubject\" WHERE \"SchoolCode\" = ? AND \"SubjectCode\" = ?"),
                          {"@school", "SubjectCode"}, QStringLiteral("a grade has the subject"));
        assignFreeCodes(c, w, refused, packet, QStringLiteral("SubjectCode"));
    };
    w.after = [&](Refusals &refused, const wire::ChangePacket &) {
        // Two subjects of one name cannot be told apart on any page.
        const wire::DataPacket twice = c.db().select(QStringLiteral("SELECT \"SubjectName\" FROM \"XJ_Subject\" WHERE \"SchoolCode\" = ? "
                                                                    "GROUP BY \"SubjectName\" HAVING count(*) > 1 ORDER BY \"SubjectName\""),
                                                     {c.user().school}, {{"SubjectName", FieldType::Text, 0, 0}});
        for (qsizetype r = 0; r < twice.rowCount(); ++r)
            refused.addWhole(QStringLiteral("the subject name %1 would be used twice").arg(twice.value(r, 0).toString()));
    };
    storeOrganisationRows(c, w);
}

// ---- grade subjects -----------------------------------------------------------------------------------------

void qGradeSubjects(MethodCall &c)
{
    c.school(0);
    const TableDef &t = schemaTable(u"XJ_GradeSubject");
    QVariantList params{c.user().school};
    const QString where = gradeSelection(c, 1, 2, QStringLiteral("gs"), params);
    c.setRef(3, c.db().select(QStringLiteral("SELECT %1 FROM \"XJ_GradeSubject\" gs WHERE gs.\"SchoolCode\" = ? AND %2 "
                                             "ORDER BY gs.\"InYear\", gs.\"GradeCode\", gs.\"SubjectCode\"")
                                  .arg(columnList(t, QStringLiteral("gs")), where),
                              params, t.fieldDefs()));
}

// (school, var InYear, grade, var Data): one row per subject of the school, the grade's own marked.
void qGradeSubjectsSel(MethodCall &c)
{
    const QString school = c.school(0);
    c.setRef(
        3,
        c.db().select(
            QStringLiteral(
                "SELECT CASE WHEN gs.\"SubjectCode\" IS NULL THEN 0 ELSE 1 END, CASE WHEN gs.\"SubjectCode\" IS NULL THEN 0 ELSE 1 END, "
                "s.\"SubjectCode\", s.\"SubjectName\", gs.\"SubjectType\", gs.\"FullMark\", gs.\"TeacherCode\", gs.\"SubTeacherCode\", "
                "CAST(? AS INTEGER), CAST(? AS VARCHAR(4)), s.\"SchoolCode\" FROM \"XJ_Subject\" s LEFT JOIN \"XJ_GradeSubject\" gs ON gs.\"SchoolCode\" = s.\"SchoolCode\" "
                "AND gs.\"SubjectCode\" = s.\"SubjectCode\" AND gs.\"InYear\" = ? AND gs.\"GradeCode\" = ? "
                "WHERE s.\"SchoolCode\" = ? ORDER BY s.\"SubjectCode\""),
            {c.integer(1), c.text(2), c.integer(1), c.text(2), school},
            {{"Selected", FieldType::Boolean, 0, 0},
             {"Sel", FieldType::Boolean, 0, 0},
             {"SubjectCode", FieldType::Text, 3, wire::FieldDef::Key},
             {"SubjectName", FieldType::Text, 40, 0},
             {"SubjectType", FieldType::Integer, 0, 0},
             {"FullMark", FieldType::Integer, 0, 0},
             {"TeacherCode", FieldType::Text, 38, 0},
             {"SubTeacherCode", FieldType::Text, 38, 0},
             {"InYear", FieldType::Integer, 0, 0},
             {"GradeCode", FieldType::Text, 4, 0},
             {"SchoolCode", FieldType::Text, 20, 0}}));
}

// A grade subject that goes takes its lines of the course table along; the totals of the grade's
// open school-wide exams follow the subjects' types.
void upGradeSubject(MethodCall &c)
{
    OrganisationWrite w(QStringLiteral("XJ_GradeSubject"));
    const TableDef &t = schemaTable(w.table);
    const bool limited = !(c.hasRight(QStringLiteral("4007"), QStringLiteral("Manager")) || c.hasFunction(kGradeDefine));
    if (limited) requireOnlyChanges(P::UpGradeSubject, c.changes(0), t, {"teachercode", "subteachercode"});
    w.check = [&](Refusals &refused, wire::ChangePacket &packet) {
        refuseKeyChanges(refused, packet, t);
        refuseStrangeTeachers(c, refused, packet, {"TeacherCode", "SubTeacherCode"});
        if (limited) refuseUnreachedGrades(c, refused, packet);
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            const PacketRow row(packet, packet.rows[r]);
            if (row.status() == RowStatus::Inserted && !isSubjectOfSchool(c, row.text(u"SubjectCode")))
                refused.add(r, QStringLiteral("SubjectCode names no subject of this school"));
            if (row.status() != RowStatus::Deleted && row.has(u"SubjectType") && !row.value(u"SubjectType").isNull() &&
                (row.value(u"SubjectType").toInt() < 0 || row.value(u"SubjectType").toInt() > 2))
                refused.add(r, QStringLiteral("SubjectType is 0, 1 or 2"));
        }
        refuseUsedDeletes(c, refused, packet,
                          QStringLiteral("SELECT count(*) FROM \"CJ_Mark\" m JOIN \"CJ_ExamTotal\" e ON e.\"Id\" = m.\"examId\" WHERE e.\"SchoolCode\" = ? "
                                         "AND e.\"InYear\" = ? AND e.\"GradeCode\" = ? AND m.\"SubjectCode\" = ? AND m.\"score\" > 0"),
                          {"@school", "InYear", "GradeCode", "SubjectCode"}, QStringLiteral("the grade has scores of the subject"));
    };
    w.after = [&](Refusals &, const wire::ChangePacket &packet) {
        QSet<QString> grades;
        for (const wire::RowChange &change : packet.rows) {
            const PacketRow row(packet, change);
            const qint64 year = row.value(u"InYear").toLongLong();
            const QString grade = row.text(u"GradeCode");
            if (row.status() == RowStatus::Deleted)
                c.db().exec(QStringLiteral("DELETE FROM \"XJ_CourseTable\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? "
                                           "AND \"SubjectCode\" = ?"),
                            {c.user().school, year, grade, row.text(u"SubjectCode")});
            grades.insert(QString::number(year) + u'|' + grade);
        }
        for (const QString &g : grades)
            refreshExamTotals(c.db(), c.user().school, g.section(u'|', 0, 0).toLongLong(), g.section(u'|', 1));
    };
    storeOrganisationRows(c, w);
}

// ---- the course table ---------------------------------------------------------------------------------------

void qCourseTable(MethodCall &c)
{
    c.school(0);
    const TableDef &t = schemaTable(u"XJ_CourseTable");
    QVariantList params{c.user().school};
    const QString where = gradeSelection(c, 1, 2, QStringLiteral("ct"), params);
    c.setRef(3, c.db().select(QStringLiteral("SELECT %1 FROM \"XJ_CourseTable\" ct WHERE ct.\"SchoolCode\" = ? AND %2 "
                                             "ORDER BY ct.\"InYear\", ct.\"GradeCode\", ct.\"ClassCode\", ct.\"SubjectCode\"")
                                  .arg(columnList(t, QStringLiteral("ct")), where),
                              params, t.fieldDefs()));
}

// Each line names a class and a subject its grade has and a teacher of the school, in a grade the
// writer reaches.
void upCourseTable(MethodCall &c)
{
    OrganisationWrite w(QStringLiteral("XJ_CourseTable"));
    w.check = [&](Refusals &refused, wire::ChangePacket &packet) {
        refuseKeyChanges(refused, packet, schemaTable(w.table));
        refuseStrangeTeachers(c, refused, packet, {"TeacherCode"});
        refuseUnreachedGrades(c, refused, packet);
        for (qsizetype r = 0; r < packet.rows.size(); ++r) {
            const PacketRow row(packet, packet.rows[r]);
            if (row.status() != RowStatus::Inserted) continue;
            const QVariantList grade{c.user().school, row.value(u"InYear").toLongLong(), row.text(u"GradeCode")};
            if (c.db()
                    .scalar(QStringLiteral("SELECT count(*) FROM \"XJ_GradeClass\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? "
                                           "AND \"ClassCode\" = ?"),
                            grade + QVariantList{row.text(u"ClassCode")})
                    .toLongLong() == 0)
                refused.add(r, QStringLiteral("the grade has no class %1").arg(row.text(u"ClassCode")));
            if (c.db()
                    .scalar(QStringLiteral("SELECT count(*) FROM \"XJ_GradeSubject\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND \"GradeCode\" = ? "
                                           "AND \"SubjectCode\" = ?"),
                            grade + QVariantList{row.text(u"SubjectCode")})
                    .toLongLong() == 0)
                refused.add(r, QStringLiteral("the grade has no subject %1").arg(row.text(u"SubjectCode")));
        }
    };
    storeOrganisationRows(c, w);
}

// (school, grade, subject, var InYear, var Data). With a subject: one row per class of the grade,
// Selected where the course table has the subject in it, with its teacher (the subject-class
// dialog). Without one: the grade's course table lines of every subject, all selected (what the
// score page reads to know who teaches where).
void qSubjectClass(MethodCall &c)
{
    const QString school = c.school(0), grade = c.text(1), subject = c.text(2);
    const qint64 inYear = c.integer(3);
    const QList<wire::FieldDef> fields{{"Selected", FieldType::Boolean, 0, 0}, {"SubjectCode", FieldType::Text, 3, 0},  {"ClassCode", FieldType::Text, 3, 0},
                                       {"ClassName", FieldType::Text, 40, 0},  {"TeacherCode", FieldType::Text, 38, 0}, {"TeacherName", FieldType::Text, 40, 0},
                                       {"InYear", FieldType::Integer, 0, 0},   {"GradeCode", FieldType::Text, 4, 0},    {"SchoolCode", FieldType::Text, 20, 0}};
    // The grade's alias of the class, else the school's name of it, else its code.
    const auto className = [](const QString &code) { return QStringLiteral("COALESCE(NULLIF(gc.\"AliasName\", ''), cl.\"ClassName\", %1)").arg(code); };
    if (subject.isEmpty()) {
        c.setRef(4, c.db().select(QStringLiteral("SELECT 1, ct.\"SubjectCode\", ct.\"ClassCode\", %1, ct.\"TeacherCode\", t.\"sName\", ct.\"InYear\", "
                                                 "ct.\"GradeCode\", ct.\"SchoolCode\" FROM \"XJ_CourseTable\" ct "
                                                 "LEFT JOIN \"XJ_GradeClass\" gc ON gc.\"SchoolCode\" = ct.\"SchoolCode\" AND gc.\"InYear\" = ct.\"InYear\" "
                                                 "AND gc.\"GradeCode\" = ct.\"GradeCode\" AND gc.\"ClassCode\" = ct.\"ClassCode\" "
                                                 "LEFT JOIN \"XJ_Class\" cl ON cl.\"SchoolCode\" = ct.\"SchoolCode\" AND cl.\"ClassCode\" = ct.\"ClassCode\" "
                                                 "LEFT JOIN \"JC_Teacher\" t ON t.\"sCode\" = ct.\"TeacherCode\" "
                                                 "WHERE ct.\"SchoolCode\" = ? AND ct.\"GradeCode\" = ? AND ct.\"InYear\" = ? "
                                                 "ORDER BY ct.\"SubjectCode\", ct.\"ClassCode\"")
                                      .arg(className(QStringLiteral("ct.\"ClassCode\""))),
                                  {school, grade, inYear}, fields));
        return;
    }
    c.setRef(4,
             c.db().select(
                 QStringLiteral("SELECT CASE WHEN ct.\"ClassCode\" IS NULL THEN 0 ELSE 1 END, CAST(? AS VARCHAR(3)), gc.\"ClassCode\", %1, ct.\"TeacherCode\", "
                                "t.\"sName\", gc.\"InYear\", gc.\"GradeCode\", gc.\"SchoolCode\" FROM \"XJ_GradeClass\" gc "
                                "LEFT JOIN \"XJ_Class\" cl ON cl.\"SchoolCode\" = gc.\"SchoolCode\" AND cl.\"ClassCode\" = gc.\"ClassCode\" "
                                "LEFT JOIN \"XJ_CourseTable\" ct ON ct.\"SchoolCode\" = gc.\"SchoolCode\" AND ct.\"InYear\" = gc.\"InYear\" "
                                "AND ct.\"GradeCode\" = gc.\"GradeCode\" AND ct.\"ClassCode\" = gc.\"ClassCode\" AND ct.\"SubjectCode\" = ? "
                                "LEFT JOIN \"JC_Teacher\" t ON t.\"sCode\" = ct.\"TeacherCode\" "
                                "WHERE gc.\"SchoolCode\" = ? AND gc.\"GradeCode\" = ? AND gc.\"InYear\" = ? ORDER BY gc.\"ClassCode\"")
                     .arg(className(QStringLiteral("gc.\"ClassCode\""))),
                 {subject, subject, school, grade, inYear}, fields));
}

} // namespace

void registerOrganisationMethods(Service &s)
{
    s.addMethod(P::QDept, qDept);
    s.addMethod(P::MaxDeptID, [](MethodCall &c) { maxCode(c, QStringLiteral("XJ_Dept"), QStringLiteral("sCode")); });
    s.addMethod(P::UpDept, upDept);
    s.addMethod(P::QClasses, qClasses);
    s.addMethod(P::UpClass, upClass);
    s.addMethod(P::UpGrade, upGrade);
    s.addMethod(P::QGradeClassesSel, qGradeClassesSel);
    s.addMethod(P::UpGradeClass, upGradeClass);
    s.addMethod(P::QCheckStudent, qCheckStudent);
    s.addMethod(P::QCheckData, qCheckData);
    s.addMethod(P::QSchoolSubjects, qSchoolSubjects);
    s.addMethod(P::MaxSubjectID, [](MethodCall &c) { maxCode(c, QStringLiteral("XJ_Subject"), QStringLiteral("SubjectCode")); });
    s.addMethod(P::UpSubject, upSubject);
    s.addMethod(P::QGradeSubjects, qGradeSubjects);
    s.addMethod(P::QGradeSubjectsSel, qGradeSubjectsSel);
    s.addMethod(P::UpGradeSubject, upGradeSubject);
    s.addMethod(P::QCourseTable, qCourseTable);
    s.addMethod(P::UpCourseTable, upCourseTable);
    s.addMethod(P::QSubjectClass, qSubjectClass);
    registerTeacherMethods(s);
    registerExamTotalMethods(s);
}

} // namespace lumeko::server
