// Exams: the exam-name catalogue, the exam header and its subject rows, the roster of candidates,
// and deleting an exam. An exam is one header per (school, grade, intake year, exam code, page
// name); the page name is "⊥" for a school-wide exam and the teacher's code for his unit exam.

#include "server/core/service.h"
#include "server/grammar/codelists.h"
#include "server/methods/examstore.h"
#include "server/methods/methods.h"
#include "server/methods/scorescope.h"
#include "server/methods/updates.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldType;
namespace P = wire::protocol;

namespace {

// ---- the catalogue ---------------------------------------------------------------------------------

void qExamInfo(MethodCall &c)
{
    const QString school = c.school(0);
    const TableDef &t = schemaTable(u"CJ_ExamInfo");
    c.setRef(1, c.db().select(QStringLiteral("SELECT %1 FROM \"CJ_ExamInfo\" e WHERE e.\"SchoolCode\" IN (?, 'SYSTEM') ORDER BY e.\"sCode\"")
                                  .arg(columnList(t, QStringLiteral("e"))),
                              {school}, t.fieldDefs()));
}

// Codes are numbers padded to three digits, unique over the school's and the shared rows.
void maxExamId(MethodCall &c)
{
    c.school(0);
    const auto codes = c.db().select(QStringLiteral("SELECT \"sCode\" FROM \"CJ_ExamInfo\""), {}, {{"sCode", FieldType::Text, 0, 0}});
    qint64 highest = -1;
    for (qsizetype r = 0; r < codes.rowCount(); ++r) {
        bool ok = false;
        const qint64 n = codes.value(r, 0).toString().toLongLong(&ok);
        if (ok) highest = std::max(highest, n);
    }
    c.setResult(highest < 0 ? wire::Value(QString()) : wire::Value(QString::number(highest)));
}

// The school's own names only: shared and built-in rows can be neither changed nor deleted.
void upExamInfo(MethodCall &c)
{
    const wire::ChangePacket &packet = c.changes(0);
    const int state = packet.fieldIndex(u"bState");
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const wire::RowChange &row = packet.rows[r];
        const QVariantList &values = row.status == wire::RowStatus::Inserted ? row.newValues : row.oldValues;
        if (state >= 0 && values.value(state).toBool())
            throw CallError(ErrorCode::Forbidden,
                            QStringLiteral("AchieveUp.UpExamInfo: row %1 is a built-in exam name, which cannot be changed; nothing was stored").arg(r + 1));
    }
    applyTableUpdate(c, QStringLiteral("CJ_ExamInfo"));
}

// ---- one exam ----------------------------------------------------------------------------------------

ExamKey keyOfRow(MethodCall &c, const wire::ChangePacket &p, const wire::RowChange &row)
{
    const QVariantList &v = row.status == wire::RowStatus::Inserted ? row.newValues : row.oldValues;
    const auto field = [&](const char *name) {
        const int f = p.fieldIndex(QString::fromLatin1(name));
        if (f < 0) throw CallError(ErrorCode::BadArguments, QStringLiteral("the exam's changes lack the field %1").arg(QLatin1String(name)));
        return v.value(f);
    };
    return {c.user().school, field("GradeCode").toString(), field("ExamCode").toString(), field("PageName").toString(), field("InYear").toLongLong()};
}

// The condition on an exam list "e" for who looks: everything for an unrestricted user or one who
// may view every grade; otherwise the school-wide exams and the user's own unit exams.
QString visibleExams(MethodCall &c, QVariantList &params)
{
    const SessionUser &u = c.user();
    if (u.unrestricted() || u.viewAllGrade) return {};
    params << kNoPage << u.teacherCode;
    return QStringLiteral(" AND e.\"PageName\" IN (?, ?)");
}

