// The student register's methods: students by class or grade, families, the photo index, the
// grade's classes, teachers, exam history, and the updates of students and families.

#include "server/core/auth.h"
#include "server/core/service.h"
#include "server/grammar/registerfilters.h"
#include "server/methods/methods.h"
#include "server/methods/organisationrows.h"
#include "server/methods/registerscope.h"
#include "server/methods/updates.h"
#include "server/storage/schema.h"
#include "toolkit/cipher/cipher.h"
#include "wire/protocol/methods.h"

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldType;

namespace {

const QString kRegister = QStringLiteral("4009");

// What a stored password reads as outside the server: the register needs only whether one is set.
const QString kPasswordSet = QStringLiteral("******");

// Rows of students under a condition on the student table "b" (and its joins), within what the
// signed-in teacher may see. Password hashes never leave the server.
wire::DataPacket students(MethodCall &c, const QString &where, QVariantList params)
{
    const TableDef &t = schemaTable(u"XJ_Student");
    QString condition = where;
    if (const QString scope = RegisterScope(c).condition(params); !scope.isEmpty()) condition += QStringLiteral(" AND ") + scope;
    QStringList columns;
    for (const ColumnDef &col : t.columns)
        columns << (col.name == u"sPass" ? QStringLiteral("CASE WHEN b.\"sPass\" IS NULL OR b.\"sPass\" = '' THEN '' ELSE '%1' END").arg(kPasswordSet)
                                         : QStringLiteral("b.") + Database::quoted(col.name));
    return c.db().select(QStringLiteral("SELECT %1 FROM \"XJ_Student\" b WHERE b.\"SchoolCode\" = ? AND %2 "
                                        "ORDER BY b.\"GradeCode\", b.\"ClassCode\", b.\"iClassNo\", b.\"sName\"")
                             .arg(columns.join(QStringLiteral(", ")), condition),
                         QVariantList{c.user().school} + params, t.fieldDefs());
}

// The students "b" of a grade, or of a whole stage (a grade code of one character): the stage's
// current grades, or its grades of one intake year when `current` is false.
QString gradeCondition(const QString &grade, qint64 inYear, bool current, QVariantList &params)
{
    if (grade.size() != 1) {
        params << grade << inYear;
        return QStringLiteral("b.\"GradeCode\" = ? AND b.\"InYear\" = ?");
    }
    params << grade + u'%';
    if (!current) {
        params << inYear;
        return QStringLiteral("b.\"GradeCode\" LIKE ? AND b.\"InYear\" = ?");
    }
    return QStringLiteral("b.\"GradeCode\" LIKE ? AND EXISTS (SELECT 1 FROM \"XJ_Grade\" g WHERE g.\"SchoolCode\" = b.\"SchoolCode\" "
                          "AND g.\"InYear\" = b.\"InYear\" AND g.\"GradeCode\" = b.\"GradeCode\" AND g.\"bCurGrade\" = 'Y')");
}

void qStudByClass(MethodCall &c)
{
    c.school(3);
    c.setRef(5, students(c, QStringLiteral("b.\"ClassCode\" = ? AND b.\"GradeCode\" = ? AND b.\"InYear\" = ?"),
                         {c.text(0), c.text(1), c.integer(2)}));
}

// (grade, var InYear, school, flag or var viewer list, user code, var Data). A whole stage (a
// grade code of one character) lists the current grades of the stage when the flag is "Y", and
// otherwise the grades of the intake year.
void qStudByGrade(MethodCall &c)
{
    c.school(2);
    const QString grade = c.text(0);
    QVariantList params;
    QString where;
    if (grade.size() == 1 && c.text(3) != u"Y" && c.isText(1)) {
        // A viewer list in place of the intake year: every intake of the stage.
        where = QStringLiteral("b.\"GradeCode\" LIKE ?");
        params << grade + u'%';
    } else {
        where = gradeCondition(grade, grade.size() == 1 && c.isText(1) ? 0 : c.integer(1), c.text(3) == u"Y", params);
    }
    // The user code argument limits nothing: which classes a teacher sees is his session's.
    c.setRef(5, students(c, where, params));
}

void qFamily(MethodCall &c)
{
    const QString school = c.school(0);
    const grammar::FamilyFilter f = grammar::parseFamilyFilter(c.text(1));
    const TableDef &t = schemaTable(u"XJ_Family");
    // A stage's page names no intake year (0): the families of its current grades.
    QVariantList params{school, school};
    const QString grade = gradeCondition(f.gradeCode, f.inYear, f.inYear == 0, params);
    QString sql = QStringLiteral("SELECT %1 FROM \"XJ_Family\" f JOIN \"XJ_Student\" b ON b.\"sCode\" = f.\"scode\" "
                                 "WHERE f.\"SchoolCode\" = ? AND b.\"SchoolCode\" = ? AND %2")
                      .arg(columnList(t, QStringLiteral("f")), grade);
    if (const QString scope = RegisterScope(c).condition(params); !scope.isEmpty()) sql += QStringLiteral(" AND ") + scope;
    if (f.classCode) {
        sql += QStringLiteral(" AND b.\"ClassCode\" = ?");
        params << *f.classCode;
    }
    c.setRef(2, c.db().select(sql + QStringLiteral(" ORDER BY f.\"scode\", f.\"sTitle\""), params, t.fieldDefs()));
}

// (school, grade, class, flag, "", var InYear): the photos of the grade's (or class's) students.
void qStudentImage(MethodCall &c)
{
    const QString school = c.school(0);
    QVariantList params{school};
    const QString grade = gradeCondition(c.text(1), c.integer(5), c.text(3) == u"Y", params);
    QString sql = QStringLiteral("SELECT p.\"scode\", p.\"imgtype\", p.\"imgfile\" FROM \"XJ_StudentPic\" p JOIN \"XJ_Student\" b ON b.\"sCode\" = p.\"scode\" "
                                 "WHERE p.\"SchoolCode\" = ? AND %1")
                      .arg(grade);
    if (!c.text(2).isEmpty()) {
        sql += QStringLiteral(" AND b.\"ClassCode\" = ?");
        params << c.text(2);
    }
    QList<wire::FieldDef> fields = schemaTable(u"XJ_StudentPic").fieldDefs({"scode", "imgtype", "imgfile"});
    fields[0].name = QStringLiteral("sCode"); // the page indexes the photos on "sCode;imgtype"
    c.setResult(c.db().select(sql, params, fields));
}

void qGradeClasses(MethodCall &c)
{
    const QString school = c.school(0);
    const QString grade = c.text(2);
    const TableDef &t = schemaTable(u"XJ_GradeClass");
    QString where;
    QVariantList params{school};
    bool plainCode = grade.size() >= 1 && grade.size() <= 4;
    for (QChar ch : grade)
        plainCode = plainCode && ch.unicode() < 128 && ch.isLetterOrNumber();
    if (!plainCode) {
        // The course table's grade filter in place of the grade code (and perhaps the year).
        where = gradeSelection(c, 1, 2, QStringLiteral("gc"), params);
    } else if (grade.size() == 1 || c.isText(1)) {
        // A stage, or a list in place of the intake year: the current grades' classes.
        where = QStringLiteral("gc.\"GradeCode\" LIKE ? AND EXISTS (SELECT 1 FROM \"XJ_Grade\" g WHERE g.\"SchoolCode\" = gc.\"SchoolCode\" "
                               "AND g.\"InYear\" = gc.\"InYear\" AND g.\"GradeCode\" = gc.\"GradeCode\" AND g.\"bCurGrade\" = 'Y')");
        params << grade + u'%';
    } else {
        where = QStringLiteral("gc.\"GradeCode\" = ? AND gc.\"InYear\" = ?");
        params << grade << c.integer(1);
    }
    c.setRef(3, c.db().select(QStringLiteral("SELECT %1 FROM \"XJ_GradeClass\" gc WHERE gc.\"SchoolCode\" = ? AND %2 ORDER BY gc.\"ClassCode\"")
                                  .arg(columnList(t, QStringLiteral("gc")), where),
                              params, t.fieldDefs()));
}

void qTeachers(MethodCall &c)
{
    const QString school = c.school(0);
    c.setRef(1, c.db().select(QStringLiteral("SELECT \"sCode\", \"sName\" FROM \"JC_Teacher\" WHERE \"SchoolCode\" = ? ORDER BY \"sName\""),
                              {school}, schemaTable(u"JC_Teacher").fieldDefs({"sCode", "sName"})));
}

// (sCode, var imgtype): the stored file name of a student's photo of the caller's school.
void qStudPicByCode(MethodCall &c)
{
    const QVariant file = c.db().scalar(QStringLiteral("SELECT \"imgfile\" FROM \"XJ_StudentPic\" WHERE \"scode\" = ? AND \"imgtype\" = ? AND \"SchoolCode\" = ?"),
                                        {c.text(0), QString::number(c.integer(1)), c.user().school});
    c.setResult(file.isNull() ? QString() : file.toString());
}

// The exams a student sat: a student with any may not be deleted from the register.
void qMyMarkList(MethodCall &c)
{
    const QString school = c.school(0);
    c.setRef(2, c.db().select(QStringLiteral("SELECT COALESCE(n.\"sValue\", e.\"GradeCode\"), e.\"ExamName\", e.\"GradeCode\", e.\"InYear\", e.\"ExamCode\" "
                                             "FROM \"CJ_ExamStudent\" s JOIN \"CJ_ExamTotal\" e ON e.\"Id\" = s.\"examId\" "
                                             "LEFT JOIN \"XT_School\" sc ON sc.\"SchoolCode\" = e.\"SchoolCode\" "
                                             "LEFT JOIN \"XT_GradeName\" n ON n.\"sSchoolType\" = sc.\"sSchoolType\" AND n.\"sKeyId\" = e.\"GradeCode\" "
                                             "WHERE s.\"StudentCode\" = ? AND e.\"SchoolCode\" = ? ORDER BY e.\"InYear\", e.\"GradeCode\", e.\"Id\""),
                              {c.text(1), school},
                              {{"GradeName", FieldType::Text, 40, 0}, {"ExamName", FieldType::Text, 60, 0}, {"GradeCode", FieldType::Text, 4, 0},
                               {"InYear", FieldType::Integer, 0, 0}, {"ExamCode", FieldType::Text, 10, 0}}));
}

// The fields a row of a change packet sets: an inserted row's non-empty values, a modified row's
// changed ones.
QSet<QString> changedFields(const wire::ChangePacket &packet, const wire::RowChange &row)
{
    QSet<QString> out;
    for (int f = 0; f < packet.fields.size(); ++f) {
        const QVariant now = row.newValues.value(f), before = row.oldValues.value(f);
        const bool set =
            row.status == wire::RowStatus::Inserted ? !(now.isNull() || now.toString().isEmpty()) : row.status == wire::RowStatus::Modified && now != before;
        if (set) out.insert(packet.fields[f].name.toLower());
    }
    return out;
}

[[noreturn]] void refuseRow(const wire::protocol::Method &m, qsizetype row, const QString &why)
{
    throw CallError(ErrorCode::Forbidden, QStringLiteral("%1: row %2 %3; nothing was stored").arg(m.fullName()).arg(row + 1).arg(why));
}

// Every row of a write to the register concerns a student of the caller's school whom he may
// change: one of his classes (unless he may see and change every class), of a current grade
// (unless he holds EditHis). A new student is placed by the row's own grade and class.
void checkStudentRows(MethodCall &c, const wire::protocol::Method &m, const wire::ChangePacket &packet, const QString &codeField)
{
    const RegisterScope scope(c);
    const bool editHistory = c.hasRight(kRegister, QStringLiteral("EditHis"));
    const int code = packet.fieldIndex(codeField);
    if (code < 0) throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: the changes lack the field %2").arg(m.fullName(), codeField));
    const int year = packet.fieldIndex(u"InYear"), grade = packet.fieldIndex(u"GradeCode"), cls = packet.fieldIndex(u"ClassCode");
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const wire::RowChange &row = packet.rows[r];
        const bool newStudent = row.status == wire::RowStatus::Inserted && codeField == u"sCode";
        const QString student = (row.status == wire::RowStatus::Inserted ? row.newValues : row.oldValues).value(code).toString();
        RegisterScope::Place place;
        if (newStudent) {
            if (year < 0 || grade < 0)
                throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: a new student needs InYear and GradeCode").arg(m.fullName()));
            place = {row.newValues.value(year).toLongLong(), row.newValues.value(grade).toString(), cls < 0 ? QString() : row.newValues.value(cls).toString(),
                     true};
            place.current = scope.isCurrentGrade(place.inYear, place.grade);
        } else if (const auto stored = scope.studentPlace(student)) {
            place = *stored;
        } else {
            refuseRow(m, r, QStringLiteral("names no student of this school"));
        }
        if (!scope.contains(place.inYear, place.grade, place.classCode)) refuseRow(m, r, QStringLiteral("is a student outside the classes of this user"));
        if (!place.current && !editHistory) refuseRow(m, r, QStringLiteral("is a student of a history grade, which needs the right 4009/EditHis"));
    }
}

