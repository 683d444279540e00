// Progress between exams: the exams of an intake a teacher can compare (QExamList), and each
// student's scores and ranks in the chosen exams side by side with what changed from one exam to
// the next (QExamUpDown), with a row per student, exam and subject for his line chart (QExamUDLine).
//
// The exams are compared in the user's order, each with the one before it. For a subject with the
// score field S and the rank field R (C_001 and O_001; FullTotal and FullOrder for 全总):
//   S, S_1, S_2 …     the scores in the first, second, third … exam
//   S_Fs, S_2_Fs …    the second minus the first, the third minus the second: a rise is positive
//   R, R_1, R_2 …     the grade ranks
//   R_Up, R_2_Up …    the earlier rank minus the later one: climbing from 12th to 5th gives +7
// A difference is empty when either value is. Students are matched by their register key, which
// they keep when their grade is promoted, so the exams of one intake in different grades compare.

#include "server/core/service.h"
#include "server/grammar/analysistexts.h"
#include "server/grammar/codelists.h"
#include "server/grammar/compositekeys.h"
#include "server/methods/examstore.h"
#include "server/methods/methods.h"
#include "server/methods/scorescope.h"
#include "wire/protocol/methods.h"

#include <QHash>
#include <QSet>

#include <cmath>

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldDef;
using wire::FieldType;
namespace P = wire::protocol;
namespace G = grammar;