void qExamTotal(MethodCall &c)
{
    const QString school = c.school(0), grade = c.text(1), code = c.text(2);
    const TableDef &t = schemaTable(u"CJ_ExamTotal");
    QString where = QStringLiteral("e.\"SchoolCode\" = ?");
    QVariantList params{school};
    if (!code.isEmpty()) {
        where += QStringLiteral(" AND e.\"GradeCode\" = ? AND e.\"InYear\" = ? AND e.\"ExamCode\" = ? AND e.\"PageName\" = ?");
        params << grade << c.integer(4) << code << c.text(3);
    } else if (grade.size() == 1) {
        // A stage: the exams of its current grades.
        where += QStringLiteral(" AND e.\"GradeCode\" LIKE ? AND EXISTS (SELECT 1 FROM \"XJ_Grade\" g WHERE g.\"SchoolCode\" = e.\"SchoolCode\" "
                                "AND g.\"InYear\" = e.\"InYear\" AND g.\"GradeCode\" = e.\"GradeCode\" AND g.\"bCurGrade\" = 'Y')");
        params << grade + u'%';
    } else {
        where += QStringLiteral(" AND e.\"GradeCode\" = ? AND e.\"InYear\" = ?");
        params << grade << c.integer(4);
    }
    where += visibleExams(c, params);
    QList<wire::FieldDef> fields = t.fieldDefs();
    fields.append({QStringLiteral("StudentCount"), FieldType::Integer, 0, 0});
    c.setRef(5, c.db().select(QStringLiteral("SELECT %1, (SELECT COUNT(*) FROM \"CJ_ExamStudent\" s WHERE s.\"examId\" = e.\"Id\") FROM \"CJ_ExamTotal\" e "
                                             "WHERE %2 ORDER BY e.\"InYear\" DESC, e.\"GradeCode\", e.\"dDefDay\" DESC, e.\"Id\" DESC")
                                  .arg(columnList(t, QStringLiteral("e")), where),
                              params, fields));
}

// The most recent exam (by definition time) of the same name in the grade, of any intake year.
void qSameExamLast(MethodCall &c)
{
    const TableDef &t = schemaTable(u"CJ_ExamTotal");
    c.setResult(c.db().select(QStringLiteral("SELECT %1 FROM \"CJ_ExamTotal\" e WHERE e.\"SchoolCode\" = ? AND e.\"GradeCode\" = ? AND e.\"ExamCode\" = ? "
                                             "AND e.\"PageName\" = ? ORDER BY e.\"dDefDay\" DESC, e.\"Id\" DESC LIMIT 1")
                                  .arg(columnList(t, QStringLiteral("e"))),
                              {c.school(0), c.text(1), c.text(2), c.text(3)}, t.fieldDefs()));
}

// The exams of an intake year in one grade, or in every grade of a stage (one character).
void qSameExamList(MethodCall &c)
{
    const QString school = c.school(0), grade = c.text(2);
    QVariantList params{school, c.integer(1)};
    QString where = QStringLiteral("e.\"SchoolCode\" = ? AND e.\"InYear\" = ?");
    if (grade.size() == 1) {
        where += QStringLiteral(" AND e.\"GradeCode\" LIKE ?");
        params << grade + u'%';
    } else {
        where += QStringLiteral(" AND e.\"GradeCode\" = ?");
        params << grade;
    }
    where += visibleExams(c, params);
    const TableDef &t = schemaTable(u"CJ_ExamTotal");
    c.setResult(
        c.db().select(QStringLiteral("SELECT e.\"Id\", e.\"GradeCode\", e.\"InYear\", e.\"ExamCode\", e.\"PageName\", e.\"ExamName\" FROM \"CJ_ExamTotal\" e "
                                     "WHERE %1 ORDER BY e.\"GradeCode\", e.\"dDefDay\", e.\"Id\"")
                          .arg(where),
                      params, t.fieldDefs({"Id", "GradeCode", "InYear", "ExamCode", "PageName", "ExamName"})));
}

