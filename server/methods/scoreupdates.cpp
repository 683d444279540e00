// Writing the score sheet: the changed scores with the roster changes (UpMark), the totals and
// grade ranks the server derives from the stored scores (UpExamOrder), the subject items the page
// ranks (UpSubjectItems) and the letter shares (UpExamGradePer).
//
// UpMark never loses a score: every changed cell carries the value the sheet was loaded with, and
// a cell whose stored value is no longer that value (another teacher saved it meanwhile) is a
// conflict. The call is stored whole or not at all; every stored change is written to the score
// history in the same transaction.

#include "domain/examstatistics.h"
#include "domain/sheetranker.h"
#include "server/core/service.h"
#include "server/grammar/codelists.h"
#include "server/methods/methods.h"
#include "server/methods/scoremethods.h"
#include "server/methods/scorescope.h"
#include "server/methods/updates.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace lumeko::server {

using wire::ErrorCode;
using wire::FieldType;
using wire::RowStatus;
namespace P = wire::protocol;

namespace {

QString scoreText(const QVariant &v)
{
    return v.isNull() ? QStringLiteral("空") : QString::number(v.toDouble());
}
bool sameScore(const QVariant &a, const QVariant &b)
{
    if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
    return a.toDouble() == b.toDouble();
}
QString markKey(const QString &student, const QString &subject)
{
    return student + u'|' + subject;
}

// The exam's subjects with what UpMark and UpExamOrder need of them.
struct ExamSubjects {
    QStringList codes;               // in code order
    QHash<QString, double> fullMark; // 0: none given
    QHash<QString, int> type;        // 0 base, 1 main, 2 auxiliary
    QHash<QString, QString> name;
    QHash<QString, double> passMark; // 0: none given
};
ExamSubjects examSubjects(Database &db, const ExamKey &k)
{
    const wire::DataPacket rows = db.select(
        QStringLiteral("SELECT es.\"SubjectCode\", es.\"FullMark\", COALESCE(gs.\"SubjectType\", 2), COALESCE(s.\"SubjectName\", es.\"SubjectCode\"), "
                       "es.\"PassMark\" "
                       "FROM \"CJ_ExamSubject\" es LEFT JOIN \"XJ_GradeSubject\" gs ON gs.\"SchoolCode\" = es.\"SchoolCode\" AND gs.\"InYear\" = es.\"InYear\" "
                       "AND gs.\"GradeCode\" = es.\"GradeCode\" AND gs.\"SubjectCode\" = es.\"SubjectCode\" "
                       "LEFT JOIN \"XJ_Subject\" s ON s.\"SchoolCode\" = es.\"SchoolCode\" AND s.\"SubjectCode\" = es.\"SubjectCode\" "
                       "WHERE es.\"SchoolCode\" = ? AND es.\"GradeCode\" = ? AND es.\"InYear\" = ? AND es.\"ExamCode\" = ? AND es.\"PageName\" = ? "
                       "ORDER BY es.\"SubjectCode\""),
        k.params(),
        {{"SubjectCode", FieldType::Text, 0, 0},
         {"FullMark", FieldType::Float, 0, 0},
         {"SubjectType", FieldType::Integer, 0, 0},
         {"SubjectName", FieldType::Text, 0, 0},
         {"PassMark", FieldType::Float, 0, 0}});
    ExamSubjects s;
    for (qsizetype r = 0; r < rows.rowCount(); ++r) {
        const QString code = rows.value(r, 0).toString();
        s.codes << code;
        s.fullMark.insert(code, rows.value(r, 1).toDouble());
        s.type.insert(code, rows.value(r, 2).toInt());
        s.name.insert(code, rows.value(r, 3).toString());
        s.passMark.insert(code, rows.value(r, 4).toDouble());
    }
    return s;
}

// The stored scores of an exam by "student|subject" (of the given subjects, or of all when none is
// given), and each candidate's class.
struct StoredSheet {
    QHash<QString, double> scores; // by "student|subject"
    QHash<QString, int> ranks;     // the stored grade ranks, by "student|subject"
    QHash<QString, QString> classOf;
};
// The class of each candidate of the exam, by student code.
QHash<QString, QString> classesOfCandidates(Database &db, qint64 examId)
{
    const wire::DataPacket candidates =
        db.select(QStringLiteral("SELECT \"StudentCode\", COALESCE(\"ClassCode\", '') FROM \"CJ_ExamStudent\" WHERE \"examId\" = ?"), {examId},
                  {{"StudentCode", FieldType::Text, 0, 0}, {"ClassCode", FieldType::Text, 0, 0}});
    QHash<QString, QString> classOf;
    classOf.reserve(candidates.rowCount());
    for (qsizetype r = 0; r < candidates.rowCount(); ++r)
        classOf.insert(candidates.column(0).textAt(r), candidates.column(1).textAt(r));
    return classOf;
}

StoredSheet storedSheet(Database &db, qint64 examId, const QStringList &subjects = {})
{
    StoredSheet s;
    QString sql =
        QStringLiteral("SELECT \"StudentCode\", \"SubjectCode\", \"score\", \"gradeOrder\" FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"score\" IS NOT NULL");
    QVariantList params{examId};
    if (!subjects.isEmpty()) {
        sql += QStringLiteral(" AND \"SubjectCode\" IN (%1)").arg(QStringList(subjects.size(), QStringLiteral("?")).join(u','));
        for (const QString &subject : subjects)
            params << subject;
    }
    const wire::DataPacket marks = db.select(sql, params,
                                             {{"StudentCode", FieldType::Text, 0, 0},
                                              {"SubjectCode", FieldType::Text, 0, 0},
                                              {"score", FieldType::Float, 0, 0},
                                              {"gradeOrder", FieldType::Integer, 0, 0}});
    s.scores.reserve(marks.rowCount());
    s.ranks.reserve(marks.rowCount());
    for (qsizetype r = 0; r < marks.rowCount(); ++r) {
        const QString key = markKey(marks.column(0).textAt(r), marks.column(1).textAt(r));
        s.scores.insert(key, marks.column(2).floatAt(r));
        if (!marks.column(3).isNull(r)) s.ranks.insert(key, int(marks.column(3).intAt(r)));
    }
    s.classOf = classesOfCandidates(db, examId);
    return s;
}

// ---- UpMark --------------------------------------------------------------------------------------------

// One UpMark call: reads the packet's shape, then checks and stages every row; nothing is written
// before every row has passed.
class MarkUpdate {
public:
    explicit MarkUpdate(MethodCall &c) : m_c(c), m_p(c.changes(0)) {}
    void run();

private:
    struct Cell {
        QString student, subject;
        QVariant oldScore, newScore;
    };
    void readShape();
    ExamKey keyOf(const wire::RowChange &row) const;
    QString studentName(const QString &code);
    // Checks one changed cell; returns the refusal in the teacher's words, or stages the change.
    QString stage(const Cell &cell, const QString &classCode);
    void refuse(const QString &student, const QString &why);
    void write(const StoredExam &exam);

