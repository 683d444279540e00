// P values: the record of a school-wide exam's P-value evaluation (CJ_ZLPG_P) with its settings
// (subjects, student range, formulas, the values the school enters), the counts and results the
// server makes for it (CalPVal), and its detail rows (CJ_ZLPG_PDetail), one per all-subject entry.
// Who is counted is written down in docs/statistics.md ("P value"), the server's rules in
// server/README.md ("P values"). The formulas are read by the strict grammar of
// server/grammar/formula.h; nothing of a client's text reaches SQL.

#include "domain/pvaluecounts.h"
#include "server/core/service.h"
#include "server/grammar/analysistexts.h"
#include "server/grammar/clienttexterror.h"
#include "server/grammar/codelists.h"
#include "server/grammar/compositekeys.h"
#include "server/grammar/formula.h"
#include "server/methods/examstore.h"
#include "server/methods/methods.h"
#include "server/methods/updates.h"
#include "server/storage/schema.h"
#include "wire/protocol/methods.h"

#include <QHash>
#include <QSet>

namespace lumeko::server {

using grammar::PValueField;
using wire::ErrorCode;
using wire::FieldType;
using wire::RowStatus;
namespace P = wire::protocol;

namespace {

const QString kRecords = QStringLiteral("CJ_ZLPG_P");
const QString kDetails = QStringLiteral("CJ_ZLPG_PDetail");

// CalPVal's answers.
enum Outcome : qint64 { Stored = 0, SettingsUnread = 1, CountsFailed = 2, FormulaFailed = 3 };

// What only CalPVal writes.
const QStringList kComputed = {"NP1",        "NP",          "nMastNums",        "nLeaveNums",  "nTotals", "nFullTotal6",
                               "nPass6Nums", "nPass10Nums", "nPass10TotalNums", "nExcel6Nums", "sArea"};
// What a record is from its creation on: the exam it evaluates, who made it and when.
const QStringList kFixed = {"NID", "SchoolCode", "InYear", "GradeCode", "ExamCode", "nExamId", "DCreate", "SCreater"};

// Register states (StudState) the counts tell apart: 退学 is a drop-out; 转出 and 出国 left the
// school's cohort for another school and are not counted; every other state should sit.
const QString kDroppedOut = QStringLiteral("03");
const QSet<QString> kLeftTheCohort = {QStringLiteral("02"), QStringLiteral("05")};

// A merged entry's codes fit a detail row's SubjectCode (40 characters).
constexpr int kMaxMergedSubjects = 10;

// ---- the settings of a record -------------------------------------------------------------------------

struct Settings {
    QStringList six;
    QList<QStringList> entries;
    grammar::StudentRange range;
};

QStringList readSix(const QString &text)
{
    try {
        return grammar::parseSubjectSet(text);
    } catch (const grammar::ClientTextError &e) {
        throw grammar::ClientTextError(QStringLiteral("sSubjects6"), e.problem(), e.position());
    }
}

QList<QStringList> readEntries(const QString &text)
{
    QList<QStringList> entries;
    try {
        entries = grammar::parseMergedSubjectSet(text);
    } catch (const grammar::ClientTextError &e) {
        throw grammar::ClientTextError(QStringLiteral("sSubjects10"), e.problem(), e.position());
    }
    for (const QStringList &entry : entries)
        if (entry.size() > kMaxMergedSubjects)
            throw grammar::ClientTextError(QStringLiteral("sSubjects10"),
                                           QStringLiteral("expected at most %1 subjects merged into one").arg(kMaxMergedSubjects), 0);
    return entries;
}

grammar::StudentRange readRange(const QString &text)
{
    return grammar::parseStudentRange(QStringLiteral("sTypes"), text);
}

// The settings texts of a record, read strictly; throws ClientTextError naming the field.
Settings readSettings(const QString &six, const QString &ten, const QString &types)
{
    return {readSix(six), readEntries(ten), readRange(types)};
}

// A settings field of a new or changed row: empty (not chosen yet) or well formed. Answers what is
// wrong, empty when nothing is.
QString settingsProblem(QStringView field, const QVariant &value)
{
    if (wire::isNull(value) || value.toString().isEmpty()) return {};
    try {
        const QString text = value.toString();
        if (field.compare(u"sSubjects6", Qt::CaseInsensitive) == 0)
            readSix(text);
        else if (field.compare(u"sSubjects10", Qt::CaseInsensitive) == 0)
            readEntries(text);
        else
            readRange(text);
    } catch (const grammar::ClientTextError &e) {
        return e.message();
    }
    return {};
}

bool isSettingsField(QStringView field)
{
    for (const QStringView name : {u"sSubjects6", u"sSubjects10", u"sTypes"})
        if (field.compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

// ---- reading -------------------------------------------------------------------------------------------

// (school, exam, mode): the dialog's record by exam id, or the page's by key text, which also
// brings the exam's own name (ExamName) for the page to show.
void qPVal(MethodCall &c)
{
    const QString school = c.school(0);
    const TableDef &t = schemaTable(kRecords);
    QString where = QStringLiteral("p.\"SchoolCode\" = ?");
    QVariantList params{school};
    const bool page = c.integer(2) == 0;
    if (!page) {
        where += QStringLiteral(" AND p.\"nExamId\" = ?");
        params << c.integer(1);
    } else if (const std::optional<grammar::ExamKey> key = grammar::parseExamKeyText(c.text(1))) {
        where += QStringLiteral(" AND p.\"InYear\" = ? AND p.\"GradeCode\" = ? AND p.\"ExamCode\" = ?");
        params << key->inYear << key->gradeCode << key->examCode;
    }
    QList<wire::FieldDef> fields = t.fieldDefs();
    QString columns = columnList(t, QStringLiteral("p"));
    if (page) {
        fields.append({QStringLiteral("ExamName"), FieldType::Text, 0, 0});
        columns += QStringLiteral(", e.\"ExamName\"");
    }
    c.setResult(c.db().select(
        QStringLiteral("SELECT %1 FROM \"CJ_ZLPG_P\" p LEFT JOIN \"CJ_ExamTotal\" e ON e.\"Id\" = p.\"nExamId\" AND e.\"SchoolCode\" = p.\"SchoolCode\" "
                       "WHERE %2 ORDER BY p.\"InYear\" DESC, p.\"GradeCode\", p.\"ExamCode\", p.\"NID\"")
            .arg(columns, where),
        params, fields));
}

void qPValDetail(MethodCall &c)
{
    const QString school = c.school(0);
    const TableDef &t = schemaTable(kDetails);
    c.setResult(c.db().select(QStringLiteral("SELECT %1 FROM \"CJ_ZLPG_PDetail\" d JOIN \"CJ_ZLPG_P\" p ON p.\"NID\" = d.\"NID\" "
                                             "WHERE p.\"SchoolCode\" = ? AND d.\"NID\" = ? ORDER BY d.\"nRow\"")
                                  .arg(columnList(t, QStringLiteral("d"))),
                              {school, c.integer(1)}, t.fieldDefs()));
}

// ---- storing the settings ------------------------------------------------------------------------------

// (Delta, -1, out ErrorCount). A new record is of a school-wide exam of the user's school that has
// none yet; its exam fields follow the exam, its creator and day are the server's. A changed
// record changes its settings and entered values only. Any refused row stores nothing.
void upPVal(MethodCall &c)
{
    const wire::ChangePacket &packet = c.changes(0);
    c.integer(1);
    c.requireByRef(2);
    QStringList refused;
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const wire::RowChange &row = packet.rows[r];
        QStringList why;
        if (row.status == RowStatus::Deleted) why << QStringLiteral("a record is deleted with DelPVal, which takes its detail rows along");
        if (row.status == RowStatus::Modified)
            for (int f = 0; f < packet.fields.size(); ++f) {
                const QString &name = packet.fields[f].name;
                if (row.newValues.value(f) == row.oldValues.value(f)) continue;
                if (kComputed.contains(name, Qt::CaseInsensitive))
                    why << QStringLiteral("%1 is computed by CalPVal and cannot be written").arg(name);
                else if (kFixed.contains(name, Qt::CaseInsensitive))
                    why << QStringLiteral("%1 is fixed when the record is made").arg(name);
                else if (isSettingsField(name))
                    if (const QString problem = settingsProblem(name, row.newValues.value(f)); !problem.isEmpty()) why << problem;
            }
        if (!why.isEmpty()) refused << QStringLiteral("%1 row %2: %3").arg(kRecords).arg(r + 1).arg(why.join(QStringLiteral("; ")));
    }
    if (!refused.isEmpty()) {
        c.setRef(2, qint64(refused.size()));
        c.setMessage(refused.join(u'\n'));
        return;
    }

    const TableDef &t = schemaTable(kRecords);
    const QString school = c.user().school, creator = c.user().name;
    const QDateTime now = c.env().now();
    Database &db = c.db();
    const int examId = t.columnIndex(u"nExamId"), inYear = t.columnIndex(u"InYear"), grade = t.columnIndex(u"GradeCode"), examCode = t.columnIndex(u"ExamCode"),
              created = t.columnIndex(u"DCreate"), createdBy = t.columnIndex(u"SCreater");
    QSet<qint64> examsOfThisCall;
    ApplyRules rules;
    rules.onInsert = [&](QVariantList &values) -> QString {
        for (const QString &name : kComputed)
            if (!wire::isNull(values[t.columnIndex(name)])) return QStringLiteral("%1 is computed by CalPVal; a new record leaves it empty").arg(name);
        for (const char *name : {"sSubjects6", "sSubjects10", "sTypes"})
            if (const QString problem = settingsProblem(QString::fromLatin1(name), values[t.columnIndex(QString::fromLatin1(name))]); !problem.isEmpty())
                return problem;
        if (wire::isNull(values[examId])) return QStringLiteral("a record names the exam it evaluates (nExamId)");
        const std::optional<StoredExam> exam = findExamById(db, school, values[examId].toString());
        if (!exam) return QStringLiteral("there is no exam %1 in the school").arg(values[examId].toString());
        if (exam->key.isUnit()) return QStringLiteral("the exam %1 is a teacher's unit exam; P values are of school-wide exams").arg(exam->name);
        lockExam(db, exam->id, false);
        const QVariant existing =
            db.scalar(QStringLiteral("SELECT MIN(\"NID\") FROM \"CJ_ZLPG_P\" WHERE \"SchoolCode\" = ? AND \"nExamId\" = ?"), {school, exam->id});
        if (!wire::isNull(existing) || examsOfThisCall.contains(exam->id))
            return QStringLiteral("the exam %1 has a P-value record already; its settings are changed there").arg(exam->name);
        examsOfThisCall.insert(exam->id);
        const QVariant expected[] = {exam->key.inYear, exam->key.grade, exam->key.code};
        const int columns[] = {inYear, grade, examCode};
        for (int k = 0; k < 3; ++k) {
            if (!wire::isNull(values[columns[k]]) && values[columns[k]].toString() != expected[k].toString())
                return QStringLiteral("%1 %2 is not the exam's (%3)").arg(t.columns[columns[k]].name, values[columns[k]].toString(), expected[k].toString());
            values[columns[k]] = expected[k];
        }
        values[created] = now;
        values[createdBy] = creator;
        return {};
    };
    applyTableUpdate(c, kRecords, packet, rules);
}

// ---- computing -----------------------------------------------------------------------------------------

struct Answer {
    Outcome outcome;
    QString reason;
};

struct Record {
    qint64 nid = 0;
    QString six, ten, types, formulaP1, formulaP;
    QVariant entered[4]; // nDYValue, nTWYSJYValue, nGGPre3, nRangeValue
};

// Whether a student of this class, code and type is in the range and through the roster.
struct Population {
    const grammar::StudentRange &range;
    const std::optional<grammar::StudentFilter> &roster;
    bool counts(const QString &klass, const QString &student, const QString &type) const
    {
        if (!range.studentTypes.isEmpty() && !range.studentTypes.contains(type)) return false;
        if (!roster) return true;
        if (!roster->classCodes.isEmpty() && !roster->classCodes.contains(klass)) return false;
        return !roster->excludedStudents.contains(student);
    }
};

Answer compute(MethodCall &c, const QString &school, const QString &keyText, qint64 inYear)
{
    Database &db = c.db();
    grammar::PValExamKey key;
    try {
        key = grammar::parsePValExamKey(keyText);
    } catch (const grammar::ClientTextError &e) {
        return {SettingsUnread, e.message()};
    }
    const std::optional<StoredExam> exam = findExamById(db, school, QString::number(key.examId));
    if (!exam) return {SettingsUnread, QStringLiteral("there is no exam %1 in the school").arg(key.examId)};
    if (exam->key.isUnit()) return {SettingsUnread, QStringLiteral("the exam %1 is a teacher's unit exam").arg(exam->name)};
    if (exam->key.inYear != inYear)
        return {SettingsUnread, QStringLiteral("the exam %1 is of the intake year %2, not %3").arg(exam->name).arg(exam->key.inYear).arg(inYear)};
    lockExam(db, exam->id, false);

    const TableDef &t = schemaTable(kRecords);
    const QStringList recordColumns = {"NID", "sSubjects6", "sSubjects10", "sTypes", "sSumGS", "sSumGSP", "nDYValue", "nTWYSJYValue", "nGGPre3", "nRangeValue"};
    QStringList quoted;
    for (const QString &col : recordColumns)
        quoted << Database::quoted(col);
    const wire::DataPacket stored =
        db.select(QStringLiteral("SELECT %1 FROM \"CJ_ZLPG_P\" WHERE \"SchoolCode\" = ? AND \"nExamId\" = ? ORDER BY \"NID\"").arg(quoted.join(u", ")),
                  {school, exam->id}, t.fieldDefs(recordColumns));
    if (stored.rowCount() == 0) return {SettingsUnread, QStringLiteral("the exam %1 has no P-value record; UpPVal makes one").arg(exam->name)};
    Record rec;
    rec.nid = stored.value(0, 0).toLongLong();
    rec.six = stored.value(0, 1).toString();
    rec.ten = stored.value(0, 2).toString();
    rec.types = stored.value(0, 3).toString();
    rec.formulaP1 = stored.value(0, 4).toString();
    rec.formulaP = stored.value(0, 5).toString();
    for (int k = 0; k < 4; ++k)
        rec.entered[k] = stored.value(0, 6 + k);

    Settings settings;
    try {
        settings = readSettings(rec.six, rec.ten, rec.types);
    } catch (const grammar::ClientTextError &e) {
        return {SettingsUnread, e.message()};
    }
    if (settings.range.pickedStudents != key.roster.has_value())
        return {SettingsUnread, settings.range.pickedStudents
                                    ? QStringLiteral("the range counts the picked students (已选名单) but no roster came with the exam key")
                                    : QStringLiteral("a roster came with the exam key but the range does not count the picked students (已选名单)")};

    // The subjects with their marks; every subject of the settings must be the exam's and marked.
    const wire::DataPacket subjects = db.select(
        QStringLiteral("SELECT es.\"SubjectCode\", COALESCE(s.\"SubjectName\", es.\"SubjectCode\"), es.\"FullMark\", es.\"ExcelMark\", es.\"PassMark\", "
                       "es.\"BadMark\" FROM \"CJ_ExamSubject\" es LEFT JOIN \"XJ_Subject\" s ON s.\"SchoolCode\" = es.\"SchoolCode\" "
                       "AND s.\"SubjectCode\" = es.\"SubjectCode\" WHERE es.\"SchoolCode\" = ? AND es.\"GradeCode\" = ? AND es.\"InYear\" = ? "
                       "AND es.\"ExamCode\" = ? AND es.\"PageName\" = ?"),
        exam->key.params(),
        {{"SubjectCode", FieldType::Text, 0, 0},
         {"SubjectName", FieldType::Text, 0, 0},
         {"FullMark", FieldType::Float, 0, 0},
         {"ExcelMark", FieldType::Float, 0, 0},
         {"PassMark", FieldType::Float, 0, 0},
         {"BadMark", FieldType::Float, 0, 0}});
    QHash<QString, qsizetype> examRow;
    for (qsizetype r = 0; r < subjects.rowCount(); ++r)
        examRow.insert(subjects.value(r, 0).toString(), r);
    domain::PValueLayout layout;
    QStringList codes, names;
    QHash<QString, int> indexOf;
    const auto subjectIndex = [&](const QString &code, bool six, QString *problem) -> int {
        const auto row = examRow.constFind(code);
        if (row == examRow.cend()) {
            *problem = QStringLiteral("the subject %1 is not a subject of the exam %2").arg(code, exam->name);
            return -1;
        }
        const auto mark = [&](int col, const char *what) {
            if (subjects.value(*row, col).isNull())
                *problem = QStringLiteral("the subject %1 of the exam %2 has no %3").arg(subjects.value(*row, 1).toString(), exam->name, QLatin1String(what));
            return subjects.value(*row, col).toDouble();
        };
        if (six) {
            mark(2, "FullMark");
            mark(3, "ExcelMark");
            mark(5, "BadMark");
        } else {
            mark(4, "PassMark");
        }
        if (!problem->isEmpty()) return -1;
        if (const auto known = indexOf.constFind(code); known != indexOf.cend()) return *known;
        indexOf.insert(code, int(layout.subjects.size()));
        layout.subjects.push_back(
            {subjects.value(*row, 2).toDouble(), subjects.value(*row, 3).toDouble(), subjects.value(*row, 4).toDouble(), subjects.value(*row, 5).toDouble()});
        codes << code;
        names << subjects.value(*row, 1).toString();
        return int(layout.subjects.size()) - 1;
    };
    QString problem;
    for (const QString &code : settings.six) {
        layout.six.push_back(subjectIndex(code, true, &problem));
        if (!problem.isEmpty()) return {CountsFailed, problem};
    }
    for (const QStringList &entry : settings.entries) {
        std::vector<int> members;
        for (const QString &code : entry) {
            members.push_back(subjectIndex(code, false, &problem));
            if (!problem.isEmpty()) return {CountsFailed, problem};
        }
        layout.entries.push_back(std::move(members));
    }

    // Who should have sat: the exam's candidates in the range, unless they left the cohort or
    // dropped out since. Drop-outs: the intake's students of this stage who dropped out, whether
    // they were still candidates or had left before the exam.
    const Population population{settings.range, key.roster};
    const wire::DataPacket candidates = db.select(
        QStringLiteral("SELECT es.\"StudentCode\", es.\"ClassCode\", COALESCE(st.\"sType\", ''), COALESCE(st.\"iState\", '') FROM \"CJ_ExamStudent\" es "
                       "JOIN \"XJ_Student\" st ON st.\"sCode\" = es.\"StudentCode\" AND st.\"SchoolCode\" = ? WHERE es.\"examId\" = ?"),
        {school, exam->id},
        {{"StudentCode", FieldType::Text, 0, 0}, {"ClassCode", FieldType::Text, 0, 0}, {"sType", FieldType::Text, 0, 0}, {"iState", FieldType::Text, 0, 0}});
    QHash<QString, qsizetype> rowOf;
    QSet<QString> dropOuts;
    for (qsizetype r = 0; r < candidates.rowCount(); ++r) {
        const QString &student = candidates.column(0).textAt(r), &state = candidates.column(3).textAt(r);
        if (!population.counts(candidates.column(1).textAt(r), student, candidates.column(2).textAt(r))) continue;
        if (state == kDroppedOut)
            dropOuts.insert(student);
        else if (!kLeftTheCohort.contains(state))
            rowOf.insert(student, rowOf.size());
    }
    const wire::DataPacket dropped =
        db.select(QStringLiteral("SELECT \"sCode\", COALESCE(\"ClassCode\", ''), COALESCE(\"sType\", '') FROM \"XJ_Student\" WHERE \"SchoolCode\" = ? "
                                 "AND \"InYear\" = ? AND \"GradeCode\" LIKE ? AND \"iState\" = ?"),
                  {school, exam->key.inYear, exam->key.grade.left(1) + u'%', kDroppedOut},
                  {{"sCode", FieldType::Text, 0, 0}, {"ClassCode", FieldType::Text, 0, 0}, {"sType", FieldType::Text, 0, 0}});
    for (qsizetype r = 0; r < dropped.rowCount(); ++r)
        if (population.counts(dropped.column(1).textAt(r), dropped.column(0).textAt(r), dropped.column(2).textAt(r)))
            dropOuts.insert(dropped.column(0).textAt(r));

    std::vector<std::vector<double>> columns(layout.subjects.size(), std::vector<double>(std::size_t(rowOf.size()), domain::kNoScore));
    const wire::DataPacket marks =
        db.select(QStringLiteral("SELECT \"StudentCode\", \"SubjectCode\", \"score\" FROM \"CJ_Mark\" WHERE \"examId\" = ?"), {exam->id},
                  {{"StudentCode", FieldType::Text, 0, 0}, {"SubjectCode", FieldType::Text, 0, 0}, {"score", FieldType::Float, 0, 0}});
    for (qsizetype r = 0; r < marks.rowCount(); ++r) {
        if (marks.column(2).isNull(r)) continue;
        const auto row = rowOf.constFind(marks.column(0).textAt(r));
        const auto subject = indexOf.constFind(marks.column(1).textAt(r));
        if (row != rowOf.cend() && subject != indexOf.cend()) columns[std::size_t(*subject)][std::size_t(*row)] = marks.column(2).floatAt(r);
    }
    const domain::PValueCounts counts = domain::countPValue(layout, columns, dropOuts.size());

    // The two formulas: P′ over the counts and the entered values, P over P′ as well.
    grammar::PValueValues values{{PValueField::nMastNums, double(counts.shouldSit)},
                                 {PValueField::nLeaveNums, double(counts.dropOuts)},
                                 {PValueField::nTotals, counts.totals},
                                 {PValueField::nFullTotal6, counts.fullTotal6},
                                 {PValueField::nPass6Nums, double(counts.graduates)},
                                 {PValueField::nPass10Nums, double(counts.passAll)},
                                 {PValueField::nPass10TotalNums, double(counts.passSum)},
                                 {PValueField::nExcel6Nums, double(counts.excellent)}};
    const PValueField entered[] = {PValueField::nDYValue, PValueField::nTWYSJYValue, PValueField::nGGPre3, PValueField::nRangeValue};
    for (int k = 0; k < 4; ++k)
        if (!wire::isNull(rec.entered[k])) values.insert(entered[k], rec.entered[k].toDouble());
    double p1 = 0, p = 0;
    const auto evaluate = [&](const QString &text, const char *which, double *out) -> QString {
        try {
            *out = grammar::evaluate(grammar::parseFormula(text), values);
        } catch (const grammar::ClientTextError &e) {
            return QStringLiteral("%1: %2").arg(QLatin1String(which), e.message());
        } catch (const grammar::FormulaError &e) {
            return QStringLiteral("%1: %2").arg(QLatin1String(which), QString::fromUtf8(e.what()));
        }
        return {};
    };
    if (const QString why = evaluate(rec.formulaP1, "sSumGS", &p1); !why.isEmpty()) return {FormulaFailed, why};
    values.insert(PValueField::NP1, p1);
    if (const QString why = evaluate(rec.formulaP, "sSumGSP", &p); !why.isEmpty()) return {FormulaFailed, why};

    db.exec(QStringLiteral("UPDATE \"CJ_ZLPG_P\" SET \"NP1\" = ?, \"NP\" = ?, \"nMastNums\" = ?, \"nLeaveNums\" = ?, \"nTotals\" = ?, \"nFullTotal6\" = ?, "
                           "\"nPass6Nums\" = ?, \"nPass10Nums\" = ?, \"nPass10TotalNums\" = ?, \"nExcel6Nums\" = ? WHERE \"NID\" = ?"),
            {p1, p, counts.shouldSit, counts.dropOuts, counts.totals, counts.fullTotal6, counts.graduates, counts.passAll, counts.passSum, counts.excellent,
             rec.nid});
    db.exec(QStringLiteral("DELETE FROM \"CJ_ZLPG_PDetail\" WHERE \"NID\" = ?"), {rec.nid});
    const qint64 base = counts.shouldSit + counts.dropOuts;
    QList<QVariantList> details;
    for (std::size_t e = 0; e < layout.entries.size(); ++e) {
        QStringList entryCodes, entryNames;
        for (const int s : layout.entries[e]) {
            entryCodes << codes[s];
            entryNames << names[s];
        }
        const qint64 passed = counts.passByEntry[e];
        details << QVariantList{rec.nid,
                                qint64(e + 1),
                                entryCodes.join(u';'),
                                entryNames.join(u'+'),
                                double(passed),
                                base > 0 ? QVariant(double(passed) * 100 / double(base)) : QVariant()};
    }
    db.execValues(QStringLiteral("INSERT INTO \"CJ_ZLPG_PDetail\" (\"NID\", \"nRow\", \"SubjectCode\", \"sItem\", \"nValue\", \"nPercent\")"), 6, details);
    return {Stored, {}};
}

// (school, var exam key, intake year) → 0 stored, or 1, 2, 3 with nothing stored.
void calPVal(MethodCall &c)
{
    const QString school = c.school(0);
    const QString key = c.text(1);
    const qint64 inYear = c.integer(2);
    Transaction tx(c.db());
    const Answer a = compute(c, school, key, inYear);
    if (a.outcome == Stored)
        tx.commit();
    else
        c.setMessage(QStringLiteral("AchieveUp.CalPVal: ") + a.reason);
    c.setResult(qint64(a.outcome));
}

// (school, record NID) → the number of records deleted, 0 for a record not of the school.
void delPVal(MethodCall &c)
{
    const QString school = c.school(0);
    const qint64 nid = c.integer(1);
    Database &db = c.db();
    Transaction tx(db);
    db.exec(QStringLiteral("DELETE FROM \"CJ_ZLPG_PDetail\" WHERE \"NID\" IN (SELECT \"NID\" FROM \"CJ_ZLPG_P\" WHERE \"NID\" = ? AND \"SchoolCode\" = ?)"),
            {nid, school});
    const int deleted = db.exec(QStringLiteral("DELETE FROM \"CJ_ZLPG_P\" WHERE \"NID\" = ? AND \"SchoolCode\" = ?"), {nid, school});
    tx.commit();
    if (deleted == 0) c.setMessage(QStringLiteral("AchieveUp.DelPVal: there is no P-value record %1 in the school").arg(nid));
    c.setResult(qint64(deleted));
}

} // namespace

void registerPValueMethods(Service &s)
{
    s.addMethod(P::QPVal, qPVal);
    s.addMethod(P::QPValDetail, qPValDetail);
    s.addMethod(P::UpPVal, upPVal);
    s.addMethod(P::CalPVal, calPVal);
    s.addMethod(P::DelPVal, delPVal);
}

} // namespace lumeko::server