// Students are changed from the register (Manager), its class change (ChangeClass: the grade and
// class of existing students, nothing else) and its import (Import: new and changed students, no
// deletions). Passwords are set through SetPass, or arrive enciphered from the import and are
// stored as hashes; a password in clear is refused.
void upStudent(MethodCall &c)
{
    const wire::protocol::Method &m = wire::protocol::UpStudent;
    const bool manager = c.hasRight(kRegister, QStringLiteral("Manager")), import = c.hasRight(kRegister, QStringLiteral("Import"));
    wire::ChangePacket packet = c.changes(0);
    static const QSet<QString> classFields = {"ingrade", "inyear", "gradecode", "classcode", "selected"};
    const int pass = packet.fieldIndex(u"sPass");
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const wire::RowChange &row = packet.rows[r];
        if (row.status == wire::RowStatus::Deleted && !manager) refuseRow(m, r, QStringLiteral("deletes a student, which needs the right 4009/Manager"));
        if (!manager && !import) {
            if (row.status != wire::RowStatus::Modified) refuseRow(m, r, QStringLiteral("adds a student, which needs the right 4009/Manager"));
            for (const QString &f : changedFields(packet, row))
                if (!classFields.contains(f))
                    refuseRow(m, r, QStringLiteral("changes %1; the right 4009/ChangeClass moves students between classes only").arg(f));
        }
        if (pass >= 0 && changedFields(packet, row).contains(QStringLiteral("spass")) && !cipher::isCipherText(row.newValues.value(pass).toString()))
            refuseRow(m, r, QStringLiteral("sets a password in clear; passwords are set through SetPass"));
    }
    checkStudentRows(c, m, packet, QStringLiteral("sCode"));

    // A student with exam data stays in the register: such a deletion is refused.
    const int code = packet.fieldIndex(u"sCode");
    int refused = 0;
    QStringList reasons;
    for (const wire::RowChange &row : packet.rows) {
        if (row.status != wire::RowStatus::Deleted || code < 0) continue;
        const QString student = row.oldValues.value(code).toString();
        if (c.db().scalar(QStringLiteral("SELECT count(*) FROM \"CJ_ExamStudent\" WHERE \"StudentCode\" = ?"), {student}).toLongLong() > 0) {
            ++refused;
            reasons << QStringLiteral("the student %1 has exam data and cannot be deleted").arg(student);
        }
    }
    if (refused > 0) {
        c.setRef(2, qint64(refused));
        c.setMessage(reasons.join(u'\n'));
        return;
    }
    if (pass >= 0) {
        // The register holds only whether a password is set, never the stored hash: where a row
        // replaces or deletes one, the stored value stands in for what the page showed, and an
        // imported password is stored as its hash.
        const int code = packet.fieldIndex(u"sCode");
        for (wire::RowChange &row : packet.rows) {
            const bool changes = changedFields(packet, row).contains(QStringLiteral("spass"));
            if (row.status == wire::RowStatus::Deleted || (row.status == wire::RowStatus::Modified && changes))
                row.oldValues[pass] = c.db().scalar(QStringLiteral("SELECT \"sPass\" FROM \"XJ_Student\" WHERE \"sCode\" = ? AND \"SchoolCode\" = ?"),
                                                    {row.oldValues.value(code), c.user().school});
            if (!changes) continue;
            const std::optional<QString> plain = cipher::decStr(row.newValues.value(pass).toString(), QString::fromLatin1(cipher::kImportPasswordKey));
            if (!plain) throw CallError(ErrorCode::BadArguments, QStringLiteral("an imported password cannot be deciphered"));
            row.newValues[pass] = hashPassword(*plain, c.env().options().passwordCost);
        }
    }
    applyTableUpdate(c, QStringLiteral("XJ_Student"), packet);
}