namespace {

// ---- the exams to choose from --------------------------------------------------------------------

// (school, grade code or stage character, var intake year, out data).
void qExamList(MethodCall &c)
{
    const QString school = c.school(0);
    const QString grade = c.text(1);
    const qint64 inYear = c.integer(2);
    c.requireByRef(3);
    static const QRegularExpression form(QStringLiteral("^[0-9A-Za-z]{1,4}$"));
    if (!form.match(grade).hasMatch())
        throw CallError(
            ErrorCode::BadArguments,
            QStringLiteral("%1: argument 2 (GradeCode) is a grade code or a stage's first character, not \"%2\"").arg(P::QExamList.fullName(), grade));
    const SessionUser &u = c.user();
    // A stage's character lists every grade of the stage; a unit exam is listed to its teacher only.
    QString sql = QStringLiteral("SELECT \"Id\", \"GradeCode\", \"ExamCode\", \"PageName\", \"ExamName\", \"InYear\", \"dDefDay\" FROM \"CJ_ExamTotal\" "
                                 "WHERE \"SchoolCode\" = ? AND \"InYear\" = ? AND ");
    QVariantList params{school, inYear};
    if (grade.size() == 1) {
        sql += QStringLiteral("substr(\"GradeCode\", 1, 1) = ?");
    } else {
        sql += QStringLiteral("\"GradeCode\" = ?");
    }
    params << grade;
    if (!u.unrestricted()) {
        sql += QStringLiteral(" AND (\"PageName\" = ? OR \"PageName\" = ?)");
        params << G::NoPageMarker << u.teacherCode;
    }
    sql += QStringLiteral(" ORDER BY \"dDefDay\", \"Id\"");
    c.setRef(3, c.db().select(sql, params,
                              {{"Id", FieldType::Integer, 0, 0},
                               {"GradeCode", FieldType::Text, 0, 0},
                               {"ExamCode", FieldType::Text, 0, 0},
                               {"PageName", FieldType::Text, 0, 0},
                               {"ExamName", FieldType::Text, 0, 0},
                               {"InYear", FieldType::Integer, 0, 0},
                               {"dDefDay", FieldType::Date, 0, 0}}));
}

// ---- the comparison ---------------------------------------------------------------------------

// A subject of the comparison with its fields and caption.
struct Compared {
    G::SubjectRef ref;
    QString scoreField, rankField, caption;
};

// What one exam holds for the compared subjects, of the candidates the user sees.
struct ExamValues {
    StoredExam exam;
    QHash<QString, QString> classOf;                // student → the class he sat the exam in
    QHash<QString, QHash<QString, QVariant>> score; // student → score field → value
    QHash<QString, QHash<QString, QVariant>> rank;  // student → rank field → value
};

QString totalField(G::SubjectRef::Kind k, bool rank)
{
    switch (k) {
    case G::SubjectRef::Kind::FullTotal:
        return rank ? QStringLiteral("FullOrder") : QStringLiteral("FullTotal");
    case G::SubjectRef::Kind::MainTotal:
        return rank ? QStringLiteral("MainOrder") : QStringLiteral("MainTotal");
    case G::SubjectRef::Kind::BaseTotal:
        return rank ? QStringLiteral("BaseOrder") : QStringLiteral("BaseTotal");
    case G::SubjectRef::Kind::Subject:
        break;
    }
    return {};
}

QList<Compared> comparedSubjects(MethodCall &c, const QString &text, const QString &school)
{
    QList<Compared> out;
    for (const G::SubjectRef &ref : G::parseSubjectList(text)) {
        Compared s{ref, {}, {}, {}};
        if (ref.kind == G::SubjectRef::Kind::Subject) {
            s.scoreField = QStringLiteral("C_") + ref.code;
            s.rankField = QStringLiteral("O_") + ref.code;
            s.caption =
                c.db()
                    .scalar(QStringLiteral("SELECT \"SubjectName\" FROM \"XJ_Subject\" WHERE \"SchoolCode\" = ? AND \"SubjectCode\" = ?"), {school, ref.code})
                    .toString();
            if (s.caption.isEmpty()) s.caption = ref.code;
        } else {
            s.scoreField = totalField(ref.kind, false);
            s.rankField = totalField(ref.kind, true);
            s.caption = ref.kind == G::SubjectRef::Kind::FullTotal   ? QStringLiteral("全总")
                        : ref.kind == G::SubjectRef::Kind::MainTotal ? QStringLiteral("主总")
                                                                     : QStringLiteral("基总");
        }
        out << s;
    }
    return out;
}

ExamValues readExam(MethodCall &c, const P::Method &m, const QString &school, qint64 inYear, const G::ExamRef &ref, const QList<Compared> &subjects)
{
    Database &db = c.db();
    const std::optional<StoredExam> exam = findExam(db, ExamKey{school, ref.gradeCode, ref.examCode, ref.pageName, inYear});
    if (!exam)
        throw CallError(ErrorCode::BadArguments,
                        QStringLiteral("%1: the intake %2 has no exam %3;%4;%5").arg(m.fullName()).arg(inYear).arg(ref.gradeCode, ref.examCode, ref.pageName));
    const ScoreScope scope(c, *exam);
    ExamValues v{*exam, {}, {}, {}};
    const wire::DataPacket candidates = db.select(
        QStringLiteral("SELECT \"StudentCode\", \"ClassCode\", \"FullTotal\", \"MainTotal\", \"BaseTotal\", \"FullOrder\", \"MainOrder\", \"BaseOrder\" "
                       "FROM \"CJ_ExamStudent\" WHERE \"examId\" = ?"),
        {exam->id},
        {{"StudentCode", FieldType::Text, 0, 0},
         {"ClassCode", FieldType::Text, 0, 0},
         {"FullTotal", FieldType::Float, 0, 0},
         {"MainTotal", FieldType::Float, 0, 0},
         {"BaseTotal", FieldType::Float, 0, 0},
         {"FullOrder", FieldType::Integer, 0, 0},
         {"MainOrder", FieldType::Integer, 0, 0},
         {"BaseOrder", FieldType::Integer, 0, 0}});
    QSet<QString> wanted;
    for (const Compared &s : subjects)
        if (s.ref.kind == G::SubjectRef::Kind::Subject) wanted.insert(s.ref.code);
    for (qsizetype r = 0; r < candidates.rowCount(); ++r) {
        const QString student = candidates.value(r, 0).toString(), klass = candidates.value(r, 1).toString();
        if (!scope.sees(klass)) continue;
        v.classOf.insert(student, klass);
        for (const Compared &s : subjects) {
            if (s.ref.kind == G::SubjectRef::Kind::Subject) continue;
            v.score[student].insert(s.scoreField, candidates.value(r, candidates.fieldIndex(s.scoreField)));
            v.rank[student].insert(s.rankField, candidates.value(r, candidates.fieldIndex(s.rankField)));
        }
    }
    if (wanted.isEmpty()) return v;
    const wire::DataPacket marks =
        db.select(QStringLiteral("SELECT \"StudentCode\", \"SubjectCode\", \"score\", \"gradeOrder\" FROM \"CJ_Mark\" WHERE \"examId\" = ?"), {exam->id},
                  {{"StudentCode", FieldType::Text, 0, 0},
                   {"SubjectCode", FieldType::Text, 0, 0},
                   {"score", FieldType::Float, 0, 0},
                   {"gradeOrder", FieldType::Integer, 0, 0}});
    for (qsizetype r = 0; r < marks.rowCount(); ++r) {
        const QString student = marks.column(0).textAt(r), subject = marks.column(1).textAt(r);
        if (!wanted.contains(subject) || !v.classOf.contains(student)) continue;
        v.score[student].insert(QStringLiteral("C_") + subject, marks.value(r, 2));
        v.rank[student].insert(QStringLiteral("O_") + subject, marks.value(r, 3));
    }
    return v;
}

// "C_001" for the first exam, "C_001_1", "C_001_2" … for the others.
QString nth(const QString &field, int exam)
{
    return exam == 0 ? field : field + u'_' + QString::number(exam);
}
// The difference of exam k (k ≥ 1) from the one before it: "C_001_Fs", "C_001_2_Fs" ….
QString change(const QString &field, int exam, const char *suffix)
{
    return (exam == 1 ? field : nth(field, exam)) + QLatin1StringView(suffix);
}

const QList<FieldDef> &fixedFields()
{
    static const QList<FieldDef> fields{{"sCode", FieldType::Text, 0, 0},       {"sNO", FieldType::Text, 0, 0},       {"sName", FieldType::Text, 0, 0},
                                        {"iClassNo", FieldType::Integer, 0, 0}, {"sSex", FieldType::Text, 0, 0},      {"sType", FieldType::Text, 0, 0},
                                        {"ClassCode", FieldType::Text, 0, 0},   {"GradeCode", FieldType::Text, 0, 0}, {"InYear", FieldType::Integer, 0, 0}};
    return fields;
}

QList<FieldDef> comparisonFields(const QList<Compared> &subjects, int exams)
{
    QList<FieldDef> fields = fixedFields();
    for (const Compared &s : subjects) {
        for (int k = 0; k < exams; ++k)
            fields.append({nth(s.scoreField, k), FieldType::Float, 0, 0});
        for (int k = 1; k < exams; ++k)
            fields.append({change(s.scoreField, k, "_Fs"), FieldType::Float, 0, 0});
        for (int k = 0; k < exams; ++k)
            fields.append({nth(s.rankField, k), FieldType::Integer, 0, 0});
        for (int k = 1; k < exams; ++k)
            fields.append({change(s.rankField, k, "_Up"), FieldType::Integer, 0, 0});
    }
    return fields;
}

// Later minus earlier, to the hundredth so that 0.1 steps do not show as 0.30000000000000004.
QVariant rise(const QVariant &earlier, const QVariant &later)
{
    if (wire::isNull(earlier) || wire::isNull(later)) return {};
    return std::round((later.toDouble() - earlier.toDouble()) * 100.0) / 100.0;
}
QVariant climb(const QVariant &earlier, const QVariant &later)
{
    if (wire::isNull(earlier) || wire::isNull(later)) return {};
    return earlier.toLongLong() - later.toLongLong();
}

struct Comparison {
    QList<Compared> subjects;
    QList<ExamValues> exams;
    wire::DataPacket rows;
};

// The arguments shared by QExamUpDown and QExamUDLine and the rows they answer.
Comparison compare(MethodCall &c, const P::Method &m, int examsArg, int subjectsArg, int classesArg, int inYearArg)
{
    const QString school = c.school(0);
    const QList<G::ExamRef> refs = G::parseExamList(c.text(examsArg));
    const QStringList classFilter = G::parseClassCodeList(QStringLiteral("ClassCodes"), c.text(classesArg));
    const qint64 inYear = c.integer(inYearArg);
    Comparison out;
    out.subjects = comparedSubjects(c, c.text(subjectsArg), school);
    for (const G::ExamRef &ref : refs)
        out.exams << readExam(c, m, school, inYear, ref, out.subjects);

    // Every student the user sees in one of the exams, as the register has him now.
    QSet<QString> students;
    for (const ExamValues &e : out.exams)
        for (auto it = e.classOf.cbegin(); it != e.classOf.cend(); ++it)
            students.insert(it.key());
    const QList<FieldDef> fields = comparisonFields(out.subjects, int(refs.size()));
    out.rows = wire::DataPacket(fields);
    if (students.isEmpty()) return out;
    const wire::DataPacket people =
        c.db().select(QStringLiteral("SELECT \"sCode\", \"sNO\", \"sName\", \"iClassNo\", \"sSex\", \"sType\", \"ClassCode\", \"GradeCode\", \"InYear\" "
                                     "FROM \"XJ_Student\" WHERE \"SchoolCode\" = ? AND \"InYear\" = ? ORDER BY \"ClassCode\", \"iClassNo\", \"sCode\""),
                      {school, inYear}, fixedFields());
    for (qsizetype r = 0; r < people.rowCount(); ++r) {
        const QString student = people.value(r, 0).toString();
        if (!students.contains(student) || (!classFilter.isEmpty() && !classFilter.contains(people.value(r, 6).toString()))) continue;
        QVariantList row = people.row(r);
        row.reserve(fields.size());
        for (const Compared &s : out.subjects) {
            QVariantList scores, ranks;
            for (const ExamValues &e : out.exams) {
                scores << e.score.value(student).value(s.scoreField);
                ranks << e.rank.value(student).value(s.rankField);
            }
            row += scores;
            for (int k = 1; k < scores.size(); ++k)
                row << rise(scores[k - 1], scores[k]);
            row += ranks;
            for (int k = 1; k < ranks.size(); ++k)
                row << climb(ranks[k - 1], ranks[k]);
        }
        Q_ASSERT(row.size() == fields.size());
        out.rows.appendRow(row);
    }
    return out;
}

// (school, var exams, var subjects, var class codes, var intake year, mode 0, out data).
void qExamUpDown(MethodCall &c)
{
    if (c.integer(5) != 0)
        throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: argument 6 (Mode) is 0, not %2").arg(P::QExamUpDown.fullName()).arg(c.integer(5)));
    c.requireByRef(6);
    c.setRef(6, compare(c, P::QExamUpDown, 1, 2, 3, 4).rows);
}

// (school, var exams, var subjects, var class codes, grade code, var intake year, out data): the
// rows, and as the result a row per student, exam and subject for the student's line chart.
void qExamUDLine(MethodCall &c)
{
    static const QRegularExpression form(QStringLiteral("^[0-9A-Za-z]{1,4}$"));
    if (!form.match(c.text(4)).hasMatch())
        throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: argument 5 (GradeCode) is no grade code").arg(P::QExamUDLine.fullName()));
    c.requireByRef(6);
    const Comparison cmp = compare(c, P::QExamUDLine, 1, 2, 3, 5);
    wire::DataPacket detail({{"StudentCode", FieldType::Text, 0, 0},
                             {"iOrder", FieldType::Integer, 0, 0},
                             {"ExamName", FieldType::Text, 0, 0},
                             {"SubjectName", FieldType::Text, 0, 0},
                             {"Score", FieldType::Float, 0, 0},
                             {"Rank", FieldType::Integer, 0, 0}});
    for (qsizetype r = 0; r < cmp.rows.rowCount(); ++r) {
        const QString student = cmp.rows.value(r, 0).toString();
        for (int k = 0; k < cmp.exams.size(); ++k) {
            const ExamValues &e = cmp.exams[k];
            if (!e.classOf.contains(student)) continue;
            for (const Compared &s : cmp.subjects)
                detail.appendRow(
                    {student, qint64(k + 1), e.exam.name, s.caption, e.score.value(student).value(s.scoreField), e.rank.value(student).value(s.rankField)});
        }
    }
    c.setRef(6, cmp.rows);
    c.setResult(detail);
}

} // namespace

void registerProgressMethods(Service &s)
{
    s.addMethod(P::QExamList, qExamList);
    s.addMethod(P::QExamUpDown, qExamUpDown);
    s.addMethod(P::QExamUDLine, qExamUDLine);
}

} // namespace lumeko::server
