// Computing a P value: the school-wide exam of 3,750 candidates and 12 subjects with every score
// stored, its P-value record set up as a school does (six subjects for the total, nine all-subject
// entries with 物理 and 化学 merged, the 统招生, the default formulas).
//
//   ours  AchieveUp.CalPVal through the embedded service: the record and the exam read, the
//         candidates and the drop-outs of the range, the scores laid out by subject, the counts
//         made, both formulas parsed and evaluated, the counts, P′, P and the detail rows stored
//         in one transaction: what the academic office waits for after "开始计算".
//   base  a plain SELECT of the same candidates joined to their students and of the exam's
//         narrow scores on the same connection, into std::vectors: the reading no count can do
//         without.
//
// Reported per iteration: ours_ns, base_ns, ratio (ours / base). Outside the timed part every
// iteration checks the answer (0) and that every candidate was counted.
//
// BM_CalPValSqlite runs on a temporary SQLite file; BM_CalPValPostgres on a database of its own
// made from LUMEKO_BENCH_PG (default postgresql:///postgres), left out with a message when that
// server does not answer.

#include "examschool.h"
#include "pairclock.h"
#include "scratchdatabase.h"
#include "server/storage/schema.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <cstdio>

namespace {

using namespace lumeko;
using namespace lumeko::bench;
using server::Backend;
using server::Database;
using wire::FieldType;

const QString kStoredP1 = QStringLiteral(
    "(([nTotals]/([nMastNums]+[nLeaveNums]))/[nFullTotal6]*0.2+[nPass6Nums]/([nMastNums]+[nLeaveNums])*0.2+[nPass10Nums]/([nMastNums]+[nLeaveNums])*0.1+"
    "[nPass10TotalNums]/(9*([nMastNums]+[nLeaveNums]))*0.2+[nExcel6Nums]/([nMastNums]+[nLeaveNums])*0.1)");
const QString kStoredP = QStringLiteral("([NP1]+[nDYValue]*0.1+[nTWYSJYValue]*0.1)*[nGGPre3]*100+[nRangeValue]");

struct Exam {
    QString school, grade, code;
    qint64 inYear = 0;
};

Exam examOf(ExamSchool &school)
{
    const wire::DataPacket p = school.db().select(
        QStringLiteral("SELECT \"SchoolCode\", \"GradeCode\", \"ExamCode\", \"InYear\" FROM \"CJ_ExamTotal\" WHERE \"Id\" = ?"), {school.examId()},
        {{"SchoolCode", FieldType::Text, 0, 0},
         {"GradeCode", FieldType::Text, 0, 0},
         {"ExamCode", FieldType::Text, 0, 0},
         {"InYear", FieldType::Integer, 0, 0}});
    return {p.value(0, 0).toString(), p.value(0, 1).toString(), p.value(0, 2).toString(), p.value(0, 3).toLongLong()};
}

// The record as the P-value dialog makes it, stored through UpPVal.
void makeRecord(ExamSchool &school, const Exam &exam)
{
    const server::TableDef &t = server::schemaTable(u"CJ_ZLPG_P");
    QVariantList v(t.columns.size());
    const auto set = [&](const char *column, const QVariant &value) { v[t.columnIndex(QString::fromLatin1(column))] = value; };
    set("SchoolCode", exam.school);
    set("nExamId", school.examId());
    set("SchoolType", QStringLiteral("初中"));
    set("sSubjects6", QStringLiteral("001,002,003,004,005,007"));
    set("sSubjects10", QStringLiteral("001,002,003,007,008,009,006,004;005,011"));
    set("sTypes", QStringLiteral("统招生"));
    set("sSumGS", kStoredP1);
    set("sSumGSP", kStoredP);
    set("nDYValue", 0.9);
    set("nTWYSJYValue", 0.8);
    set("nGGPre3", 0.95);
    set("nRangeValue", 2);
    const wire::ChangePacket packet{t.fieldDefs(), {{wire::RowStatus::Inserted, {}, v}}};
    const wire::Reply r = school.call(QStringLiteral("AchieveUp"), QStringLiteral("UpPVal"), {{packet, false}, {qint64(-1), false}, {qint64(0), true}});
    if (!r.ok() || std::get<qint64>(r.refs[2]) != 0) throw std::runtime_error("UpPVal failed: " + r.message.toStdString());
}

struct Read {
    std::vector<QString> students, classes, types, states;
    std::vector<std::vector<double>> scores;
};

Read selectCandidatesAndScores(Database &db, const ExamSchool &school, const Exam &exam)
{
    Read out;
    const wire::DataPacket candidates = db.select(
        QStringLiteral("SELECT es.\"StudentCode\", es.\"ClassCode\", st.\"sType\", st.\"iState\" FROM \"CJ_ExamStudent\" es "
                       "JOIN \"XJ_Student\" st ON st.\"sCode\" = es.\"StudentCode\" AND st.\"SchoolCode\" = ? WHERE es.\"examId\" = ?"),
        {exam.school, school.examId()},
        {{"StudentCode", FieldType::Text, 0, 0}, {"ClassCode", FieldType::Text, 0, 0}, {"sType", FieldType::Text, 0, 0}, {"iState", FieldType::Text, 0, 0}});
    for (qsizetype r = 0; r < candidates.rowCount(); ++r) {
        out.students.push_back(candidates.column(0).textAt(r));
        out.classes.push_back(candidates.column(1).textAt(r));
        out.types.push_back(candidates.column(2).textAt(r));
        out.states.push_back(candidates.column(3).textAt(r));
    }
    out.scores.assign(std::size_t(ExamSchool::kSubjects), std::vector<double>(std::size_t(ExamSchool::kStudents), std::numeric_limits<double>::quiet_NaN()));
    const wire::DataPacket marks =
        db.select(QStringLiteral("SELECT \"StudentCode\", \"SubjectCode\", \"score\" FROM \"CJ_Mark\" WHERE \"examId\" = ?"), {school.examId()},
                  {{"StudentCode", FieldType::Text, 0, 0}, {"SubjectCode", FieldType::Text, 0, 0}, {"score", FieldType::Float, 0, 0}});
    for (qsizetype r = 0; r < marks.rowCount(); ++r) {
        const int i = school.studentIndex(marks.column(0).textAt(r));
        const qsizetype j = school.subjects().indexOf(marks.column(1).textAt(r));
        if (i >= 0 && j >= 0 && !marks.column(2).isNull(r)) out.scores[std::size_t(j)][std::size_t(i)] = marks.column(2).floatAt(r);
    }
    return out;
}

void calculate(benchmark::State &state, Backend backend)
{
    try {
        ScratchDatabase scratch(backend, QStringLiteral("lumeko_bench_pvalue"));
        ExamSchool school(scratch.url());
        school.storeScores(school.nextScores(1));
        const Exam exam = examOf(school);
        makeRecord(school, exam);
        Database &db = school.db();

        PairClock clock;
        QString failure;
        for (auto _ : state) {
            wire::Reply reply;
            Read base;
            clock.run(
                state,
                [&] {
                    reply = school.call(QStringLiteral("AchieveUp"), QStringLiteral("CalPVal"),
                                        {{exam.school, false}, {QString::number(school.examId()), true}, {exam.inYear, false}});
                },
                [&] { base = selectCandidatesAndScores(db, school, exam); });
            const qint64 *answer = std::get_if<qint64>(&reply.result);
            if (!reply.ok() || !answer || *answer != 0)
                failure = QStringLiteral("CalPVal: %1 %2").arg(answer ? *answer : -1).arg(reply.message);
            else if (const qint64 counted =
                         db.scalar(QStringLiteral("SELECT \"nMastNums\" FROM \"CJ_ZLPG_P\" WHERE \"nExamId\" = ?"), {school.examId()}).toLongLong();
                     counted != qint64(base.students.size()))
                failure = QStringLiteral("CalPVal counted %1 who should sit, the baseline read %2 candidates").arg(counted).arg(base.students.size());
            if (!failure.isEmpty()) break;
        }
        if (!failure.isEmpty()) {
            state.SkipWithError(qPrintable(failure));
            return;
        }
        clock.report(state);
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    registerOnBothBackends("BM_CalPVal", calculate, 10);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
