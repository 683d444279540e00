// Questions of an exam's subject and their analysis: the question list (number, full mark,
// objective or not, knowledge point), the students' question scores imported from an online
// marking system's sheet (they must add up to the subject score, or nothing is stored), and the
// analysis of the questions (difficulty, discrimination, score rate per class) and the 一分一段
// table. Who may read or write follows the score sheet's scope (ScoreScope).

#include "domain/itemanalysis.h"
#include "server/core/service.h"
#include "server/methods/examstore.h"
#include "server/methods/methods.h"
#include "server/methods/resulttable.h"
#include "server/methods/scorescope.h"
#include "wire/protocol/methods.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldType;
namespace P = wire::protocol;

namespace {

constexpr double kSumTolerance = 0.005; // question scores are kept to the hundredth
const QString kColumnPrefix = QStringLiteral("Q_");

struct Question {
    QString number;
    double fullMark = 0;
    bool objective = false;
    QString knowledge;
};

// The exam, the user's scope on it, the subject and its full mark, or a refusal.
struct SubjectOfExam {
    StoredExam exam;
    QString subject;
    double fullMark = 0;
};

[[noreturn]] void refuse(const P::Method &m, const QString &why)
{
    throw CallError(ErrorCode::Refused, m.fullName() + QStringLiteral(": ") + why);
}

SubjectOfExam subjectOfExam(MethodCall &c, const P::Method &m)
{
    const ExamKey k = keyOfArgs(c, 1, 2, 3, 4);
    const QString subject = c.text(5);
    static const QRegularExpression code(QStringLiteral("^[0-9]{3}$"));
    if (!code.match(subject).hasMatch())
        throw CallError(ErrorCode::BadArguments,
                        QStringLiteral("%1: argument 6 (SubjectCode) is a three-digit subject code, not \"%2\"").arg(m.fullName(), subject.left(40)));
    const std::optional<StoredExam> exam = findExam(c.db(), k);
    if (!exam) refuse(m, QStringLiteral("there is no such exam"));
    const QVariant full =
        c.db().scalar(QStringLiteral("SELECT \"FullMark\" FROM \"CJ_ExamSubject\" WHERE %1 AND \"SubjectCode\" = ?").arg(QLatin1String(kExamIdentity)),
                      k.params() << subject);
    if (!full.isValid()) refuse(m, QStringLiteral("the exam %1 has no subject %2").arg(exam->name, subject));
    return {*exam, subject, full.isNull() ? 0 : full.toDouble()};
}

QList<Question> storedQuestions(Database &db, qint64 examId, const QString &subject)
{
    const wire::DataPacket p = db.select(QStringLiteral("SELECT \"QuestionNo\", \"FullMark\", \"bObjective\", \"sKnowledge\" FROM \"CJ_ExamQuestion\" "
                                                        "WHERE \"examId\" = ? AND \"SubjectCode\" = ? ORDER BY \"iOrder\""),
                                         {examId, subject},
                                         {{"QuestionNo", FieldType::Text, 0, 0},
                                          {"FullMark", FieldType::Float, 0, 0},
                                          {"bObjective", FieldType::Boolean, 0, 0},
                                          {"sKnowledge", FieldType::Text, 0, 0}});
    QList<Question> out;
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        out.append({p.value(r, 0).toString(), p.value(r, 1).toDouble(), p.value(r, 2).toBool(), p.value(r, 3).toString()});
    return out;
}

// The candidates the user sees: student → class.
QHash<QString, QString> seenCandidates(MethodCall &c, const StoredExam &exam, const ScoreScope &scope)
{
    const wire::DataPacket p = c.db().select(QStringLiteral("SELECT \"StudentCode\", COALESCE(\"ClassCode\", '') FROM \"CJ_ExamStudent\" WHERE \"examId\" = ?"),
                                             {exam.id}, {{"StudentCode", FieldType::Text, 0, 0}, {"ClassCode", FieldType::Text, 0, 0}});
    QHash<QString, QString> out;
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        if (scope.sees(p.value(r, 1).toString())) out.insert(p.value(r, 0).toString(), p.value(r, 1).toString());
    return out;
}

// ---- the question list -------------------------------------------------------------------------

// (school, grade, exam, var page, var intake year, subject, out data).
void qExamQuestions(MethodCall &c)
{
    c.requireByRef(6);
    const SubjectOfExam s = subjectOfExam(c, P::QExamQuestions);
    c.setRef(6,
             c.db().select(QStringLiteral("SELECT q.\"QuestionNo\", q.\"iOrder\", q.\"FullMark\", q.\"bObjective\", q.\"sKnowledge\", "
                                          "(SELECT COUNT(*) FROM \"CJ_QuestionMark\" m WHERE m.\"examId\" = q.\"examId\" AND m.\"SubjectCode\" = "
                                          "q.\"SubjectCode\" AND m.\"QuestionNo\" = q.\"QuestionNo\" AND m.\"score\" IS NOT NULL) FROM \"CJ_ExamQuestion\" q "
                                          "WHERE q.\"examId\" = ? AND q.\"SubjectCode\" = ? ORDER BY q.\"iOrder\""),
                           {s.exam.id, s.subject},
                           {{"QuestionNo", FieldType::Text, 10, 0},
                            {"iOrder", FieldType::Integer, 0, 0},
                            {"FullMark", FieldType::Float, 0, 0},
                            {"bObjective", FieldType::Boolean, 0, 0},
                            {"sKnowledge", FieldType::Text, 100, 0},
                            {"nScored", FieldType::Integer, 0, 0}}));
}

// A question number: 1 to 10 characters, none of them a comma, a semicolon, a quote or a control
// character ("1", "13", "13(2)", "二.1").
bool validNumber(const QString &n)
{
    if (n.isEmpty() || n.size() > 10 || n.trimmed() != n) return false;
    for (QChar ch : n)
        if (ch.unicode() < 32 || ch == u',' || ch == u';' || ch == u'"' || ch == u'\'') return false;
    return true;
}

// Writing questions or their scores: the exam open, and the subject writable in the classes.
void requireSubjectWrite(MethodCall &c, const P::Method &m, const SubjectOfExam &s, const ScoreScope &scope, const QSet<QString> &classes)
{
    if (const QString why = scope.examRefusal(c.env().now()); !why.isEmpty()) throw CallError(ErrorCode::Forbidden, m.fullName() + QStringLiteral(": ") + why);
    for (const QString &klass : classes)
        if (!scope.mayWrite(klass, s.subject))
            throw CallError(ErrorCode::Forbidden, QStringLiteral("%1: you may not change %2 of the class %3").arg(m.fullName(), s.subject, klass));
}

QSet<QString> candidateClasses(Database &db, qint64 examId)
{
    const wire::DataPacket p = db.select(QStringLiteral("SELECT DISTINCT COALESCE(\"ClassCode\", '') FROM \"CJ_ExamStudent\" WHERE \"examId\" = ?"), {examId},
                                         {{"ClassCode", FieldType::Text, 0, 0}});
    QSet<QString> out;
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        out.insert(p.value(r, 0).toString());
    return out;
}

// (school, grade, exam, var page, var intake year, subject, questions).
void upExamQuestions(MethodCall &c)
{
    const P::Method &m = P::UpExamQuestions;
    const SubjectOfExam s = subjectOfExam(c, m);
    const wire::DataPacket &sent = c.packet(6);
    const ScoreScope scope(c, s.exam);
    Database &db = c.db();
    requireSubjectWrite(c, m, s, scope, candidateClasses(db, s.exam.id));

    const int number = sent.fieldIndex(QStringLiteral("QuestionNo")), full = sent.fieldIndex(QStringLiteral("FullMark")),
              objective = sent.fieldIndex(QStringLiteral("bObjective")), knowledge = sent.fieldIndex(QStringLiteral("sKnowledge"));
    if (number < 0 || full < 0) throw CallError(ErrorCode::BadArguments, m.fullName() + QStringLiteral(": Questions needs the fields QuestionNo and FullMark"));
    QList<Question> wanted;
    QSet<QString> seen;
    // Numbers are told apart without regard to letter case: the sheet's columns are Q_<number>,
    // and a table's field names are (13a and 13A would give QQuestionSheet the same column twice).
    QSet<QString> folded;
    QStringList problems;
    for (qsizetype r = 0; r < sent.rowCount(); ++r) {
        const QString n = sent.value(r, number).toString();
        const QVariant fm = sent.value(r, full);
        Question q{n, fm.toDouble(), objective >= 0 && sent.value(r, objective).toBool(),
                   knowledge >= 0 ? sent.value(r, knowledge).toString().trimmed() : QString()};
        if (!validNumber(n))
            problems << QStringLiteral("row %1: \"%2\" is no question number (1 to 10 characters without , ; or quotes)").arg(r + 1).arg(n.left(20));
        else if (folded.contains(n.toCaseFolded()))
            problems << QStringLiteral("row %1: the question %2 comes twice").arg(r + 1).arg(n);
        seen.insert(n);
        folded.insert(n.toCaseFolded());
        if (wire::isNull(fm) || !std::isfinite(q.fullMark) || q.fullMark <= 0 || q.fullMark > s.fullMark)
            problems << QStringLiteral("row %1: the full mark of a question is above 0 and at most the subject's %2").arg(r + 1).arg(s.fullMark);
        if (q.knowledge.size() > 100) problems << QStringLiteral("row %1: the knowledge point is longer than 100 characters").arg(r + 1);
        wanted << q;
    }
    // A question with scores stays, with a full mark its scores fit in.
    const wire::DataPacket scored = db.select(QStringLiteral("SELECT \"QuestionNo\", MAX(\"score\") FROM \"CJ_QuestionMark\" WHERE \"examId\" = ? AND "
                                                             "\"SubjectCode\" = ? GROUP BY \"QuestionNo\""),
                                              {s.exam.id, s.subject}, {{"QuestionNo", FieldType::Text, 0, 0}, {"Highest", FieldType::Float, 0, 0}});
    for (qsizetype r = 0; r < scored.rowCount(); ++r) {
        const QString n = scored.value(r, 0).toString();
        const auto it = std::find_if(wanted.cbegin(), wanted.cend(), [&](const Question &q) { return q.number == n; });
        if (it == wanted.cend())
            problems << QStringLiteral("the question %1 has scores and cannot be removed").arg(n);
        else if (it->fullMark + kSumTolerance < scored.value(r, 1).toDouble())
            problems << QStringLiteral("the question %1 has a score of %2, above the full mark %3").arg(n).arg(scored.value(r, 1).toDouble()).arg(it->fullMark);
    }
    if (!problems.isEmpty()) refuse(m, problems.join(QStringLiteral("; ")));

    Transaction tx(db);
    lockExam(db, s.exam.id, false);
    const QList<Question> before = storedQuestions(db, s.exam.id, s.subject);
    for (const Question &q : before)
        if (!seen.contains(q.number))
            db.exec(QStringLiteral("DELETE FROM \"CJ_ExamQuestion\" WHERE \"examId\" = ? AND \"SubjectCode\" = ? AND \"QuestionNo\" = ?"),
                    {s.exam.id, s.subject, q.number});
    for (int i = 0; i < wanted.size(); ++i) {
        const Question &q = wanted[i];
        const QVariantList values{i + 1, q.fullMark, db.toDb(q.objective, FieldType::Boolean), q.knowledge.isEmpty() ? QVariant() : QVariant(q.knowledge)};
        const bool exists = std::any_of(before.cbegin(), before.cend(), [&](const Question &b) { return b.number == q.number; });
        if (exists)
            db.exec(QStringLiteral("UPDATE \"CJ_ExamQuestion\" SET \"iOrder\" = ?, \"FullMark\" = ?, \"bObjective\" = ?, \"sKnowledge\" = ? "
                                   "WHERE \"examId\" = ? AND \"SubjectCode\" = ? AND \"QuestionNo\" = ?"),
                    QVariantList(values) << s.exam.id << s.subject << q.number);
        else
            db.exec(QStringLiteral("INSERT INTO \"CJ_ExamQuestion\" (\"iOrder\", \"FullMark\", \"bObjective\", \"sKnowledge\", \"examId\", \"SubjectCode\", "
                                   "\"QuestionNo\") VALUES (?, ?, ?, ?, ?, ?, ?)"),
                    QVariantList(values) << s.exam.id << s.subject << q.number);
    }
    tx.commit();
    c.setResult(qint64(wanted.size()));
}

// ---- question scores -------------------------------------------------------------------------------

// (school, grade, exam, var page, var intake year, subject, sheet).
void upQuestionMarks(MethodCall &c)
{
    const P::Method &m = P::UpQuestionMarks;
    const SubjectOfExam s = subjectOfExam(c, m);
    const wire::DataPacket &sheet = c.packet(6);
    Database &db = c.db();
    const QList<Question> questions = storedQuestions(db, s.exam.id, s.subject);
    if (questions.isEmpty()) refuse(m, QStringLiteral("the subject %1 has no questions yet").arg(s.subject));
    const int studentField = sheet.fieldIndex(QStringLiteral("StudentCode"));
    if (studentField < 0) throw CallError(ErrorCode::BadArguments, m.fullName() + QStringLiteral(": Sheet needs the field StudentCode"));
    // The sheet's question columns; any other column is refused, so that a mistyped number is
    // never dropped without a word.
    QList<std::pair<int, Question>> columns;
    QStringList problems;
    for (int f = 0; f < sheet.fieldCount(); ++f) {
        const QString name = sheet.fields()[f].name;
        if (f == studentField) continue;
        const auto it = std::find_if(questions.cbegin(), questions.cend(), [&](const Question &q) { return kColumnPrefix + q.number == name; });
        if (it == questions.cend())
            problems << QStringLiteral("the column %1 is no question of the subject").arg(name.left(20));
        else
            columns.append({f, *it});
    }
    if (!problems.isEmpty()) refuse(m, problems.join(QStringLiteral("; ")));

    const ScoreScope scope(c, s.exam);
    if (const QString why = scope.examRefusal(c.env().now()); !why.isEmpty()) throw CallError(ErrorCode::Forbidden, m.fullName() + QStringLiteral(": ") + why);
    QHash<QString, QString> classOf;
    QHash<QString, QVariant> subjectScore;
    QHash<QString, QString> nameOf;
    {
        const wire::DataPacket p = db.select(
            QStringLiteral(
                "SELECT es.\"StudentCode\", COALESCE(es.\"ClassCode\", ''), mk.\"score\", COALESCE(st.\"sName\", '') || '(' || COALESCE(st.\"sNO\", '') || ')' "
                "FROM \"CJ_ExamStudent\" es LEFT JOIN \"CJ_Mark\" mk ON mk.\"examId\" = es.\"examId\" AND mk.\"StudentCode\" = es.\"StudentCode\" "
                "AND mk.\"SubjectCode\" = ? LEFT JOIN \"XJ_Student\" st ON st.\"sCode\" = es.\"StudentCode\" WHERE es.\"examId\" = ?"),
            {s.subject, s.exam.id},
            {{"StudentCode", FieldType::Text, 0, 0}, {"ClassCode", FieldType::Text, 0, 0}, {"score", FieldType::Float, 0, 0}, {"Name", FieldType::Text, 0, 0}});
        for (qsizetype r = 0; r < p.rowCount(); ++r) {
            classOf.insert(p.value(r, 0).toString(), p.value(r, 1).toString());
            subjectScore.insert(p.value(r, 0).toString(), p.value(r, 2));
            nameOf.insert(p.value(r, 0).toString(), p.value(r, 3).toString());
        }
    }

    QList<QVariantList> inserts;
    QStringList students;
    QSet<QString> seen;
    for (qsizetype r = 0; r < sheet.rowCount(); ++r) {
        const QString student = sheet.value(r, studentField).toString();
        const QString who = nameOf.value(student, student);
        if (!classOf.contains(student)) {
            problems << QStringLiteral("row %1: %2 is no candidate of the exam").arg(r + 1).arg(student.left(40));
            continue;
        }
        if (seen.contains(student)) {
            problems << QStringLiteral("row %1: %2 comes twice").arg(r + 1).arg(who);
            continue;
        }
        seen.insert(student);
        if (!scope.mayWrite(classOf.value(student), s.subject)) {
            problems << QStringLiteral("row %1: you may not change %2 of %3").arg(r + 1).arg(s.subject, who);
            continue;
        }
        double sum = 0;
        int given = 0;
        QList<QVariantList> mine;
        for (const auto &[f, q] : columns) {
            const QVariant v = sheet.value(r, f);
            if (wire::isNull(v) || v.toString().trimmed().isEmpty()) continue;
            bool ok = false;
            const double score = v.toString().trimmed().toDouble(&ok);
            if (!ok || !std::isfinite(score) || score < 0 || score > q.fullMark + kSumTolerance) {
                problems << QStringLiteral("row %1: %2's score %3 on question %4 is not between 0 and %5")
                                .arg(r + 1)
                                .arg(who, v.toString().left(20), q.number)
                                .arg(q.fullMark);
                continue;
            }
            const double rounded = std::round(score * 100.0) / 100.0;
            sum += rounded;
            ++given;
            mine.append({s.exam.id, student, s.subject, q.number, rounded});
        }
        students << student;
        if (given == 0) continue; // clears his question scores
        const QVariant total = subjectScore.value(student);
        if (wire::isNull(total))
            problems << QStringLiteral("row %1: %2 has no %3 score to add up to").arg(r + 1).arg(who, s.subject);
        else if (std::abs(total.toDouble() - sum) > kSumTolerance)
            problems << QStringLiteral("row %1: %2's question scores add up to %3, the subject score is %4").arg(r + 1).arg(who).arg(sum).arg(total.toDouble());
        inserts += mine;
    }
    if (!problems.isEmpty()) refuse(m, problems.join(QStringLiteral("; ")));

    Transaction tx(db);
    lockExam(db, s.exam.id, false);
    for (const QString &student : students)
        db.exec(QStringLiteral("DELETE FROM \"CJ_QuestionMark\" WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = ?"),
                {s.exam.id, student, s.subject});
    db.execValues(QStringLiteral("INSERT INTO \"CJ_QuestionMark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"QuestionNo\", \"score\")"), 5, inserts);
    tx.commit();
    c.setResult(qint64(students.size()));
}

QString className(Database &db, const StoredExam &e, const QString &code)
{
    const QVariant alias =
        db.scalar(QStringLiteral("SELECT COALESCE(NULLIF(gc.\"AliasName\", ''), cl.\"ClassName\") FROM \"XJ_Class\" cl LEFT JOIN \"XJ_GradeClass\" gc "
                                 "ON gc.\"SchoolCode\" = cl.\"SchoolCode\" AND gc.\"ClassCode\" = cl.\"ClassCode\" AND gc.\"GradeCode\" = ? "
                                 "AND gc.\"InYear\" = ? WHERE cl.\"SchoolCode\" = ? AND cl.\"ClassCode\" = ?"),
                  {e.key.grade, e.key.inYear, e.key.school, code});
    return alias.toString().isEmpty() ? code : alias.toString();
}

// (school, grade, exam, var page, var intake year, subject, out data).
void qQuestionSheet(MethodCall &c)
{
    c.requireByRef(6);
    const SubjectOfExam s = subjectOfExam(c, P::QQuestionSheet);
    Database &db = c.db();
    const ScoreScope scope(c, s.exam);
    const QList<Question> questions = storedQuestions(db, s.exam.id, s.subject);
    QList<wire::FieldDef> fields{{"StudentCode", FieldType::Text, 0, 0}, {"sNO", FieldType::Text, 0, 0},       {"sName", FieldType::Text, 0, 0},
                                 {"ClassCode", FieldType::Text, 0, 0},   {"ClassName", FieldType::Text, 0, 0}, {"Score", FieldType::Float, 0, 0}};
    for (const Question &q : questions)
        fields.append({kColumnPrefix + q.number, FieldType::Float, 0, 0});
    const wire::DataPacket people =
        db.select(QStringLiteral("SELECT es.\"StudentCode\", st.\"sNO\", st.\"sName\", COALESCE(es.\"ClassCode\", ''), mk.\"score\" FROM \"CJ_ExamStudent\" es "
                                 "LEFT JOIN \"XJ_Student\" st ON st.\"sCode\" = es.\"StudentCode\" LEFT JOIN \"CJ_Mark\" mk ON mk.\"examId\" = es.\"examId\" "
                                 "AND mk.\"StudentCode\" = es.\"StudentCode\" AND mk.\"SubjectCode\" = ? WHERE es.\"examId\" = ? "
                                 "ORDER BY 4, st.\"iClassNo\", es.\"StudentCode\""),
                  {s.subject, s.exam.id},
                  {{"StudentCode", FieldType::Text, 0, 0},
                   {"sNO", FieldType::Text, 0, 0},
                   {"sName", FieldType::Text, 0, 0},
                   {"ClassCode", FieldType::Text, 0, 0},
                   {"Score", FieldType::Float, 0, 0}});
    QHash<QString, QHash<QString, QVariant>> scores;
    const wire::DataPacket stored =
        db.select(QStringLiteral("SELECT \"StudentCode\", \"QuestionNo\", \"score\" FROM \"CJ_QuestionMark\" WHERE \"examId\" = ? AND \"SubjectCode\" = ?"),
                  {s.exam.id, s.subject}, {{"StudentCode", FieldType::Text, 0, 0}, {"QuestionNo", FieldType::Text, 0, 0}, {"score", FieldType::Float, 0, 0}});
    for (qsizetype r = 0; r < stored.rowCount(); ++r)
        scores[stored.value(r, 0).toString()].insert(stored.value(r, 1).toString(), stored.value(r, 2));
    QHash<QString, QString> names;
    wire::DataPacket sheet(fields);
    for (qsizetype r = 0; r < people.rowCount(); ++r) {
        const QString student = people.value(r, 0).toString(), klass = people.value(r, 3).toString();
        if (!scope.sees(klass)) continue;
        if (!names.contains(klass)) names.insert(klass, className(db, s.exam, klass));
        QVariantList row{student, people.value(r, 1), people.value(r, 2), klass, names.value(klass), people.value(r, 4)};
        for (const Question &q : questions)
            row << scores.value(student).value(q.number);
        sheet.appendRow(row);
    }
    c.setRef(6, sheet);
}

// ---- the analysis --------------------------------------------------------------------------------------

double rounded(double v, int decimals)
{
    const double f = std::pow(10.0, decimals);
    return std::round(v * f) / f;
}
QVariant number(double v, int decimals)
{
    return std::isnan(v) ? QVariant() : QVariant(rounded(v, decimals));
}

void itemAnalysis(MethodCall &c, const SubjectOfExam &s, const ScoreScope &scope)
{
    Database &db = c.db();
    const QList<Question> questions = storedQuestions(db, s.exam.id, s.subject);
    const QHash<QString, QString> seen = seenCandidates(c, s.exam, scope);
    // Students in class order; the subject scores and each question's scores as columns.
    QStringList students = seen.keys();
    std::sort(students.begin(), students.end(), [&](const QString &a, const QString &b) { return std::pair(seen.value(a), a) < std::pair(seen.value(b), b); });
    QHash<QString, int> index;
    for (int i = 0; i < students.size(); ++i)
        index.insert(students[i], i);
    std::vector<double> subject(size_t(students.size()), domain::kNoQuestionScore);
    const wire::DataPacket marks = db.select(QStringLiteral("SELECT \"StudentCode\", \"score\" FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"SubjectCode\" = ?"),
                                             {s.exam.id, s.subject}, {{"StudentCode", FieldType::Text, 0, 0}, {"score", FieldType::Float, 0, 0}});
    for (qsizetype r = 0; r < marks.rowCount(); ++r)
        if (const auto it = index.constFind(marks.value(r, 0).toString()); it != index.cend() && !wire::isNull(marks.value(r, 1)))
            subject[size_t(*it)] = marks.value(r, 1).toDouble();
    QHash<QString, std::vector<double>> byQuestion;
    for (const Question &q : questions)
        byQuestion.insert(q.number, std::vector<double>(size_t(students.size()), domain::kNoQuestionScore));
    const wire::DataPacket scores =
        db.select(QStringLiteral("SELECT \"StudentCode\", \"QuestionNo\", \"score\" FROM \"CJ_QuestionMark\" WHERE \"examId\" = ? AND \"SubjectCode\" = ?"),
                  {s.exam.id, s.subject}, {{"StudentCode", FieldType::Text, 0, 0}, {"QuestionNo", FieldType::Text, 0, 0}, {"score", FieldType::Float, 0, 0}});
    for (qsizetype r = 0; r < scores.rowCount(); ++r) {
        const auto student = index.constFind(scores.value(r, 0).toString());
        const auto column = byQuestion.find(scores.value(r, 1).toString());
        if (student != index.cend() && column != byQuestion.end() && !wire::isNull(scores.value(r, 2)))
            (*column)[size_t(*student)] = scores.value(r, 2).toDouble();
    }
    // The groups are of the students with question scores, by their subject score.
    std::vector<double> grouped(subject.size(), domain::kNoQuestionScore);
    for (size_t i = 0; i < subject.size(); ++i)
        for (const Question &q : questions)
            if (!std::isnan(byQuestion.value(q.number)[i])) grouped[i] = subject[i];
    const domain::ScoreGroups groups = domain::scoreGroups(grouped);
    std::map<QString, std::vector<int>> classes; // class code → student indexes, in code order
    for (int i = 0; i < students.size(); ++i)
        classes[seen.value(students[i])].push_back(i);

    ResultTable t(QStringLiteral("QItemAnalysis"));
    t.field(QStringLiteral("QuestionNo"), QStringLiteral("题号"), 'W', 6);
    t.field(QStringLiteral("FullMark"), QStringLiteral("满分"), 'F', 6);
    t.field(QStringLiteral("sKind"), QStringLiteral("题型"), 'W', 6);
    t.field(QStringLiteral("sKnowledge"), QStringLiteral("知识点"), 'W', 14);
    t.field(QStringLiteral("nAnswered"), QStringLiteral("人数"), 'I', 6);
    t.field(QStringLiteral("nAvg"), QStringLiteral("平均分"), 'F', 7);
    t.field(QStringLiteral("nP"), QStringLiteral("难度"), 'F', 6);
    t.field(QStringLiteral("nD"), QStringLiteral("区分度"), 'F', 6);
    t.field(QStringLiteral("nUpperAvg"), QStringLiteral("高分组均分"), 'F', 9);
    t.field(QStringLiteral("nLowerAvg"), QStringLiteral("低分组均分"), 'F', 9);
    t.field(QStringLiteral("nFull"), QStringLiteral("满分人数"), 'I', 8);
    t.field(QStringLiteral("nZero"), QStringLiteral("零分人数"), 'I', 8);
    t.field(QStringLiteral("nRate"), QStringLiteral("年级得分率%"), 'F', 10);
    for (const auto &[code, members] : classes)
        t.field(QStringLiteral("R_") + code, className(db, s.exam, code) + QStringLiteral("得分率%"), 'F', 10);
    std::vector<int> everyone(students.size());
    std::iota(everyone.begin(), everyone.end(), 0);
    for (const Question &q : questions) {
        const std::vector<double> &col = byQuestion[q.number];
        const domain::QuestionFacts f = domain::questionFacts(col, q.fullMark, groups);
        const bool any = f.answered > 0;
        QVariantList row{q.number,
                         q.fullMark,
                         q.objective ? QStringLiteral("客观题") : QStringLiteral("主观题"),
                         q.knowledge,
                         f.answered,
                         any ? number(f.mean, 2) : QVariant(),
                         any ? number(f.difficulty, 2) : QVariant(),
                         any ? number(f.discrimination, 2) : QVariant(),
                         any ? number(f.upperMean, 2) : QVariant(),
                         any ? number(f.lowerMean, 2) : QVariant(),
                         f.fullMarks,
                         f.zeros,
                         number(domain::scoreRate(col, q.fullMark, everyone) * 100, 1)};
        for (const auto &[code, members] : classes)
            row << number(domain::scoreRate(col, q.fullMark, members) * 100, 1);
        t.row(row);
    }
    c.setRef(7, t.definitions());
    c.setRef(8, t.rows());
}

void scoreSegments(MethodCall &c, const SubjectOfExam &s, const ScoreScope &scope, const QString &column)
{
    Database &db = c.db();
    const QHash<QString, QString> seen = seenCandidates(c, s.exam, scope);
    std::vector<double> scores;
    const bool total = column == u"FUL" || column == u"MAI" || column == u"BAS";
    const QString field = column == u"FUL" ? QStringLiteral("FullTotal") : column == u"MAI" ? QStringLiteral("MainTotal") : QStringLiteral("BaseTotal");
    const wire::DataPacket p =
        total ? db.select(QStringLiteral("SELECT \"StudentCode\", \"%1\" FROM \"CJ_ExamStudent\" WHERE \"examId\" = ?").arg(field), {s.exam.id},
                          {{"StudentCode", FieldType::Text, 0, 0}, {"score", FieldType::Float, 0, 0}})
              : db.select(QStringLiteral("SELECT \"StudentCode\", \"score\" FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"SubjectCode\" = ?"),
                          {s.exam.id, column}, {{"StudentCode", FieldType::Text, 0, 0}, {"score", FieldType::Float, 0, 0}});
    for (qsizetype r = 0; r < p.rowCount(); ++r)
        if (seen.contains(p.value(r, 0).toString()) && !wire::isNull(p.value(r, 1))) scores.push_back(p.value(r, 1).toDouble());
    const std::vector<domain::ScoreSegment> segments = domain::scoreSegments(scores);
    ResultTable t(QStringLiteral("QItemAnalysis"));
    t.field(QStringLiteral("nScore"), QStringLiteral("分数"), 'I', 6);
    t.field(QStringLiteral("nCount"), QStringLiteral("人数"), 'I', 6);
    t.field(QStringLiteral("nCumulative"), QStringLiteral("累计人数"), 'I', 8);
    t.field(QStringLiteral("nCumulativePct"), QStringLiteral("累计百分比%"), 'F', 10);
    t.field(QStringLiteral("nRank"), QStringLiteral("名次"), 'I', 6);
    for (const domain::ScoreSegment &g : segments)
        t.row({g.score, g.count, g.cumulative, rounded(100.0 * g.cumulative / double(scores.size()), 2), g.rank});
    c.setRef(7, t.definitions());
    c.setRef(8, t.rows());
}

// (school, grade, exam, var page, var intake year, subject, kind, out fields, out data). Kind 1
// takes FUL, MAI or BAS for a total as well as a subject code.
void qItemAnalysis(MethodCall &c)
{
    const P::Method &m = P::QItemAnalysis;
    c.requireByRef(7);
    c.requireByRef(8);
    const qint64 kind = c.integer(6);
    if (kind != 0 && kind != 1) throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: argument 7 (Kind) is 0 or 1, not %2").arg(m.fullName()).arg(kind));
    const QString column = c.text(5);
    const bool total = column == u"FUL" || column == u"MAI" || column == u"BAS";
    if (total && kind == 0) throw CallError(ErrorCode::BadArguments, m.fullName() + QStringLiteral(": a total has no questions"));
    SubjectOfExam s;
    if (total) {
        const std::optional<StoredExam> exam = findExam(c.db(), keyOfArgs(c, 1, 2, 3, 4));
        if (!exam) refuse(m, QStringLiteral("there is no such exam"));
        if (exam->key.isUnit()) refuse(m, QStringLiteral("a unit exam has no totals"));
        if (!c.hasRight(QStringLiteral("4011"), QStringLiteral("ViewTotal")))
            throw CallError(ErrorCode::Forbidden, m.fullName() + QStringLiteral(": the totals need the right 4011/ViewTotal"));
        s = {*exam, column, 0};
    } else {
        s = subjectOfExam(c, m);
    }
    const ScoreScope scope(c, s.exam);
    if (kind == 0)
        itemAnalysis(c, s, scope);
    else
        scoreSegments(c, s, scope, column);
}

} // namespace

void registerQuestionMethods(Service &s)
{
    s.addMethod(P::QExamQuestions, qExamQuestions);
    s.addMethod(P::QQuestionSheet, qQuestionSheet);
    s.addMethod(P::UpExamQuestions, upExamQuestions);
    s.addMethod(P::UpQuestionMarks, upQuestionMarks);
    s.addMethod(P::QItemAnalysis, qItemAnalysis);
}

} // namespace lumeko::server