// Every subject of the grade with the exam's marks where the exam has it (then Freeze is true: the
// subject is selected).
void qExamSubjects(MethodCall &c)
{
    const ExamKey k = keyOfArgs(c, 1, 2, 3, 4);
    const TableDef &es = schemaTable(u"CJ_ExamSubject");
    const QStringList marks = {"ModuleCode", "Per",          "FullMark", "HighMark", "LowMark",    "ExcelMark",
                               "GoodMark",   "DistanceMark", "PassMark", "BadMark",  "ModifyRight"};
    QStringList cols;
    for (const QString &m : marks)
        cols << QStringLiteral("es.") + Database::quoted(m);
    QList<wire::FieldDef> fields = {{"SubjectCode", FieldType::Text, 3, 0}, {"SubjectName", FieldType::Text, 40, 0}, {"SubjectType", FieldType::Integer, 0, 0}};
    fields += es.fieldDefs(marks);
    fields.append({QStringLiteral("Freeze"), FieldType::Boolean, 0, 0});
    c.setRef(5,
             c.db().select(
                 QStringLiteral("SELECT gs.\"SubjectCode\", COALESCE(s.\"SubjectName\", gs.\"SubjectCode\"), gs.\"SubjectType\", %1, "
                                "CASE WHEN es.\"SubjectCode\" IS NULL THEN 0 ELSE 1 END FROM \"XJ_GradeSubject\" gs "
                                "LEFT JOIN \"XJ_Subject\" s ON s.\"SchoolCode\" = gs.\"SchoolCode\" AND s.\"SubjectCode\" = gs.\"SubjectCode\" "
                                "LEFT JOIN \"CJ_ExamSubject\" es ON es.\"SchoolCode\" = gs.\"SchoolCode\" AND es.\"GradeCode\" = gs.\"GradeCode\" "
                                "AND es.\"InYear\" = gs.\"InYear\" AND es.\"SubjectCode\" = gs.\"SubjectCode\" AND es.\"ExamCode\" = ? AND es.\"PageName\" = ? "
                                "WHERE gs.\"SchoolCode\" = ? AND gs.\"GradeCode\" = ? AND gs.\"InYear\" = ? ORDER BY gs.\"SubjectCode\"")
                     .arg(cols.join(QStringLiteral(", "))),
                 {k.code, k.page, k.school, k.grade, k.inYear}, fields));
}

void qExamSubjectForUp(MethodCall &c)
{
    const ExamKey k = keyOfArgs(c, 1, 2, 3, 4);
    const TableDef &t = schemaTable(u"CJ_ExamSubject");
    c.setRef(
        5, c.db().select(QStringLiteral("SELECT %1 FROM \"CJ_ExamSubject\" WHERE %2 ORDER BY \"SubjectCode\"").arg(columnList(t), QLatin1String(kExamIdentity)),
                         k.params(), t.fieldDefs()));
}

// The scores stored for a subject (a score of 0 or below is none); without a subject, the exam's
// candidates and scores together, which is what keeps an exam from being deleted.
void qCheckSubjectMark(MethodCall &c)
{
    const ExamKey k = keyOfArgs(c, 1, 2, 3, 5);
    // Without an exam, a subject's scores in every exam of the grade (the grade definition asks
    // before the subject leaves the grade).
    if (k.code.isEmpty() && !c.text(4).isEmpty()) {
        c.setResult(
            c.db()
                .scalar(QStringLiteral("SELECT COUNT(*) FROM \"CJ_Mark\" m JOIN \"CJ_ExamTotal\" e ON e.\"Id\" = m.\"examId\" WHERE e.\"SchoolCode\" = ? "
                                       "AND e.\"GradeCode\" = ? AND e.\"InYear\" = ? AND m.\"SubjectCode\" = ? AND m.\"score\" > 0"),
                        {k.school, k.grade, k.inYear, c.text(4)})
                .toLongLong());
        return;
    }
    const std::optional<StoredExam> exam = findExam(c.db(), k);
    if (!exam) {
        c.setResult(qint64(0));
        return;
    }
    const QString subject = c.text(4);
    qint64 n = 0;
    if (subject.isEmpty()) {
        n = c.db().scalar(QStringLiteral("SELECT COUNT(*) FROM \"CJ_ExamStudent\" WHERE \"examId\" = ?"), {exam->id}).toLongLong() +
            c.db().scalar(QStringLiteral("SELECT COUNT(*) FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"score\" > 0"), {exam->id}).toLongLong();
    } else {
        n = c.db()
                .scalar(QStringLiteral("SELECT COUNT(*) FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"SubjectCode\" = ? AND \"score\" > 0"), {exam->id, subject})
                .toLongLong();
    }
    c.setResult(n);
}

// A header change of a frozen exam: only unfreezing it.
bool onlyUnfreezes(const wire::ChangePacket &p, const wire::RowChange &row)
{
    if (row.status != wire::RowStatus::Modified) return false;
    for (int f = 0; f < p.fields.size(); ++f) {
        if (row.newValues.value(f) == row.oldValues.value(f)) continue;
        if (p.fields[f].name.compare(u"Freeze", Qt::CaseInsensitive) != 0 || row.newValues.value(f).toBool()) return false;
    }
    return true;
}