// (school, var InYear, var grade, var Data): the grade's classes with their names.
void qGradeClassNames(MethodCall &c)
{
    const QString school = c.school(0);
    c.setRef(3, c.db().select(QStringLiteral("SELECT gc.\"ClassCode\", COALESCE(cl.\"ClassName\", gc.\"AliasName\", gc.\"ClassCode\") "
                                             "FROM \"XJ_GradeClass\" gc LEFT JOIN \"XJ_Class\" cl ON cl.\"SchoolCode\" = gc.\"SchoolCode\" "
                                             "AND cl.\"ClassCode\" = gc.\"ClassCode\" WHERE gc.\"SchoolCode\" = ? AND gc.\"InYear\" = ? "
                                             "AND gc.\"GradeCode\" = ? ORDER BY gc.\"ClassCode\""),
                              {school, c.integer(1), c.text(2)},
                              {{"ClassCode", FieldType::Text, 3, 0}, {"ClassName", FieldType::Text, 40, 0}}));
}

// (school, grade, class, var InYear, image type): the stored photo rows the import adds to.
void qStudPicForUp(MethodCall &c)
{
    const QString school = c.school(0);
    const TableDef &t = schemaTable(u"XJ_StudentPic");
    QString sql = QStringLiteral("SELECT %1 FROM \"XJ_StudentPic\" p JOIN \"XJ_Student\" b ON b.\"sCode\" = p.\"scode\" "
                                 "WHERE p.\"SchoolCode\" = ? AND b.\"GradeCode\" = ? AND b.\"InYear\" = ? AND p.\"imgtype\" = ?")
                      .arg(columnList(t, QStringLiteral("p")));
    QVariantList params{school, c.text(1), c.integer(3), QString::number(c.integer(4))};
    if (!c.text(2).isEmpty()) {
        sql += QStringLiteral(" AND b.\"ClassCode\" = ?");
        params << c.text(2);
    }
    c.setResult(c.db().select(sql, params, t.fieldDefs()));
}