    MethodCall &m_c;
    const wire::ChangePacket &m_p;
    int m_identity[6] = {};                     // SchoolCode … StudentCode
    QList<QPair<int, QString>> m_subjectFields; // field, subject code
    ExamSubjects m_subjects;
    StoredSheet m_stored;
    std::optional<ScoreScope> m_scope;
    QHash<QString, QString> m_names;
    QSet<QString> m_refusedStudents;
    QStringList m_messages;
    QList<Cell> m_writes;
    QList<QPair<QString, QString>> m_newCandidates; // student, class
    QStringList m_removedCandidates;
};

void MarkUpdate::readShape()
{
    static const char *const identity[] = {"SchoolCode", "GradeCode", "InYear", "ExamCode", "PageName", "StudentCode"};
    for (int i = 0; i < 6; ++i) {
        m_identity[i] = m_p.fieldIndex(QString::fromLatin1(identity[i]));
        if (m_identity[i] < 0)
            throw CallError(ErrorCode::BadArguments, QStringLiteral("AchieveUp.UpMark: the changes lack the field %1").arg(QLatin1String(identity[i])));
    }
    for (int f = 0; f < m_p.fields.size(); ++f) {
        const QString &name = m_p.fields[f].name;
        if (std::find(std::begin(m_identity), std::end(m_identity), f) != std::end(m_identity)) continue;
        if (!name.startsWith(u"C_", Qt::CaseInsensitive))
            throw CallError(ErrorCode::BadArguments,
                            QStringLiteral("AchieveUp.UpMark: the field %1 is not a score; only C_<subject> fields are stored").arg(name));
        m_subjectFields.append({f, name.mid(2)});
    }
}

ExamKey MarkUpdate::keyOf(const wire::RowChange &row) const
{
    const QVariantList &v = row.status == RowStatus::Inserted ? row.newValues : row.oldValues;
    return {v.value(m_identity[0]).toString(), v.value(m_identity[1]).toString(), v.value(m_identity[3]).toString(), v.value(m_identity[4]).toString(),
            v.value(m_identity[2]).toLongLong()};
}

QString MarkUpdate::studentName(const QString &code)
{
    auto it = m_names.constFind(code);
    if (it == m_names.cend())
        it = m_names.insert(code, m_c.db().scalar(QStringLiteral("SELECT \"sName\" FROM \"XJ_Student\" WHERE \"sCode\" = ?"), {code}).toString());
    return it->isEmpty() ? code : *it;
}

void MarkUpdate::refuse(const QString &student, const QString &why)
{
    m_refusedStudents.insert(student);
    m_messages << why;
}

QString MarkUpdate::stage(const Cell &cell, const QString &classCode)
{
    // The refusal names the student and the subject; it is put together only for a refused cell.
    const auto who = [&] { return QStringLiteral("学生【%1】的%2成绩").arg(studentName(cell.student), m_subjects.name.value(cell.subject, cell.subject)); };
    if (!m_subjects.codes.contains(cell.subject)) return QStringLiteral("科目%1不是本次考试的科目").arg(cell.subject);
    if (!m_scope->mayWrite(classCode, cell.subject)) return who() + QStringLiteral("不在您的编辑权限内");
    if (!cell.newScore.isNull()) {
        const double v = cell.newScore.toDouble();
        const double full = m_subjects.fullMark.value(cell.subject);
        if (!std::isfinite(v) || v < 0 || (full > 0 && v > full))
            return who() + QStringLiteral("%1无效，有效值为零到科目满分%2之间").arg(scoreText(cell.newScore), QString::number(full));
    }
    const auto stored = m_stored.scores.constFind(markKey(cell.student, cell.subject));
    const QVariant now = stored == m_stored.scores.cend() ? QVariant() : QVariant(*stored);
    if (!sameScore(now, cell.oldScore))
        return who() + QStringLiteral("已被他人改为%1（您读取时为%2），请刷新后再录入").arg(scoreText(now), scoreText(cell.oldScore));
    m_writes.append(cell);
    return {};
}

void MarkUpdate::run()
{
    readShape();
    m_c.requireByRef(2);
    if (m_p.rows.isEmpty()) {
        m_c.setRef(2, qint64(0));
        return;
    }
    const ExamKey k = keyOf(m_p.rows.first());
    if (k.school != m_c.user().school) throw CallError(ErrorCode::Forbidden, QStringLiteral("AchieveUp.UpMark: the scores belong to another school"));
    for (const wire::RowChange &row : m_p.rows) {
        const ExamKey other = keyOf(row);
        if (other.params() != k.params()) throw CallError(ErrorCode::BadArguments, QStringLiteral("AchieveUp.UpMark: every row must belong to the same exam"));
    }
    Database &db = m_c.db();
    const std::optional<StoredExam> found = findExam(db, k);
    if (!found) throw CallError(ErrorCode::Refused, QStringLiteral("AchieveUp.UpMark: there is no such exam"));

    // One call at a time per exam: what is compared below stays what is stored until the commit.
    Transaction tx(db);
    lockExam(db, found->id, false);
    const StoredExam exam = *findExam(db, k);
    m_scope.emplace(m_c, exam);
    if (const QString why = m_scope->examRefusal(m_c.env().now()); !why.isEmpty()) {
        m_c.setRef(2, qint64(m_p.rows.size()));
        m_c.setMessage(QStringLiteral("成绩未保存：%1。").arg(why));
        return;
    }
    m_subjects = examSubjects(db, k);
    // A teacher's save touches one or two subjects of the exam: only their scores are read (they
    // are all the checks and the ranks below need), unless candidates leave with all their scores.
    QStringList sent;
    for (const auto &field : m_subjectFields)
        sent << field.second;
    const bool removesCandidates = std::any_of(m_p.rows.cbegin(), m_p.rows.cend(), [](const wire::RowChange &r) { return r.status == RowStatus::Deleted; });
    m_stored = storedSheet(db, exam.id, removesCandidates || sent.isEmpty() ? QStringList() : sent);

    for (const wire::RowChange &row : m_p.rows) {
        const QVariantList &v = row.status == RowStatus::Inserted ? row.newValues : row.oldValues;
        const QString student = v.value(m_identity[5]).toString();
        QString classCode = m_stored.classOf.value(student);
        const bool candidate = m_stored.classOf.contains(student);
        if (row.status != RowStatus::Modified && !m_scope->mayChangeRoster()) {
            refuse(student,
                   QStringLiteral("您没有修改考试名单的权限，学生【%1】未%2").arg(studentName(student), row.status == RowStatus::Inserted ? u"加入" : u"删除"));
            continue;
        }
        if (row.status == RowStatus::Inserted && !candidate) {
            const QVariant klass = db.scalar(
                QStringLiteral("SELECT COALESCE(\"ClassCode\", '') FROM \"XJ_Student\" WHERE \"sCode\" = ? AND \"SchoolCode\" = ? AND \"InYear\" = ?"),
                {student, k.school, k.inYear});
            if (klass.isNull()) {
                refuse(student, QStringLiteral("学生%1不是本年级的学生").arg(student));
                continue;
            }
            classCode = klass.toString();
            m_newCandidates.append({student, classCode});
        } else if (row.status != RowStatus::Inserted && !candidate) {
            refuse(student, QStringLiteral("学生【%1】已不在本次考试的名单中，请刷新后再录入").arg(studentName(student)));
            continue;
        }
        if (row.status == RowStatus::Deleted) m_removedCandidates.append(student);
        for (const auto &[field, subject] : m_subjectFields) {
            Cell cell{student, subject, row.status == RowStatus::Inserted ? QVariant() : row.oldValues.value(field),
                      row.status == RowStatus::Deleted ? QVariant() : row.newValues.value(field)};
            if (row.status == RowStatus::Deleted) {
                // A removed candidate's stored scores go with him; the sheet must still show them as stored.
                const auto stored = m_stored.scores.constFind(markKey(student, subject));
                if (stored == m_stored.scores.cend() && cell.oldScore.isNull()) continue;
            } else if (sameScore(cell.oldScore, cell.newScore)) {
                continue;
            }
            if (const QString why = stage(cell, classCode); !why.isEmpty()) refuse(student, why);
        }
        // Scores of a removed candidate the sheet did not carry are removed with him, and logged.
        if (row.status == RowStatus::Deleted)
            for (const QString &subject : m_subjects.codes) {
                const auto stored = m_stored.scores.constFind(markKey(student, subject));
                bool carried = false;
                for (const auto &f : m_subjectFields)
                    carried = carried || f.second == subject;
                if (stored != m_stored.scores.cend() && !carried) m_writes.append({student, subject, *stored, QVariant()});
            }
    }
    if (!m_refusedStudents.isEmpty()) {
        m_c.setRef(2, qint64(m_refusedStudents.size()));
        m_c.setMessage(m_messages.join(u'\n'));
        return; // the transaction rolls back: nothing of the call is stored
    }
    write(exam);
    tx.commit();
    m_c.setRef(2, qint64(0));
}

// Stores the staged changes: new candidates, the scores with the grade ranks of every subject the
// call touched (kept current with each save, so that a sheet read between a save and the next
// ranking shows true ranks), the history, and removed candidates.
void MarkUpdate::write(const StoredExam &exam)
{
    Database &db = m_c.db();
    if (!m_newCandidates.isEmpty()) {
        QList<QVariantList> rows;
        for (const auto &[student, klass] : m_newCandidates) {
            rows.append({exam.id, student, klass});
            m_stored.classOf.insert(student, klass);
        }
        db.execValues(QStringLiteral("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"ClassCode\")"), 3, rows);
    }
    for (const QString &student : m_removedCandidates)
        m_stored.classOf.remove(student);

    // The scores after the call, and the subjects whose ranks they move.
    QSet<QString> touched, written;
    for (const Cell &cell : m_writes) {
        const QString key = markKey(cell.student, cell.subject);
        touched.insert(cell.subject);
        if (cell.newScore.isNull()) {
            m_stored.scores.remove(key);
            // A cleared score takes its question scores along: they were its breakdown.
            db.exec(QStringLiteral("DELETE FROM \"CJ_QuestionMark\" WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = ?"),
                    {exam.id, cell.student, cell.subject});
            db.exec(QStringLiteral("DELETE FROM \"CJ_Mark\" WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = ?"),
                    {exam.id, cell.student, cell.subject});
        } else {
            m_stored.scores.insert(key, cell.newScore.toDouble());
            written.insert(key);
        }
    }
    // Rows are written in the table's key order (student, subject): a B-tree takes them fastest so.
    QStringList candidates = m_stored.classOf.keys();
    candidates.sort();
    QStringList subjects(touched.cbegin(), touched.cend());
    subjects.sort();
    const domain::SheetRanker ranker(std::vector<int>(std::size_t(candidates.size()), 0), {});
    domain::ColumnRanks ranks;
    std::vector<std::vector<double>> columns;
    std::vector<std::vector<int>> rankColumns;
    for (const QString &subject : subjects) {
        std::vector<double> column(std::size_t(candidates.size()), domain::kNoScore);
        for (qsizetype i = 0; i < candidates.size(); ++i)
            if (const auto it = m_stored.scores.constFind(markKey(candidates[i], subject)); it != m_stored.scores.cend()) column[std::size_t(i)] = *it;
        ranker.rank(column, {}, ranks);
        columns.push_back(std::move(column));
        rankColumns.push_back(ranks.grade);
    }
    QList<QVariantList> upserts;
    for (qsizetype i = 0; i < candidates.size(); ++i)
        for (std::size_t j = 0; j < columns.size(); ++j) {
            const QString key = markKey(candidates[i], subjects[qsizetype(j)]);
            const int rank = rankColumns[j][std::size_t(i)];
            if (rank > 0 && (written.contains(key) || m_stored.ranks.value(key) != rank))
                upserts.append({exam.id, candidates[i], subjects[qsizetype(j)], columns[j][std::size_t(i)], rank});
        }
    db.execValues(QStringLiteral("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\", \"gradeOrder\")"), 5, upserts,
                  QStringLiteral("ON CONFLICT (\"examId\", \"StudentCode\", \"SubjectCode\") DO UPDATE SET \"score\" = excluded.\"score\", "
                                 "\"gradeOrder\" = excluded.\"gradeOrder\""));
    // The standing over every subject of a student whose score changed is no longer known; the
    // analyses read his scores until UpExamOrder finds it again.
    QSet<QString> changedStudents;
    for (const Cell &cell : m_writes)
        changedStudents.insert(cell.student);
    for (const QString &student : changedStudents)
        db.exec(QStringLiteral("UPDATE \"CJ_ExamStudent\" SET \"iAllPass\" = NULL WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"iAllPass\" IS NOT NULL"),
                {exam.id, student});

    // The history: the save once, a line per changed score.
    const SessionUser &u = m_c.user();
    const qint64 save = db.insertReturningId(QStringLiteral("INSERT INTO \"CJ_MarkSave\" (\"examId\", \"SchoolCode\", \"TeacherCode\", \"UserName\", "
                                                            "\"sComputer\", \"dChanged\") VALUES (?, ?, ?, ?, ?, ?)"),
                                             {exam.id, u.school, u.teacherCode, u.name, m_c.origin().left(60), db.toDb(m_c.env().now(), FieldType::DateTime)},
                                             QStringLiteral("Id"));
    QList<QVariantList> lines;
    lines.reserve(m_writes.size());
    const auto score = [](const QVariant &v) { return v.isNull() ? QVariant() : QVariant(v.toDouble()); };
    for (const Cell &cell : m_writes)
        lines.append({save, cell.student, cell.subject, score(cell.oldScore), score(cell.newScore)});
    std::sort(lines.begin(), lines.end(), [](const QVariantList &a, const QVariantList &b) {
        return std::pair(a[1].toString(), a[2].toString()) < std::pair(b[1].toString(), b[2].toString());
    });
    db.execValues(QStringLiteral("INSERT INTO \"CJ_MarkLog\" (\"saveId\", \"StudentCode\", \"SubjectCode\", \"OldScore\", \"NewScore\")"), 5, lines);

    for (const QString &student : m_removedCandidates) {
        db.exec(QStringLiteral("DELETE FROM \"CJ_SubjectItem\" WHERE \"examId\" = ? AND \"StudentCode\" = ?"), {exam.id, student});
        db.exec(QStringLiteral("DELETE FROM \"CJ_QuestionMark\" WHERE \"examId\" = ? AND \"StudentCode\" = ?"), {exam.id, student});
        db.exec(QStringLiteral("DELETE FROM \"CJ_ExamStudent\" WHERE \"examId\" = ? AND \"StudentCode\" = ?"), {exam.id, student});
    }
}

void upMark(MethodCall &c)
{
    MarkUpdate(c).run();
}

// ---- UpExamOrder ---------------------------------------------------------------------------------------

// Answers 0 when done, 1 when there is no such exam, 2 when the exam is frozen (nothing changes).
void upExamOrder(MethodCall &c)
{
    const ExamKey k = keyOfArgs(c, 1, 2, 3, 5);
    Database &db = c.db();
    const std::optional<StoredExam> found = findExam(db, k);
    if (!found) {
        c.setResult(qint64(1));
        return;
    }
    Transaction tx(db);
    lockExam(db, found->id, false);
    const StoredExam exam = *findExam(db, k);
    if (exam.frozen) {
        c.setResult(qint64(2));
        return;
    }
    const ExamSubjects subjects = examSubjects(db, k);
    const grammar::RankColumns columns = grammar::parseOrderFieldList(c.text(4), subjects.codes, !k.isUnit());

    // The sheet as columns: one row per candidate, one column per subject.
    const wire::DataPacket candidates = db.select(
        QStringLiteral("SELECT \"StudentCode\", \"FullTotal\", \"MainTotal\", \"BaseTotal\", \"FullOrder\", \"MainOrder\", \"BaseOrder\", \"iAllPass\" "
                       "FROM \"CJ_ExamStudent\" WHERE \"examId\" = ? ORDER BY \"StudentCode\""),
        {exam.id},
        {{"StudentCode", FieldType::Text, 0, 0},
         {"FullTotal", FieldType::Float, 0, 0},
         {"MainTotal", FieldType::Float, 0, 0},
         {"BaseTotal", FieldType::Float, 0, 0},
         {"FullOrder", FieldType::Integer, 0, 0},
         {"MainOrder", FieldType::Integer, 0, 0},
         {"BaseOrder", FieldType::Integer, 0, 0},
         {"iAllPass", FieldType::Integer, 0, 0}});
    const qsizetype n = candidates.rowCount();
    QHash<QString, qsizetype> rowOf;
    for (qsizetype r = 0; r < n; ++r)
        rowOf.insert(candidates.column(0).textAt(r), r);
    std::vector<std::vector<double>> scores(std::size_t(subjects.codes.size()), std::vector<double>(std::size_t(n), domain::kNoScore));
    std::vector<std::vector<int>> storedRank(scores.size(), std::vector<int>(std::size_t(n), 0));
    const wire::DataPacket marks =
        db.select(QStringLiteral("SELECT \"StudentCode\", \"SubjectCode\", \"score\", \"gradeOrder\" FROM \"CJ_Mark\" WHERE \"examId\" = ?"), {exam.id},
                  {{"StudentCode", FieldType::Text, 0, 0},
                   {"SubjectCode", FieldType::Text, 0, 0},
                   {"score", FieldType::Float, 0, 0},
                   {"gradeOrder", FieldType::Integer, 0, 0}});
    for (qsizetype r = 0; r < marks.rowCount(); ++r) {
        const auto row = rowOf.constFind(marks.column(0).textAt(r));
        const qsizetype j = subjects.codes.indexOf(marks.column(1).textAt(r));
        if (row == rowOf.cend() || j < 0 || marks.column(2).isNull(r)) continue;
        scores[std::size_t(j)][std::size_t(*row)] = marks.column(2).floatAt(r);
        storedRank[std::size_t(j)][std::size_t(*row)] = marks.column(3).isNull(r) ? 0 : int(marks.column(3).intAt(r));
    }
    const domain::SheetRanker ranker(std::vector<int>(std::size_t(n), 0), {});
    domain::ColumnRanks ranks;

    // Subject grade ranks: only those that changed are written.
    QList<QVariantList> rankRows;
    for (const QString &code : columns.subjectCodes) {
        const std::size_t j = std::size_t(subjects.codes.indexOf(code));
        ranker.rank(scores[j], {}, ranks);
        for (qsizetype r = 0; r < n; ++r)
            if (ranks.grade[std::size_t(r)] > 0 && ranks.grade[std::size_t(r)] != storedRank[j][std::size_t(r)])
                rankRows.append({exam.id, candidates.value(r, 0), code, scores[j][std::size_t(r)], ranks.grade[std::size_t(r)]});
    }
    db.execValues(QStringLiteral("INSERT INTO \"CJ_Mark\" (\"examId\", \"StudentCode\", \"SubjectCode\", \"score\", \"gradeOrder\")"), 5, rankRows,
                  QStringLiteral("ON CONFLICT (\"examId\", \"StudentCode\", \"SubjectCode\") DO UPDATE SET \"gradeOrder\" = excluded.\"gradeOrder\""));

    // Each candidate's standing over every subject, which the analyses' 全科 items count.
    {
        std::vector<std::span<const double>> spans;
        std::vector<double> passMarks;
        for (qsizetype j = 0; j < subjects.codes.size(); ++j) {
            spans.emplace_back(scores[std::size_t(j)]);
            passMarks.push_back(subjects.passMark.value(subjects.codes[j]));
        }
        QList<QVariantList> standings;
        for (qsizetype r = 0; r < n; ++r) {
            const qint64 state = qint64(domain::allPassState(spans, passMarks, std::size_t(r)));
            if (candidates.column(7).isNull(r) || candidates.column(7).intAt(r) != state) standings.append({exam.id, candidates.value(r, 0), state});
        }
        // The candidates exist: the insert half of the statement never applies.
        db.execValues(QStringLiteral("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"iAllPass\")"), 3, standings,
                      QStringLiteral("ON CONFLICT (\"examId\", \"StudentCode\") DO UPDATE SET \"iAllPass\" = excluded.\"iAllPass\""));
    }

    // Totals over every subject of the exam, and their grade ranks.
    if (columns.fullTotal) {
        std::vector<std::span<const double>> spans;
        std::vector<int> types;
        for (qsizetype j = 0; j < subjects.codes.size(); ++j) {
            spans.emplace_back(scores[std::size_t(j)]);
            types.push_back(subjects.type.value(subjects.codes[j], 2));
        }
        const domain::TotalColumns totals = domain::totalColumns(spans, types);
        const std::pair<const std::vector<double> *, bool> wanted[] = {
            {&totals.full, true}, {&totals.main, columns.mainTotal}, {&totals.base, columns.baseTotal}};
        std::vector<int> order[3];
        for (int t = 0; t < 3; ++t) {
            if (!wanted[t].second) continue;
            ranker.rank(*wanted[t].first, {}, ranks);
            order[t] = ranks.grade;
        }
        const auto total = [](const std::vector<double> &v, qsizetype r) {
            return domain::isScored(v[std::size_t(r)]) ? QVariant(v[std::size_t(r)]) : QVariant();
        };
        const auto rank = [](const std::vector<int> &v, qsizetype r) { return v.empty() || v[std::size_t(r)] == 0 ? QVariant() : QVariant(v[std::size_t(r)]); };
        QList<QVariantList> changed;
        for (qsizetype r = 0; r < n; ++r) {
            const QVariantList now{total(totals.full, r),
                                   columns.mainTotal ? total(totals.main, r) : candidates.value(r, 2),
                                   columns.baseTotal ? total(totals.base, r) : candidates.value(r, 3),
                                   rank(order[0], r),
                                   columns.mainTotal ? rank(order[1], r) : candidates.value(r, 5),
                                   columns.baseTotal ? rank(order[2], r) : candidates.value(r, 6)};
            bool same = true;
            for (int f = 0; f < 6; ++f)
                same = same && (f < 3 ? sameScore(now[f], candidates.value(r, f + 1)) : now[f] == candidates.value(r, f + 1));
            if (!same) changed.append(QVariantList{exam.id, candidates.value(r, 0)} + now);
        }
        // The candidates exist: the insert half of the statement never applies.
        db.execValues(QStringLiteral("INSERT INTO \"CJ_ExamStudent\" (\"examId\", \"StudentCode\", \"FullTotal\", \"MainTotal\", \"BaseTotal\", \"FullOrder\", "
                                     "\"MainOrder\", \"BaseOrder\")"),
                      8, changed,
                      QStringLiteral("ON CONFLICT (\"examId\", \"StudentCode\") DO UPDATE SET \"FullTotal\" = excluded.\"FullTotal\", \"MainTotal\" = "
                                     "excluded.\"MainTotal\", \"BaseTotal\" = excluded.\"BaseTotal\", \"FullOrder\" = excluded.\"FullOrder\", "
                                     "\"MainOrder\" = excluded.\"MainOrder\", \"BaseOrder\" = excluded.\"BaseOrder\""));
    }
    tx.commit();
    c.setResult(qint64(0));
}

// ---- the page's rankings and letter shares -------------------------------------------------------------

// The exam a packet of rows keyed by examId belongs to, checked: of the user's school, not frozen,
// and open to the user for changes.
StoredExam examOfRows(MethodCall &c, const P::Method &m, const wire::ChangePacket &p)
{
    const int f = p.fieldIndex(u"examId");
    if (f < 0) throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: the changes lack the field examId").arg(m.fullName()));
    QString id;
    for (const wire::RowChange &row : p.rows) {
        const QString rowId = (row.status == RowStatus::Inserted ? row.newValues : row.oldValues).value(f).toString();
        if (!id.isEmpty() && rowId != id)
            throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: every row must belong to the same exam").arg(m.fullName()));
        id = rowId;
    }
    const std::optional<StoredExam> exam = findExamById(c.db(), c.user().school, id);
    if (!exam) throw CallError(ErrorCode::Refused, QStringLiteral("%1: there is no exam %2 in this school").arg(m.fullName(), id));
    if (const QString why = ScoreScope(c, *exam).examRefusal(c.env().now()); !why.isEmpty())
        throw CallError(ErrorCode::Forbidden, QStringLiteral("%1: the exam %2 cannot be changed (%3)").arg(m.fullName(), exam->name, why));
    return *exam;
}

// Subject items are derived from the scores: the last ranking stored wins, so rows are stored by
// their key (exam, student, subject) without comparing old values.
void upSubjectItems(MethodCall &c)
{
    const P::Method &m = P::UpSubjectItems;
    const wire::ChangePacket &p = c.changes(0);
    c.requireByRef(2);
    if (p.rows.isEmpty()) {
        c.setRef(2, qint64(0));
        return;
    }
    const StoredExam exam = examOfRows(c, m, p);
    // The page ranks the candidates on its sheet: a teacher stores rankings of the classes he
    // sees and of no others.
    const ScoreScope scope(c, exam);
    static const char *const columns[] = {"examId",     "SubjectCode", "StudentCode", "InYear",       "score",      "gradeOrder",
                                          "classOrder", "areaOrder",   "scoreLevel",  "gradePercent", "areaPercent"};
    int field[11];
    for (int i = 0; i < 11; ++i)
        field[i] = p.fieldIndex(QString::fromLatin1(columns[i]));
    if (field[1] < 0 || field[2] < 0)
        throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: the changes lack SubjectCode or StudentCode").arg(m.fullName()));
    Database &db = c.db();
    // Rankings are checked against the candidates and their classes only, not the scores.
    const QHash<QString, QString> classOf = classesOfCandidates(db, exam.id);
    const ExamSubjects subjects = examSubjects(db, exam.key);
    QList<QVariantList> upserts;
    int errors = 0;
    QStringList messages;
    Transaction tx(db);
    for (qsizetype r = 0; r < p.rows.size(); ++r) {
        const wire::RowChange &row = p.rows[r];
        const QVariantList &v = row.status == RowStatus::Deleted ? row.oldValues : row.newValues;
        const QString student = v.value(field[2]).toString(), subject = v.value(field[1]).toString();
        if (!classOf.contains(student) || !(subjects.codes.contains(subject) || subject == u"FUL" || subject == u"MAI" || subject == u"BAS")) {
            ++errors;
            messages << QStringLiteral("row %1: student %2 or subject %3 is not part of the exam").arg(r + 1).arg(student, subject);
            continue;
        }
        if (!scope.sees(classOf.value(student))) {
            ++errors;
            messages << QStringLiteral("row %1: student %2 is not in a class you see").arg(r + 1).arg(student);
            continue;
        }
        if (row.status == RowStatus::Deleted) {
            db.exec(QStringLiteral("DELETE FROM \"CJ_SubjectItem\" WHERE \"examId\" = ? AND \"StudentCode\" = ? AND \"SubjectCode\" = ?"),
                    {exam.id, student, subject});
            continue;
        }
        QVariantList values{exam.id};
        for (int i = 1; i < 11; ++i)
            values << (field[i] >= 0 ? v.value(field[i]) : QVariant());
        upserts.append(values);
    }
    if (errors == 0) {
        QStringList set;
        for (int i = 3; i < 11; ++i)
            set << QStringLiteral("\"%1\" = excluded.\"%1\"").arg(QLatin1String(columns[i]));
        QStringList quoted;
        for (const char *col : columns)
            quoted << Database::quoted(QString::fromLatin1(col));
        db.execValues(QStringLiteral("INSERT INTO \"CJ_SubjectItem\" (%1)").arg(quoted.join(QStringLiteral(", "))), 11, upserts,
                      QStringLiteral("ON CONFLICT (\"examId\", \"StudentCode\", \"SubjectCode\") DO UPDATE SET %1").arg(set.join(QStringLiteral(", "))));
        tx.commit();
    }
    c.setRef(2, qint64(errors));
    if (errors > 0) c.setMessage(messages.join(u'\n'));
}

// Letter shares: each of APer … EPer from 0 to 100, together exactly 100 (to a thousandth).
void upExamGradePer(MethodCall &c)
{
    const P::Method &m = P::UpExamGradePer;
    const wire::ChangePacket &p = c.changes(0);
    if (!p.rows.isEmpty()) {
        const StoredExam exam = examOfRows(c, m, p);
        Q_UNUSED(exam);
        for (qsizetype r = 0; r < p.rows.size(); ++r) {
            if (p.rows[r].status == RowStatus::Deleted) continue;
            double sum = 0;
            for (const char *share : {"APer", "BPer", "CPer", "DPer", "EPer"}) {
                const int f = p.fieldIndex(QString::fromLatin1(share));
                const double v = f < 0 ? 0 : p.rows[r].newValues.value(f).toDouble();
                if (!(v >= 0 && v <= 100))
                    throw CallError(ErrorCode::BadArguments,
                                    QStringLiteral("%1: row %2: %3 must lie between 0 and 100").arg(m.fullName()).arg(r + 1).arg(QLatin1String(share)));
                sum += v;
            }
            if (std::abs(sum - 100) > 0.001)
                throw CallError(ErrorCode::BadArguments, QStringLiteral("%1: row %2: the shares add up to %3, not 100").arg(m.fullName()).arg(r + 1).arg(sum));
        }
    }
    applyTableUpdate(c, QStringLiteral("CJ_ExamGradePer"));
}

} // namespace

void registerScoreUpdates(Service &s)
{
    s.addMethod(P::UpMark, upMark);
    s.addMethod(P::UpExamOrder, upExamOrder);
    s.addMethod(P::UpSubjectItems, upSubjectItems);
    s.addMethod(P::UpExamGradePer, upExamGradePer);
}

void registerScoreMethods(Service &s)
{
    registerScoreSheetQueries(s);
    registerScoreUpdates(s);
}

} // namespace lumeko::server