// Header and subject rows in one transaction: both stored or neither.
void upExamTotal(MethodCall &c)
{
    const P::Method &m = P::UpExamTotal;
    const wire::ChangePacket *header = c.isNull(0) ? nullptr : &c.changes(0);
    const wire::ChangePacket *subjects = c.isNull(1) ? nullptr : &c.changes(1);
    c.integer(2);
    QSet<QString> created, unfrozen; // exams this call creates or unfreezes
    QSet<qint64> subjectsChanged;    // stored exams whose subjects or pass marks this call changes
    const auto name = [](const ExamKey &k) { return QStringList{k.grade, QString::number(k.inYear), k.code, k.page}.join(u'|'); };
    if (header)
        for (const wire::RowChange &row : header->rows) {
            const ExamKey k = keyOfRow(c, *header, row);
            const std::optional<StoredExam> stored = findExam(c.db(), k);
            if (row.status == wire::RowStatus::Deleted)
                throw CallError(ErrorCode::Refused, QStringLiteral("%1: exams are deleted with UpDeleteExam; nothing was stored").arg(m.fullName()));
            requireExamWrite(c, m, k, !stored);
            if (stored && stored->frozen) {
                if (!onlyUnfreezes(*header, row))
                    throw CallError(ErrorCode::Forbidden, QStringLiteral("%1: the exam %2 is frozen; it can only be unfrozen").arg(m.fullName(), stored->name));
                unfrozen.insert(name(k));
            }
            if (!stored) created.insert(name(k));
        }
    if (subjects)
        for (const wire::RowChange &row : subjects->rows) {
            const ExamKey k = keyOfRow(c, *subjects, row);
            const std::optional<StoredExam> stored = findExam(c.db(), k);
            if (!stored && !created.contains(name(k)))
                throw CallError(ErrorCode::Refused, QStringLiteral("%1: subject rows of an exam that does not exist; nothing was stored").arg(m.fullName()));
            if (stored) {
                requireExamWrite(c, m, k, false);
                subjectsChanged.insert(stored->id);
            }
            if (stored && stored->frozen && !unfrozen.contains(name(k)))
                throw CallError(ErrorCode::Forbidden,
                                QStringLiteral("%1: the exam %2 is frozen; its subjects cannot be changed").arg(m.fullName(), stored->name));
        }
    c.requireByRef(3);
    ApplyRules rules;
    rules.school = c.user().school;
    Transaction tx(c.db());
    int errors = 0;
    QStringList messages;
    for (const auto &[packet, table] : {std::pair{header, u"CJ_ExamTotal"}, std::pair{subjects, u"CJ_ExamSubject"}}) {
        if (!packet || errors > 0) continue;
        const ApplyResult r = applyChanges(c.db(), schemaTable(table), *packet, rules);
        errors += r.errors;
        messages += r.messages;
    }
    // A candidate's standing over every subject depends on the subjects and their pass marks.
    for (const qint64 exam : subjectsChanged)
        c.db().exec(QStringLiteral("UPDATE \"CJ_ExamStudent\" SET \"iAllPass\" = NULL WHERE \"examId\" = ?"), {exam});
    if (errors == 0) tx.commit();
    c.setRef(3, qint64(errors));
    if (errors > 0) c.setMessage(messages.join(u'\n'));
}