// (school, var grade, var InYear): for record card 2, per student of the grade, c1, c2, ... hold
// the totals of the exams the student sat, oldest first, over all the student's years; 15 for a
// primary grade, 24 for the others.
void qGetCard2(MethodCall &c)
{
    const QString school = c.school(0);
    const QString grade = c.text(1);
    const int columns = grade.startsWith(u'0') ? 15 : 24;
    const auto scores = c.db().select(
        QStringLiteral("SELECT b.\"sCode\", s.\"FullTotal\" FROM \"XJ_Student\" b "
                       "JOIN \"CJ_ExamStudent\" s ON s.\"StudentCode\" = b.\"sCode\" JOIN \"CJ_ExamTotal\" e ON e.\"Id\" = s.\"examId\" "
                       "WHERE b.\"SchoolCode\" = ? AND b.\"GradeCode\" = ? AND b.\"InYear\" = ? AND e.\"PageName\" = ? "
                       "ORDER BY b.\"sCode\", e.\"InYear\", e.\"GradeCode\", e.\"dDefDay\", e.\"Id\""),
        {school, grade, c.integer(2), QStringLiteral("⊥")}, {{"sCode", FieldType::Text, 38, 0}, {"FullTotal", FieldType::Float, 0, 0}});
    QList<wire::FieldDef> fields = {{QStringLiteral("sCode"), FieldType::Text, 38, wire::FieldDef::Key}};
    for (int i = 1; i <= columns; ++i) fields.append({QStringLiteral("c%1").arg(i), FieldType::Float, 0, 0});
    wire::DataPacket card(fields);
    QVariantList row;
    const auto flush = [&] {
        if (row.isEmpty()) return;
        while (row.size() < columns + 1) row << QVariant();
        card.appendRow(row);
        row.clear();
    };
    for (qsizetype r = 0; r < scores.rowCount(); ++r) {
        const QString student = scores.value(r, 0).toString();
        if (row.isEmpty() || row.first().toString() != student) {
            flush();
            row << student;
        }
        if (row.size() <= columns) row << scores.value(r, 1);
    }
    flush();
    c.setResult(card);
}

