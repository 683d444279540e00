// The score sheet's queries: the exam's subjects with their marks, the grade's subjects, the letter
// shares, the candidates' classes, the sheet itself (scores stored one row per candidate and
// subject, turned into one row per candidate), the subject items, the score history, the
// students who may sit an exam and the course table's subject classes.

#include "domain/scoring.h"
#include "server/core/service.h"
#include "server/grammar/codelists.h"
#include "server/methods/methods.h"
#include "server/methods/registerscope.h"
#include "server/methods/scoremethods.h"
#include "server/methods/scorescope.h"
#include "server/methods/updates.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

#include <QHash>

namespace lumeko::server {

using wire::Column;
using wire::FieldDef;
using wire::FieldType;
namespace P = wire::protocol;

namespace {

// A class's name on the sheet: the grade's alias of it, else the school's name, else the code.
QString classNameSql(const QString &gradeClass, const QString &schoolClass, const QString &code)
{
    return QStringLiteral("COALESCE(NULLIF(%1.\"AliasName\", ''), %2.\"ClassName\", %3)").arg(gradeClass, schoolClass, code);
}

const QList<FieldDef> kSubjectPtFields = {
    {"SubjectCode", FieldType::Text, 3, 0}, {"SubjectType", FieldType::Integer, 0, 0},
    {"ordStyle", FieldType::Integer, 0, 0}, {"Per", FieldType::Float, 0, 0},
    {"FullMark", FieldType::Float, 0, 0},   {"HighMark", FieldType::Float, 0, 0},
    {"LowMark", FieldType::Float, 0, 0},    {"ExcelMark", FieldType::Float, 0, 0},
    {"GoodMark", FieldType::Float, 0, 0},   {"PassMark", FieldType::Float, 0, 0},
    {"BadMark", FieldType::Float, 0, 0},    {"DistanceMark", FieldType::Float, 0, 0},
    {"B2", FieldType::Float, 0, 0},         {"B3", FieldType::Float, 0, 0},
};

// The exam of a sheet query, and the scope of the user on it; nothing when there is no such exam.
struct SheetExam {
    StoredExam exam;
    ScoreScope scope;
};
std::optional<SheetExam> sheetExam(MethodCall &c, const ExamKey &k)
{
    std::optional<StoredExam> exam = findExam(c.db(), k);
    if (!exam) return std::nullopt;
    return SheetExam{*exam, ScoreScope(c, *exam)};
}

void qExamSubjectAllPt(MethodCall &c)
{
    const ExamKey k = keyOfArgs(c, 1, 2, 3, 4);
    wire::DataPacket out(kSubjectPtFields);
    const std::optional<StoredExam> exam = findExam(c.db(), k);
    if (exam && (!exam->key.isUnit() || ScoreScope(c, *exam).seesAll() || exam->key.page == c.user().teacherCode)) {
        const wire::DataPacket subjects = c.db().select(
            QStringLiteral("SELECT es.\"SubjectCode\", gs.\"SubjectType\", gs.\"SubjectType\", es.\"Per\", es.\"FullMark\", es.\"HighMark\", es.\"LowMark\", "
                           "es.\"ExcelMark\", es.\"GoodMark\", es.\"PassMark\", es.\"BadMark\", es.\"DistanceMark\", es.\"B2\", es.\"B3\" "
                           "FROM \"CJ_ExamSubject\" es LEFT JOIN \"XJ_GradeSubject\" gs ON gs.\"SchoolCode\" = es.\"SchoolCode\" "
                           "AND gs.\"InYear\" = es.\"InYear\" AND gs.\"GradeCode\" = es.\"GradeCode\" AND gs.\"SubjectCode\" = es.\"SubjectCode\" "
                           "WHERE es.\"SchoolCode\" = ? AND es.\"GradeCode\" = ? AND es.\"InYear\" = ? AND es.\"ExamCode\" = ? AND es.\"PageName\" = ? "
                           "ORDER BY es.\"SubjectCode\""),
            k.params(), kSubjectPtFields);
        for (qsizetype r = 0; r < subjects.rowCount(); ++r)
            out.appendRow(subjects.row(r));
        // One row per total in use, with the header's eight marks of that total.
        const auto header =
            c.db().select(QStringLiteral("SELECT * FROM \"CJ_ExamTotal\" WHERE \"Id\" = ?"), {exam->id}, schemaTable(u"CJ_ExamTotal").fieldDefs());
        const auto mark = [&](const char *prefix, const char *name) {
            return header.value(0, header.fieldIndex(QString::fromLatin1(prefix) + QString::fromLatin1(name)));
        };
        const std::pair<const char *, bool> totals[] = {{"a", true}, {"b", exam->hasBase}, {"m", exam->hasMain}};
        const char *const codes[] = {"FUL", "BAS", "MAI"};
        for (int t = 0; t < 3 && !k.isUnit(); ++t) {
            if (!totals[t].second) continue;
            const char *p = totals[t].first;
            out.appendRow({QString::fromLatin1(codes[t]), QVariant(), QVariant(), QVariant(), mark(p, "FullMark"), mark(p, "HighMark"), mark(p, "LowMark"),
                           mark(p, "ExcelMark"), mark(p, "GoodMark"), mark(p, "PassMark"), mark(p, "BadMark"), mark(p, "DistanceMark"), QVariant(),
                           QVariant()});
        }
    }
    c.setRef(5, out);
}

void qSubjects(MethodCall &c)
{
    c.setRef(3, c.db().select(QStringLiteral("SELECT gs.\"SubjectCode\", COALESCE(s.\"SubjectName\", gs.\"SubjectCode\"), gs.\"SubjectType\", gs.\"FullMark\" "
                                             "FROM \"XJ_GradeSubject\" gs LEFT JOIN \"XJ_Subject\" s ON s.\"SchoolCode\" = gs.\"SchoolCode\" "
                                             "AND s.\"SubjectCode\" = gs.\"SubjectCode\" WHERE gs.\"SchoolCode\" = ? AND gs.\"GradeCode\" = ? "
                                             "AND gs.\"InYear\" = ? ORDER BY gs.\"SubjectCode\""),
                              {c.school(0), c.text(1), c.integer(2)},
                              {{"SubjectCode", FieldType::Text, 3, 0},
                               {"SubjectName", FieldType::Text, 40, 0},
                               {"SubjectType", FieldType::Integer, 0, 0},
                               {"fullmark", FieldType::Integer, 0, 0}}));
}

void qExamGradePer(MethodCall &c)
{
    const TableDef &t = schemaTable(u"CJ_ExamGradePer");
    const std::optional<StoredExam> exam = findExamById(c.db(), c.user().school, c.text(0));
    c.setResult(exam ? c.db().select(QStringLiteral("SELECT %1 FROM \"CJ_ExamGradePer\" WHERE \"examId\" = ? ORDER BY \"Id\"").arg(columnList(t)), {exam->id},
                                     t.fieldDefs())
                     : wire::DataPacket(t.fieldDefs()));
}

void qExamClassStuds(MethodCall &c)
{
    const ExamKey k = keyOfArgs(c, 1, 2, 3, 4);
    const QList<FieldDef> fields{{"ClassCode", FieldType::Text, 3, 0}, {"ClassName", FieldType::Text, 40, 0}, {"StudentCount", FieldType::Integer, 0, 0}};
    wire::DataPacket out(fields);
    if (const std::optional<SheetExam> e = sheetExam(c, k)) {
        const wire::DataPacket classes = c.db().select(
            QStringLiteral(
                "SELECT es.\"ClassCode\", %1, COUNT(*) FROM \"CJ_ExamStudent\" es "
                "LEFT JOIN \"XJ_GradeClass\" gc ON gc.\"SchoolCode\" = ? AND gc.\"InYear\" = ? AND gc.\"GradeCode\" = ? AND gc.\"ClassCode\" = es.\"ClassCode\" "
                "LEFT JOIN \"XJ_Class\" cl ON cl.\"SchoolCode\" = ? AND cl.\"ClassCode\" = es.\"ClassCode\" "
                "WHERE es.\"examId\" = ? GROUP BY es.\"ClassCode\", gc.\"AliasName\", cl.\"ClassName\" ORDER BY es.\"ClassCode\"")
                .arg(classNameSql(QStringLiteral("gc"), QStringLiteral("cl"), QStringLiteral("es.\"ClassCode\""))),
            {k.school, k.inYear, k.grade, k.school, e->exam.id}, fields);
        for (qsizetype r = 0; r < classes.rowCount(); ++r)
            if (e->scope.sees(classes.value(r, 0).toString())) out.appendRow(classes.row(r));
    }
    c.setResult(out);
}

// ---- the sheet ---------------------------------------------------------------------------------------

// The sheet's fields: the candidate, then per subject score, grade rank, class rank, branch rank,
// level and letter, then each total with the same.
QList<FieldDef> sheetFields(const QStringList &subjects)
{
    QList<FieldDef> f{{"Selected", FieldType::Boolean, 0, 0}, {"sCode", FieldType::Text, 38, 0},      {"SNO", FieldType::Text, 30, 0},
                      {"sName", FieldType::Text, 40, 0},      {"sSex", FieldType::Text, 4, 0},        {"ClassCode", FieldType::Text, 3, 0},
                      {"ClassName", FieldType::Text, 40, 0},  {"iClassNO", FieldType::Integer, 0, 0}, {"sArea", FieldType::Text, 20, 0},
                      {"sType", FieldType::Text, 20, 0},      {"sOldSchool", FieldType::Text, 60, 0}, {"AuthNo", FieldType::Text, 30, 0}};
    const auto ranks = [&f](const QString &suffix) {
        f.append({QStringLiteral("B_") + suffix, FieldType::Integer, 0, 0});
        f.append({QStringLiteral("A_") + suffix, FieldType::Integer, 0, 0});
        f.append({QStringLiteral("G_") + suffix, FieldType::Integer, 0, 0});
        f.append({QStringLiteral("P_") + suffix, FieldType::Integer, 0, 0});
    };
    for (const QString &s : subjects) {
        f.append({QStringLiteral("C_") + s, FieldType::Float, 0, 0});
        f.append({QStringLiteral("O_") + s, FieldType::Integer, 0, 0});
        ranks(s);
    }
    for (const char *total : {"Full", "Main", "Base"}) {
        f.append({QString::fromLatin1(total) + QStringLiteral("Total"), FieldType::Float, 0, 0});
        f.append({QString::fromLatin1(total) + QStringLiteral("Order"), FieldType::Integer, 0, 0});
        ranks(QString::fromLatin1(total).left(3).toUpper());
    }
    return f;
}

QList<FieldDef> uploadFields(const QStringList &subjects)
{
    QList<FieldDef> f{{"SchoolCode", FieldType::Text, 20, 0}, {"GradeCode", FieldType::Text, 4, 0}, {"InYear", FieldType::Integer, 0, 0},
                      {"ExamCode", FieldType::Text, 10, 0},   {"PageName", FieldType::Text, 40, 0}, {"StudentCode", FieldType::Text, 38, 0}};
    for (const QString &s : subjects)
        f.append({QStringLiteral("C_") + s, FieldType::Float, 0, 0});
    return f;
}

// Builds the two packets column by column: one row per candidate, filled from the narrow rows.
class SheetBuilder {
public:
    SheetBuilder(const QList<FieldDef> &fields, qsizetype rows) : m_fields(fields)
    {
        for (const FieldDef &f : fields) {
            m_columns.append(Column(f.type));
            m_columns.last().resize(rows);
            m_index.insert(f.name.toUpper(), int(m_columns.size() - 1));
        }
    }
    int field(const QString &name) const { return m_index.value(name.toUpper(), -1); }
    void set(qsizetype row, int field, const QVariant &v)
    {
        if (field >= 0 && !v.isNull()) m_columns[field].set(row, v);
    }
    wire::DataPacket take() { return wire::DataPacket::fromColumns(m_fields, std::move(m_columns)); }

private:
    QList<FieldDef> m_fields;
    QList<Column> m_columns;
    QHash<QString, int> m_index;
};

void qMark(MethodCall &c)
{
    const ExamKey k = keyOfArgs(c, 1, 2, 3, 6);
    const QStringList classArg = grammar::parseClassCodeList(QStringLiteral("ClassCodes"), c.text(4));
    const grammar::SheetSubjectFilter filter = grammar::parseSheetSubjectFilter(c.text(5));
    c.requireByRef(7);
    c.requireByRef(8);
    const QStringList &subjects = filter.subjects;
    const QList<FieldDef> fields = sheetFields(subjects), upFields = uploadFields(subjects);
    const std::optional<SheetExam> e = sheetExam(c, k);
    if (!e) {
        c.setRef(7, wire::DataPacket(fields));
        c.setRef(8, wire::DataPacket(upFields));
        return;
    }
    Database &db = c.db();
    const qint64 examId = e->exam.id;

    // The candidates the user sees, of the classes asked for and ticked in the class tree.
    const QList<FieldDef> candidateFields{
        {"sCode", FieldType::Text, 0, 0},        {"SNO", FieldType::Text, 0, 0},         {"sName", FieldType::Text, 0, 0},
        {"sSex", FieldType::Text, 0, 0},         {"ClassCode", FieldType::Text, 0, 0},   {"ClassName", FieldType::Text, 0, 0},
        {"iClassNO", FieldType::Integer, 0, 0},  {"sArea", FieldType::Text, 0, 0},       {"sType", FieldType::Text, 0, 0},
        {"sOldSchool", FieldType::Text, 0, 0},   {"AuthNo", FieldType::Text, 0, 0},      {"FullTotal", FieldType::Float, 0, 0},
        {"MainTotal", FieldType::Float, 0, 0},   {"BaseTotal", FieldType::Float, 0, 0},  {"FullOrder", FieldType::Integer, 0, 0},
        {"MainOrder", FieldType::Integer, 0, 0}, {"BaseOrder", FieldType::Integer, 0, 0}};
    const wire::DataPacket all = db.select(
        QStringLiteral(
            "SELECT es.\"StudentCode\", st.\"sNO\", st.\"sName\", st.\"sSex\", es.\"ClassCode\", %1, st.\"iClassNo\", "
            "COALESCE(NULLIF(gc.\"sArea\", ''), cl.\"sArea\"), st.\"sType\", st.\"sOldSchool\", es.\"AuthNo\", es.\"FullTotal\", es.\"MainTotal\", "
            "es.\"BaseTotal\", es.\"FullOrder\", es.\"MainOrder\", es.\"BaseOrder\" FROM \"CJ_ExamStudent\" es "
            "JOIN \"XJ_Student\" st ON st.\"sCode\" = es.\"StudentCode\" "
            "LEFT JOIN \"XJ_GradeClass\" gc ON gc.\"SchoolCode\" = ? AND gc.\"InYear\" = ? AND gc.\"GradeCode\" = ? AND gc.\"ClassCode\" = es.\"ClassCode\" "
            "LEFT JOIN \"XJ_Class\" cl ON cl.\"SchoolCode\" = ? AND cl.\"ClassCode\" = es.\"ClassCode\" "
            "WHERE es.\"examId\" = ? ORDER BY 6, st.\"iClassNo\", es.\"StudentCode\"")
            .arg(classNameSql(QStringLiteral("gc"), QStringLiteral("cl"), QStringLiteral("es.\"ClassCode\""))),
        {k.school, k.inYear, k.grade, k.school, examId}, candidateFields);
    QList<qsizetype> rows;
    for (qsizetype r = 0; r < all.rowCount(); ++r) {
        const QString klass = all.value(r, 4).toString();
        if (!e->scope.sees(klass) || (!classArg.isEmpty() && !classArg.contains(klass)) || (filter.classesSelected && !filter.classes.contains(klass)))
            continue;
        rows.append(r);
    }

    SheetBuilder sheet(fields, rows.size()), upload(upFields, rows.size());
    QHash<QString, qsizetype> rowOf;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const qsizetype r = rows[i];
        rowOf.insert(all.value(r, 0).toString(), i);
        sheet.set(i, sheet.field(QStringLiteral("Selected")), false);
        for (int f = 0; f < candidateFields.size(); ++f)
            sheet.set(i, sheet.field(candidateFields[f].name), all.value(r, f));
        const QVariantList identity{k.school, k.grade, k.inYear, k.code, k.page, all.value(r, 0)};
        for (int f = 0; f < identity.size(); ++f)
            upload.set(i, f, identity[f]);
    }