// The exam's candidates: the grade's students in school (state "00") of the listed classes (all
// for an empty list). Candidates of a removed class who already have scores stay; the reply says
// how many.
void upExamStudents(MethodCall &c)
{
    const P::Method &m = P::UpExamStudents;
    const ExamKey k = keyOfArgs(c, 1, 2, 3, 5);
    const QStringList classes = grammar::parseQuotedCodeList(c.text(4));
    const std::optional<StoredExam> exam = findExam(c.db(), k);
    if (!exam) throw CallError(ErrorCode::Refused, QStringLiteral("%1: there is no such exam").arg(m.fullName()));
    requireExamWrite(c, m, k, false);
    if (exam->frozen)
        throw CallError(ErrorCode::Forbidden, QStringLiteral("%1: the exam %2 is frozen; its candidates cannot change").arg(m.fullName(), exam->name));
    Database &db = c.db();
    Transaction tx(db);
    const auto students = db.select(QStringLiteral("SELECT \"sCode\", \"ClassCode\" FROM \"XJ_Student\" WHERE \"SchoolCode\" = ? AND \"GradeCode\" = ? "
                                                   "AND \"InYear\" = ? AND COALESCE(\"iState\", '00') = '00'"),
                                    {k.school, k.grade, k.inYear}, {{"sCode", FieldType::Text, 0, 0}, {"ClassCode", FieldType::Text, 0, 0}});
    QHash<QString, QString> wanted; // student → class
    for (qsizetype r = 0; r < students.rowCount(); ++r)
        if (classes.isEmpty() || classes.contains(students.value(r, 1).toString()))
            wanted.insert(students.value(r, 0).toString(), students.value(r, 1).toString());
    const auto current =
        db.select(QStringLiteral("SELECT \"StudentCode\" FROM \"CJ_ExamStudent\" WHERE \"examId\" = ?"), {exam->id}, {{"StudentCode", FieldType::Text, 0, 0}});
    int kept = 0;
    for (qsizetype r = 0; r < current.rowCount(); ++r) {
        const QString student = current.value(r, 0).toString();
        if (wanted.remove(student)) continue; // stays a candidate
        if (db.scalar(QStringLiteral("SELECT COUNT(*) FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"StudentCode\" = ?"), {exam->id, student}).toLongLong() > 0) {
            ++kept;
            continue;
        }
        db.exec(QStringLiteral("DELETE FROM \"CJ_QuestionMark\" WHERE \"examId\" = ? AND \"StudentCode\" = ?"), {exam->id, student});
        db.exec(QStringLiteral("DELETE FROM \"CJ_ExamStudent\" WHERE \"examId\" = ? AND \"StudentCode\" = ?"), {exam->id, student});
    }
    for (auto it = wanted.cbegin(); it != wanted.cend(); ++it)
        db.exec(QStringLiteral("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\") VALUES (?, ?, ?)"),
                {exam->id, it.key(), it.value()});
    tx.commit();
    if (kept > 0) c.setMessage(QStringLiteral("%1 candidates outside the classes were kept because they already have scores").arg(kept));
    c.setResult(qint64(1));
}

// Removes an exam with everything that hangs on it, in one transaction. A frozen exam or one with
// candidates is refused.
void upDeleteExam(MethodCall &c)
{
    const P::Method &m = P::UpDeleteExam;
    const ExamKey k = keyOfArgs(c, 1, 2, 3, 4);
    const std::optional<StoredExam> exam = findExam(c.db(), k);
    if (!exam) throw CallError(ErrorCode::Refused, QStringLiteral("%1: there is no such exam").arg(m.fullName()));
    requireExamWrite(c, m, k, false);
    if (exam->frozen) throw CallError(ErrorCode::Forbidden, QStringLiteral("%1: the exam %2 is frozen and cannot be deleted").arg(m.fullName(), exam->name));
    Database &db = c.db();
    const qint64 candidates = db.scalar(QStringLiteral("SELECT COUNT(*) FROM \"CJ_ExamStudent\" WHERE \"examId\" = ?"), {exam->id}).toLongLong();
    if (candidates > 0)
        throw CallError(ErrorCode::Refused,
                        QStringLiteral("%1: the exam %2 has %3 candidates; remove them first").arg(m.fullName(), exam->name).arg(candidates));
    Transaction tx(db);
    const QVariantList id{exam->id};
    const int items = db.exec(QStringLiteral("DELETE FROM \"CJ_SubjectItem\" WHERE \"examId\" = ?"), id);
    const int shares = db.exec(QStringLiteral("DELETE FROM \"CJ_ExamGradePer\" WHERE \"examId\" = ?"), id);
    db.exec(QStringLiteral("DELETE FROM \"CJ_QuestionMark\" WHERE \"examId\" = ?"), id);
    db.exec(QStringLiteral("DELETE FROM \"CJ_ExamQuestion\" WHERE \"examId\" = ?"), id);
    db.exec(QStringLiteral("DELETE FROM \"CJ_ZLPG_PDetail\" WHERE \"NID\" IN (SELECT \"NID\" FROM \"CJ_ZLPG_P\" WHERE \"nExamId\" = ?)"), id);
    const int pvalues = db.exec(QStringLiteral("DELETE FROM \"CJ_ZLPG_P\" WHERE \"nExamId\" = ?"), id);
    const int subjects = db.exec(QStringLiteral("DELETE FROM \"CJ_ExamSubject\" WHERE %1").arg(QLatin1String(kExamIdentity)), k.params());
    db.exec(QStringLiteral("DELETE FROM \"CJ_ExamTotal\" WHERE \"Id\" = ?"), id);
    tx.commit();
    c.setResult(QStringLiteral("已删除考试【%1】及其 %2 个科目、%3 条科目排名、%4 条等级比例、%5 条P值记录。")
                    .arg(exam->name)
                    .arg(subjects)
                    .arg(items)
                    .arg(shares)
                    .arg(pvalues));
}