// (school, sCode, password, var mode): mode 2 sets a student's password, any other a teacher's.
// Only an Argon2id hash is stored; the person can then sign in with the password.
void setPass(MethodCall &c)
{
    const QString school = c.school(0);
    const bool students = c.integer(3) == 2;
    c.requireRight(students ? kRegister : QStringLiteral("4010"), QStringLiteral("SetPass"));
    const QString password = c.text(2);
    if (password.size() > 200) throw CallError(ErrorCode::BadArguments, QStringLiteral("a password holds at most 200 characters"));
    if (students) {
        // The student must be one the user may change, as in the register's own writes.
        wire::ChangePacket one;
        one.fields = {{QStringLiteral("sCode"), FieldType::Text, 38, 0}};
        one.rows = {{wire::RowStatus::Modified, {c.text(1)}, {c.text(1)}}};
        checkStudentRows(c, wire::protocol::SetPass, one, QStringLiteral("sCode"));
    }
    const QString table = students ? QStringLiteral("XJ_Student") : QStringLiteral("JC_Teacher");
    const QVariant hash = password.isEmpty() ? QVariant() : QVariant(hashPassword(password, c.env().options().passwordCost));
    Database &db = c.db();
    const int n = db.exec(QStringLiteral("UPDATE %1 SET \"sPass\" = ? WHERE \"sCode\" = ? AND \"SchoolCode\" = ?").arg(Database::quoted(table)),
                          {hash, c.text(1), school});
    // A teacher whose password changed is signed out everywhere but here.
    if (!students && n == 1)
        db.exec(QStringLiteral("DELETE FROM \"XT_Session\" WHERE \"TeacherCode\" = ? AND \"sTokenHash\" <> ?"), {c.text(1), c.user().tokenHash});
    c.setResult(qint64(n == 1 ? 1 : 0));
}