    // Scores with their grade ranks and levels by the subject's marks.
    QHash<QString, domain::LevelMarks> marks;
    const wire::DataPacket subjectMarks =
        db.select(QStringLiteral("SELECT \"SubjectCode\", \"ExcelMark\", \"GoodMark\", \"PassMark\", \"BadMark\" FROM \"CJ_ExamSubject\" WHERE %1")
                      .arg(QLatin1String(kExamIdentity)),
                  k.params(),
                  {{"SubjectCode", FieldType::Text, 0, 0},
                   {"ExcelMark", FieldType::Float, 0, 0},
                   {"GoodMark", FieldType::Float, 0, 0},
                   {"PassMark", FieldType::Float, 0, 0},
                   {"BadMark", FieldType::Float, 0, 0}});
    for (qsizetype r = 0; r < subjectMarks.rowCount(); ++r)
        marks.insert(subjectMarks.value(r, 0).toString(), {subjectMarks.value(r, 1).toDouble(), subjectMarks.value(r, 2).toDouble(),
                                                           subjectMarks.value(r, 3).toDouble(), subjectMarks.value(r, 4).toDouble()});
    const wire::DataPacket scores =
        db.select(QStringLiteral("SELECT \"StudentCode\", \"SubjectCode\", \"score\", \"gradeOrder\" FROM \"CJ_Mark\" WHERE \"examId\" = ?"), {examId},
                  {{"StudentCode", FieldType::Text, 0, 0},
                   {"SubjectCode", FieldType::Text, 0, 0},
                   {"score", FieldType::Float, 0, 0},
                   {"gradeOrder", FieldType::Integer, 0, 0}});
    for (qsizetype r = 0; r < scores.rowCount(); ++r) {
        const auto row = rowOf.constFind(scores.column(0).textAt(r));
        const QString &subject = scores.column(1).textAt(r);
        if (row == rowOf.cend() || !subjects.contains(subject)) continue;
        const QVariant score = scores.value(r, 2);
        sheet.set(*row, sheet.field(QStringLiteral("C_") + subject), score);
        sheet.set(*row, sheet.field(QStringLiteral("O_") + subject), scores.value(r, 3));
        upload.set(*row, upload.field(QStringLiteral("C_") + subject), score);
        if (marks.contains(subject) && !score.isNull())
            sheet.set(*row, sheet.field(QStringLiteral("G_") + subject), *domain::levelOf(score.toDouble(), marks.value(subject)));
    }
    // Class and branch ranks and letters from the subject items (the totals' items too).
    const wire::DataPacket items = db.select(
        QStringLiteral("SELECT \"StudentCode\", \"SubjectCode\", \"classOrder\", \"areaOrder\", \"gradePercent\" FROM \"CJ_SubjectItem\" WHERE \"examId\" = ?"),
        {examId},
        {{"StudentCode", FieldType::Text, 0, 0},
         {"SubjectCode", FieldType::Text, 0, 0},
         {"classOrder", FieldType::Integer, 0, 0},
         {"areaOrder", FieldType::Integer, 0, 0},
         {"gradePercent", FieldType::Integer, 0, 0}});
    for (qsizetype r = 0; r < items.rowCount(); ++r) {
        const auto row = rowOf.constFind(items.column(0).textAt(r));
        if (row == rowOf.cend()) continue;
        const QString &subject = items.column(1).textAt(r);
        sheet.set(*row, sheet.field(QStringLiteral("B_") + subject), items.value(r, 2));
        sheet.set(*row, sheet.field(QStringLiteral("A_") + subject), items.value(r, 3));
        sheet.set(*row, sheet.field(QStringLiteral("P_") + subject), items.value(r, 4));
    }
    c.setRef(7, sheet.take());
    c.setRef(8, upload.take());
}

void qExamOrders(MethodCall &c)
{
    const TableDef &t = schemaTable(u"CJ_SubjectItem");
    const std::optional<StoredExam> exam = findExamById(c.db(), c.user().school, c.text(0));
    wire::DataPacket out(t.fieldDefs());
    if (exam) {
        const ScoreScope scope(c, *exam);
        QString where = QStringLiteral("i.\"examId\" = ?");
        QVariantList params{exam->id};
        if (!c.text(1).isEmpty()) {
            where += QStringLiteral(" AND i.\"StudentCode\" = ?");
            params << c.text(1);
        }
        if (!c.text(2).isEmpty()) {
            where += QStringLiteral(" AND i.\"SubjectCode\" = ?");
            params << c.text(2);
        }
        QList<FieldDef> fields = t.fieldDefs();
        fields.append({QStringLiteral("ClassCode"), FieldType::Text, 3, 0});
        const wire::DataPacket rows = c.db().select(QStringLiteral("SELECT %1, es.\"ClassCode\" FROM \"CJ_SubjectItem\" i JOIN \"CJ_ExamStudent\" es "
                                                                   "ON es.\"examId\" = i.\"examId\" AND es.\"StudentCode\" = i.\"StudentCode\" WHERE %2")
                                                        .arg(columnList(t, QStringLiteral("i")), where),
                                                    params, fields);
        const int classField = int(fields.size()) - 1;
        for (qsizetype r = 0; r < rows.rowCount(); ++r) {
            if (!scope.sees(rows.value(r, classField).toString())) continue;
            QVariantList values = rows.row(r);
            values.removeLast();
            out.appendRow(values);
        }
    }
    c.setResult(out);
}

void qMarkHistory(MethodCall &c)
{
    const QString school = c.school(0), examText = c.text(1), student = c.text(2);
    if (examText.isEmpty() && student.isEmpty())
        throw CallError(wire::ErrorCode::BadArguments, QStringLiteral("AchieveQry.QMarkHistory: name an exam, a student or both"));
    QString where = QStringLiteral("v.\"SchoolCode\" = ?");
    QVariantList params{school};
    if (!examText.isEmpty()) {
        const std::optional<StoredExam> exam = findExamById(c.db(), school, examText);
        if (!exam) throw CallError(wire::ErrorCode::BadArguments, QStringLiteral("AchieveQry.QMarkHistory: there is no exam %1 in this school").arg(examText));
        where += QStringLiteral(" AND v.\"examId\" = ?");
        params << exam->id;
    }
    if (!student.isEmpty()) {
        where += QStringLiteral(" AND l.\"StudentCode\" = ?");
        params << student;
    }
    c.setRef(3,
             c.db().select(QStringLiteral("SELECT v.\"Id\", v.\"examId\", e.\"ExamName\", l.\"StudentCode\", st.\"sName\", l.\"SubjectCode\", "
                                          "COALESCE(s.\"SubjectName\", l.\"SubjectCode\"), l.\"OldScore\", l.\"NewScore\", v.\"TeacherCode\", v.\"UserName\", "
                                          "v.\"sComputer\", v.\"dChanged\" FROM \"CJ_MarkLog\" l JOIN \"CJ_MarkSave\" v ON v.\"Id\" = l.\"saveId\" "
                                          "LEFT JOIN \"CJ_ExamTotal\" e ON e.\"Id\" = v.\"examId\" "
                                          "LEFT JOIN \"XJ_Student\" st ON st.\"sCode\" = l.\"StudentCode\" "
                                          "LEFT JOIN \"XJ_Subject\" s ON s.\"SchoolCode\" = v.\"SchoolCode\" AND s.\"SubjectCode\" = l.\"SubjectCode\" "
                                          "WHERE %1 ORDER BY v.\"dChanged\" DESC, v.\"Id\" DESC, l.\"StudentCode\", l.\"SubjectCode\"")
                               .arg(where),
                           params,
                           {{"saveId", FieldType::Integer, 0, 0},
                            {"examId", FieldType::Integer, 0, 0},
                            {"ExamName", FieldType::Text, 60, 0},
                            {"StudentCode", FieldType::Text, 38, 0},
                            {"sName", FieldType::Text, 40, 0},
                            {"SubjectCode", FieldType::Text, 3, 0},
                            {"SubjectName", FieldType::Text, 40, 0},
                            {"OldScore", FieldType::Float, 0, 0},
                            {"NewScore", FieldType::Float, 0, 0},
                            {"TeacherCode", FieldType::Text, 40, 0},
                            {"UserName", FieldType::Text, 40, 0},
                            {"sComputer", FieldType::Text, 60, 0},
                            {"dChanged", FieldType::DateTime, 0, 0}}));
}

// The students who may sit an exam of the grade: those of the grade and intake at school; for a
// grade of the past ("NotCurrYear"), the intake's students at school wherever they are now.
void qStudForDefine(MethodCall &c)
{
    const QString school = c.school(0), grade = c.text(2);
    const qint64 inYear = c.integer(1);
    c.requireByRef(3);
    const bool past = c.isText(3) && c.text(3) == QLatin1String("NotCurrYear");
    const RegisterScope scope(c);
    QVariantList params{school, school, inYear};
    QString where = QStringLiteral("b.\"SchoolCode\" = ? AND b.\"InYear\" = ? AND COALESCE(b.\"iState\", '00') = '00'");
    if (past) {
        where += QStringLiteral(" AND b.\"GradeCode\" LIKE ?");
        params << grade.left(1) + u'%';
    } else {
        where += QStringLiteral(" AND b.\"GradeCode\" = ?");
        params << grade;
    }
    if (const QString limit = scope.condition(params); !limit.isEmpty()) where += QStringLiteral(" AND ") + limit;
    c.setRef(3, c.db().select(
                    QStringLiteral(
                        "SELECT b.\"sCode\", b.\"sNO\", b.\"sName\", b.\"sType\", COALESCE(NULLIF(gc.\"AliasName\", ''), cl.\"ClassName\", b.\"ClassCode\"), "
                        "b.\"ClassCode\", b.\"sSex\", b.\"iClassNo\", 0 FROM \"XJ_Student\" b "
                        "LEFT JOIN \"XJ_GradeClass\" gc ON gc.\"SchoolCode\" = b.\"SchoolCode\" AND gc.\"InYear\" = b.\"InYear\" "
                        "AND gc.\"GradeCode\" = b.\"GradeCode\" AND gc.\"ClassCode\" = b.\"ClassCode\" "
                        "LEFT JOIN \"XJ_Class\" cl ON cl.\"SchoolCode\" = ? AND cl.\"ClassCode\" = b.\"ClassCode\" "
                        "WHERE %1 ORDER BY b.\"ClassCode\", b.\"iClassNo\", b.\"sCode\"")
                        .arg(where),
                    params,
                    {{"sCode", FieldType::Text, 38, 0},
                     {"sNo", FieldType::Text, 30, 0},
                     {"sName", FieldType::Text, 40, 0},
                     {"sType", FieldType::Text, 20, 0},
                     {"ClassName", FieldType::Text, 40, 0},
                     {"ClassCode", FieldType::Text, 3, 0},
                     {"sSex", FieldType::Text, 4, 0},
                     {"iClassNo", FieldType::Integer, 0, 0},
                     {"Selected", FieldType::Boolean, 0, 0}}));
}

} // namespace

void registerScoreSheetQueries(Service &s)
{
    s.addMethod(P::QExamSubjectAllPt, qExamSubjectAllPt);
    s.addMethod(P::QSubjects, qSubjects);
    s.addMethod(P::QExamGradePer, qExamGradePer);
    s.addMethod(P::QExamClassStuds, qExamClassStuds);
    s.addMethod(P::QMark, qMark);
    s.addMethod(P::QExamOrders, qExamOrders);
    s.addMethod(P::QMarkHistory, qMarkHistory);
    s.addMethod(P::QStudForDefine, qStudForDefine);
}

} // namespace lumeko::server
