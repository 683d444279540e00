// The student register's methods: students by class or grade, families, the photo index, the
// grade's classes, teachers, exam history, and the updates of students and families.

#include "host/pub/cipher.h"
#include "server/core/auth.h"
#include "server/core/service.h"
#include "server/grammar/registerfilters.h"
#include "server/methods/methods.h"
#include "server/methods/updates.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldType;

namespace {

const QString kRegister = QStringLiteral("4009");

// "a"."b", ... for the columns of a table, with an alias.
QString columnList(const TableDef &t, const QString &alias)
{
    QStringList cols;
    for (const ColumnDef &c : t.columns) cols << alias + u'.' + Database::quoted(c.name);
    return cols.join(u", ");
}

// Rows of students under a condition on the student table "b" (and its joins).
wire::DataPacket students(MethodCall &c, const QString &where, const QVariantList &params)
{
    const TableDef &t = schemaTable(u"XJ_Student");
    return c.db().select(QStringLiteral("SELECT %1 FROM \"XJ_Student\" b WHERE b.\"SchoolCode\" = ? AND %2 "
                                        "ORDER BY b.\"GradeCode\", b.\"ClassCode\", b.\"iClassNo\", b.\"sName\"")
                             .arg(columnList(t, QStringLiteral("b")), where),
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

// The classes a teacher heads or teaches in a grade of an intake year.
const char *kUserClasses = "b.\"ClassCode\" IN (SELECT gc.\"ClassCode\" FROM \"XJ_GradeClass\" gc WHERE gc.\"SchoolCode\" = b.\"SchoolCode\" "
                           "AND gc.\"InYear\" = b.\"InYear\" AND gc.\"GradeCode\" = b.\"GradeCode\" AND gc.\"TeacherCode\" = ? "
                           "UNION SELECT ct.\"ClassCode\" FROM \"XJ_CourseTable\" ct WHERE ct.\"SchoolCode\" = b.\"SchoolCode\" "
                           "AND ct.\"InYear\" = b.\"InYear\" AND ct.\"GradeCode\" = b.\"GradeCode\" AND ct.\"TeacherCode\" = ?)";

void qStudByClass(MethodCall &c)
{
    c.school(3);
    c.setRef(5, students(c, QStringLiteral("b.\"ClassCode\" = ? AND b.\"GradeCode\" = ? AND b.\"InYear\" = ?"),
                         {c.text(0), c.text(1), c.integer(2)}));
}

// (grade, var InYear, school, flag or var viewer list, user code, var Data). A whole stage (a
// grade code of one character) lists the current grades of the stage when the flag is "Y", and
// otherwise the grades of the intake year; a user code limits the rows to that teacher's classes.
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
    if (const QString user = c.text(4); !user.isEmpty()) {
        where += QStringLiteral(" AND ") + QLatin1StringView(kUserClasses);
        params << user << user;
    }
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
                                 "WHERE p.\"SchoolCode\" = ? AND %1").arg(grade);
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
    if (grade.size() == 1 || c.isText(1)) {
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

// Students are changed from the register (Manager), its class change and its import.
void upStudent(MethodCall &c)
{
    // A student with exam data stays in the register: such a deletion is refused.
    const wire::ChangePacket &packet = c.changes(0);
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
        c.requireByRef(2);
        c.setRef(2, qint64(refused));
        c.setMessage(reasons.join(u'\n'));
        return;
    }
    // Imported passwords arrive enciphered with the import's key: store their hashes instead.
    const int pass = packet.fieldIndex(u"sPass");
    bool enciphered = false;
    for (const wire::RowChange &row : packet.rows)
        enciphered = enciphered || (pass >= 0 && pub::isCipherText(row.newValues.value(pass).toString()));
    if (!enciphered) {
        applyTableUpdate(c, QStringLiteral("XJ_Student"));
        return;
    }
    wire::ChangePacket hashed = packet;
    for (wire::RowChange &row : hashed.rows) {
        const QString value = row.newValues.value(pass).toString();
        if (!pub::isCipherText(value)) continue;
        const std::optional<QString> plain = pub::decStr(value, QString::fromLatin1(pub::kImportPasswordKey));
        if (!plain) throw CallError(ErrorCode::BadArguments, QStringLiteral("an imported password cannot be deciphered"));
        row.newValues[pass] = hashPassword(*plain, c.env().options().passwordCost);
    }
    applyTableUpdate(c, QStringLiteral("XJ_Student"), hashed);
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
    const QString table = students ? QStringLiteral("XJ_Student") : QStringLiteral("JC_Teacher");
    const QVariant hash = password.isEmpty() ? QVariant() : QVariant(hashPassword(password, c.env().options().passwordCost));
    const int n = c.db().exec(QStringLiteral("UPDATE %1 SET \"sPass\" = ? WHERE \"sCode\" = ? AND \"SchoolCode\" = ?").arg(Database::quoted(table)),
                              {hash, c.text(1), school});
    c.setResult(qint64(n == 1 ? 1 : 0));
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
    s.addMethod(P::UpPicture, tableUpdate(QStringLiteral("XJ_StudentPic")));
    s.addMethod(P::UpStudent, upStudent);
    s.addMethod(P::UpFamily, tableUpdate(QStringLiteral("XJ_Family")));
}

} // namespace lumeko::server