// An update of a table whose rows belong to students ("scode"): each row's student must be one the
// user may change.
std::function<void(MethodCall &)> studentRowsUpdate(const wire::protocol::Method &decl, const QString &table)
{
    return [&decl, table](MethodCall &c) {
        checkStudentRows(c, decl, c.changes(0), QStringLiteral("scode"));
        applyTableUpdate(c, table);
    };
}

} // namespace

void registerStudentMethods(Service &s)
{
    namespace P = wire::protocol;
    s.addMethod(P::QStudByClass, qStudByClass);
    s.addMethod(P::QStudByGrade, qStudByGrade);
    s.addMethod(P::QFamily, qFamily);
    s.addMethod(P::QStudentImage, qStudentImage);
    s.addMethod(P::QGradeClasses, qGradeClasses);
    s.addMethod(P::QTeachers, qTeachers);
    s.addMethod(P::QStudPicByCode, qStudPicByCode);
    s.addMethod(P::QGradeClassNames, qGradeClassNames);
    s.addMethod(P::QStudPicForUp, qStudPicForUp);
    s.addMethod(P::QGetCard2, qGetCard2);
    s.addMethod(P::QMyMarkList, qMyMarkList);
    s.addMethod(P::SetPass, setPass);
    s.addMethod(P::UpPicture, studentRowsUpdate(P::UpPicture, QStringLiteral("XJ_StudentPic")));
    s.addMethod(P::UpStudent, upStudent);
    s.addMethod(P::UpFamily, studentRowsUpdate(P::UpFamily, QStringLiteral("XJ_Family")));
}

} // namespace lumeko::server