// ---- the teacher's subjects and classes ---------------------------------------------------------------

// Without a role: "ALL" for a user who may see all, else what he teaches or leads in the grade.
// With one ("<user code>,<role>"): the subjects that role gives him (ScoreScope::subjectsOfRole).
void qTeacherSubjects(MethodCall &c)
{
    const QString school = c.school(0);
    const SessionUser &u = c.user();
    const QString userArg = c.text(2);
    if (const qsizetype comma = userArg.indexOf(u','); comma >= 0) {
        bool ok = false;
        const int role = userArg.mid(comma + 1).toInt(&ok);
        if (!ok || role < 1 || role > 6)
            throw CallError(ErrorCode::BadArguments, QStringLiteral("StudentQry.QTeacherSubjects: the role after the user code must be 1 to 6"));
        StoredExam grade; // the grade alone, as a school-wide exam of it
        grade.key = {school, c.text(1), QString(), kNoPage, c.integer(3)};
        c.setResult(ScoreScope(c, grade).subjectsOfRole(role));
        return;
    }
    if (u.unrestricted() || u.viewAllGrade) {
        c.setResult(QStringLiteral("ALL"));
        return;
    }
    const auto rows =
        c.db().select(QStringLiteral("SELECT \"SubjectCode\" FROM \"XJ_CourseTable\" WHERE \"SchoolCode\" = ? AND \"GradeCode\" = ? AND \"InYear\" = ? "
                                     "AND \"TeacherCode\" = ? UNION SELECT \"SubjectCode\" FROM \"XJ_GradeSubject\" WHERE \"SchoolCode\" = ? "
                                     "AND \"GradeCode\" = ? AND \"InYear\" = ? AND (\"TeacherCode\" = ? OR \"SubTeacherCode\" = ?) ORDER BY 1"),
                      {school, c.text(1), c.integer(3), u.teacherCode, school, c.text(1), c.integer(3), u.teacherCode, u.teacherCode},
                      {{"SubjectCode", FieldType::Text, 0, 0}});
    QStringList codes;
    for (qsizetype r = 0; r < rows.rowCount(); ++r)
        codes << rows.value(r, 0).toString();
    c.setResult(codes.join(u','));
}

void qGradeClassesByCode(MethodCall &c)
{
    const QString school = c.school(0), me = c.user().teacherCode;
    const TableDef &t = schemaTable(u"XJ_GradeClass");
    c.setRef(4, c.db().select(
                    QStringLiteral("SELECT %1 FROM \"XJ_GradeClass\" gc WHERE gc.\"SchoolCode\" = ? AND gc.\"GradeCode\" = ? AND gc.\"InYear\" = ? "
                                   "AND (gc.\"TeacherCode\" = ? OR EXISTS (SELECT 1 FROM \"XJ_CourseTable\" ct WHERE ct.\"SchoolCode\" = gc.\"SchoolCode\" "
                                   "AND ct.\"InYear\" = gc.\"InYear\" AND ct.\"GradeCode\" = gc.\"GradeCode\" AND ct.\"ClassCode\" = gc.\"ClassCode\" "
                                   "AND ct.\"TeacherCode\" = ?)) ORDER BY gc.\"ClassCode\"")
                        .arg(columnList(t, QStringLiteral("gc"))),
                    {school, c.text(1), c.integer(3), me, me}, t.fieldDefs()));
}

} // namespace

void registerExamMethods(Service &s)
{
    s.addMethod(P::QExamInfo, qExamInfo);
    s.addMethod(P::MaxExamID, maxExamId);
    s.addMethod(P::UpExamInfo, upExamInfo);
    s.addMethod(P::QExamSubjects, qExamSubjects);
    s.addMethod(P::QTeacherSubjects, qTeacherSubjects);
    s.addMethod(P::QGradeClassesByCode, qGradeClassesByCode);
    s.addMethod(P::QExamTotal, qExamTotal);
    s.addMethod(P::QSameExamLast, qSameExamLast);
    s.addMethod(P::QSameExamList, qSameExamList);
    s.addMethod(P::QExamSubjectForUp, qExamSubjectForUp);
    s.addMethod(P::QCheckSubjectMark, qCheckSubjectMark);
    s.addMethod(P::UpExamTotal, upExamTotal);
    s.addMethod(P::UpExamStudents, upExamStudents);
    s.addMethod(P::UpDeleteExam, upDeleteExam);
}

} // namespace lumeko::server
